// Modal boxes shown with QMessageBox, captioned by their kind.
#include "ui/QtDialogBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace ov {
namespace {

// The box goes over the window that is active now (a dialog over the main window), so that
// it is modal to what the user is looking at.
QWidget* Owner(QWidget* parent) {
    QWidget* active = QApplication::activeModalWidget();
    return active ? active : parent;
}

}  // namespace

void TQtDialogBoxes::ShowError(const QString& text) {
    QMessageBox::critical(Owner(parent_), QStringLiteral("Error"), text, QMessageBox::Ok);
}

void TQtDialogBoxes::ShowInformation(const QString& text) {
    QMessageBox::information(Owner(parent_), QStringLiteral("Information"), text, QMessageBox::Ok);
}

TBoxAnswer TQtDialogBoxes::AskYesNoCancel(const QString& text) {
    const auto answer = QMessageBox::information(
        Owner(parent_), QStringLiteral("Information"), text,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    return answer == QMessageBox::Yes  ? TBoxAnswer::baYes
           : answer == QMessageBox::No ? TBoxAnswer::baNo
                                       : TBoxAnswer::baCancel;
}

bool TQtDialogBoxes::ConfirmOkCancel(const QString& text) {
    return QMessageBox::question(Owner(parent_), QStringLiteral("Confirm"), text,
                                 QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok) == QMessageBox::Ok;
}

}  // namespace ov
