// The filter dialog's entry point; the dialog itself is still to come.
#include "ui/FilterSelect.h"

#include <QMessageBox>

namespace ov {

bool RunFilterSelect(QWidget* parent, TDatabaseConnection&, QString&) {
    QMessageBox::information(parent, QStringLiteral("Filters"),
                             QStringLiteral("The filter dialog is not available yet."));
    return false;
}

}  // namespace ov
