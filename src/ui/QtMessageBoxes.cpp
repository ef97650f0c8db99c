// Message boxes shown with QMessageBox.
#include "ui/QtMessageBoxes.h"

#include <QMessageBox>

namespace ov {

void TQtMessageBoxes::ShowError(const QString& text) {
    QMessageBox::critical(parent_, QStringLiteral("Error"), text, QMessageBox::Ok);
}

void TQtMessageBoxes::ShowInformation(const QString& text) {
    QMessageBox::information(parent_, QStringLiteral("Information"), text, QMessageBox::Ok);
}

}  // namespace ov
