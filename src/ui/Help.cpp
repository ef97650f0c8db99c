// The help commands.
#include "ui/Help.h"

#include <QDesktopServices>

namespace ov {
namespace {

THelpOpener& Opener() {
    static THelpOpener opener;
    return opener;
}

bool Open(const QUrl& url) {
    if (Opener()) return Opener()(url);
    return QDesktopServices::openUrl(url);
}

}  // namespace

QUrl HelpUrl(const QString& helpFile, const QString& anchor) {
    QUrl url = QUrl::fromLocalFile(helpFile);
    url.setFragment(anchor);
    return url;
}

bool ShowHelpContents(const QString& helpFile) {
    return Open(HelpUrl(helpFile, "contents"));
}

bool ShowHelpIndex(const QString& helpFile) {
    return Open(HelpUrl(helpFile, "index"));
}

bool ShowHelpTopic(const QString& helpFile, const QString& anchor) {
    return Open(HelpUrl(helpFile, anchor));
}

void SetHelpOpener(THelpOpener opener) {
    Opener() = std::move(opener);
}

}  // namespace ov
