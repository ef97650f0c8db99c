// How the database side shows its message boxes: the program shows them modally, the tests
// and the command-line tools record or print them, so that nothing blocks without a user.
#pragma once

#include <QString>

namespace ov {

class IMessageBoxes {
  public:
    virtual ~IMessageBoxes() = default;
    // An error box with an OK button; returns when it was acknowledged.
    virtual void ShowError(const QString& text) = 0;
    // An information box with an OK button; returns when it was acknowledged.
    virtual void ShowInformation(const QString& text) = 0;
};

}  // namespace ov
