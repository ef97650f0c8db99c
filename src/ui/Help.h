// The help commands: the HTML help file beside the executable, opened in the desktop's browser
// at its table of contents, its index or a topic; a help that cannot be shown is said.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace ov {

class IMessageBoxes;

// The file URL of helpFile with the fragment anchor ("contents", "index").
QUrl HelpUrl(const QString& helpFile, const QString& anchor);

// Opens helpFile at "#contents" / "#index". False when the desktop could not open it.
bool ShowHelpContents(const QString& helpFile);
bool ShowHelpIndex(const QString& helpFile);

// Opens helpFile at the anchor ("contents", "index", a topic such as "setupdialog"). When
// there is no such file, or the desktop cannot show it (no web browser), says so, naming the
// file, in an error box of boxes and on standard error; false then. An empty helpFile counts
// as a missing file.
bool OpenHelp(IMessageBoxes& boxes, const QString& helpFile, const QString& anchor);

// What opens the URL: QDesktopServices::openUrl unless replaced (an empty function restores
// it). Main thread only.
using THelpOpener = std::function<bool(const QUrl& url)>;
void SetHelpOpener(THelpOpener opener);

}  // namespace ov
