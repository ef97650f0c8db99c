// The program's message boxes: modal Qt message boxes over a parent window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "database/MessageBoxes.h"

namespace ov {

class TQtMessageBoxes : public IMessageBoxes {
  public:
    explicit TQtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void ShowError(const QString& text) override;
    void ShowInformation(const QString& text) override;

  private:
    QPointer<QWidget> parent_;
};

}  // namespace ov
