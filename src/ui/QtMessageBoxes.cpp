// Message boxes shown with QMessageBox.
#include "ui/QtMessageBoxes.h"

#include <QMessageBox>

namespace ov {

void TQtMessageBoxes::ShowError(const QString& text) {
    QMessageBox::critical(parent_, QStringLiteral("Error"), text, QMessageBox::Ok);
}

}  // namespace ov
