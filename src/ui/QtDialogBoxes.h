// The setup dialog's boxes as modal Qt message boxes over a parent window.
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
