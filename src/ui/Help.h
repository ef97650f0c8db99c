// The help commands: the HTML help file beside the executable, opened in the desktop's browser
// at its table of contents or its index.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace ov {

// The file URL of helpFile with the fragment anchor ("contents", "index").
QUrl HelpUrl(const QString& helpFile, const QString& anchor);

// Opens helpFile at "#contents" / "#index". False when the desktop could not open it.
bool ShowHelpContents(const QString& helpFile);
bool ShowHelpIndex(const QString& helpFile);
// Opens helpFile at the topic's anchor ("setupdialog").
bool ShowHelpTopic(const QString& helpFile, const QString& anchor);

// What opens the URL: QDesktopServices::openUrl unless replaced (an empty function restores
// it). Main thread only.
using THelpOpener = std::function<bool(const QUrl& url)>;
void SetHelpOpener(THelpOpener opener);

}  // namespace ov
