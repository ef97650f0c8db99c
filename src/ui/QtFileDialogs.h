// The program's file dialogs: modal Qt file dialogs.
#pragma once

#include "ui/FileDialogs.h"

namespace ov {

class TQtFileDialogs : public IFileDialogs {
  public:
    bool Execute(QWidget* parent, const TFileDialogRequest& request, QString& fileName) override;
};

}  // namespace ov
