// The program's modal boxes, the database side's and the setup dialog's, as Qt message boxes
// over the window that is modal at the time.
#pragma once

#include <QPointer>
#include <QWidget>

#include "ui/DialogBoxes.h"

namespace ov {

class TQtDialogBoxes : public IDialogBoxes {
  public:
    explicit TQtDialogBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    void ShowError(const QString& text) override;
    void ShowInformation(const QString& text) override;
    TBoxAnswer AskYesNoCancel(const QString& text) override;
    bool ConfirmOkCancel(const QString& text) override;

  private:
    QPointer<QWidget> parent_;
};

}  // namespace ov
