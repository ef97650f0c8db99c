// The modal boxes of the group setup dialog: the error box of the database side plus the two
// questions it asks (save the editor's changes; confirm a deletion). The program shows them
// as Qt message boxes; tests answer them, so that no path waits for a user.
#pragma once

#include <QString>

#include "database/MessageBoxes.h"

namespace ov {

enum class TBoxAnswer { baYes, baNo, baCancel };

class IDialogBoxes : public IMessageBoxes {
  public:
    // An information box with the buttons Yes, No and Cancel.
    virtual TBoxAnswer AskYesNoCancel(const QString& text) = 0;
    // A confirmation box with the buttons OK and Cancel; true on OK.
    virtual bool ConfirmOkCancel(const QString& text) = 0;
};

}  // namespace ov
