// File dialogs shown with QFileDialog.
#include "ui/QtFileDialogs.h"

#include <QFileDialog>

namespace ov {

bool TQtFileDialogs::Execute(QWidget* parent, const TFileDialogRequest& request,
                             QString& fileName) {
    // QFileDialog never changes the working folder, and a save dialog asks before it
    // overwrites unless told otherwise.
    QFileDialog dialog(parent, request.Title);
    dialog.setNameFilter(request.Filter);
    dialog.setDefaultSuffix(request.DefaultSuffix);
    if (request.Kind == TFileDialogRequest::fdOpen) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    if (!request.Start.isEmpty()) dialog.selectFile(request.Start);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    fileName = chosen.first();
    return true;
}

}  // namespace ov
