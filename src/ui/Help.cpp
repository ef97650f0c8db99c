// The help commands.
#include "ui/Help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <cstdio>

#include "database/MessageBoxes.h"

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

bool OpenHelp(IMessageBoxes& boxes, const QString& helpFile, const QString& anchor) {
    QString why;
    if (helpFile.isEmpty()) {
        why = "Cannot open the help: no help file was found.";
    } else if (!QFileInfo(helpFile).isFile()) {
        why = "Cannot open the help file " + helpFile + ": there is no such file.";
    } else if (!Open(HelpUrl(helpFile, anchor))) {
        why = "Cannot open the help file " + helpFile +
              ": the desktop has no program (a web browser) to show it, or could not start it.";
    } else {
        return true;
    }
    // Also said where a user without a desktop session looks.
    const QByteArray program =
        QFileInfo(QCoreApplication::applicationFilePath()).fileName().toLocal8Bit();
    std::fprintf(stderr, "%s: %s\n", program.constData(), why.toLocal8Bit().constData());
    boxes.ShowError(why);
    return false;
}

void SetHelpOpener(THelpOpener opener) {
    Opener() = std::move(opener);
}

}  // namespace ov
