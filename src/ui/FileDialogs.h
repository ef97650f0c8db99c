// How the dialogs ask the user for a file name: the program shows Qt's file dialogs, the tests
// answer with names of their own, so that nothing blocks without a user.
#pragma once

#include <QString>

class QWidget;

namespace ov {

struct TFileDialogRequest {
    enum TKind { fdOpen, fdSave };
    TKind Kind = fdOpen;
    QString Title;
    QString Filter;         // a Qt name filter, e.g. "Filter Files(*.flt)"
    QString DefaultSuffix;  // added to a name chosen without one
    QString Start;          // the file (or folder) the dialog starts at; empty: its own choice
    // An open dialog accepts only a file that exists; a save dialog asks before overwriting.
};

class IFileDialogs {
  public:
    virtual ~IFileDialogs() = default;
    // Shows the dialog over parent: true with the chosen name, false when it was cancelled.
    virtual bool Execute(QWidget* parent, const TFileDialogRequest& request, QString& fileName) = 0;
};

}  // namespace ov
