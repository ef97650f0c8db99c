// The status log's lines, standard-error copy and log file.
#include "app/StatusLog.h"

#include <QFile>
#include <cstdio>

#include "util/FormatSettings.h"
#include "util/TimeTag.h"

namespace ov {

TStatusLog::TStatusLog(QObject* parent) : QObject(parent) {}

TStatusLog::~TStatusLog() {
    CloseLogFile();
}

void TStatusLog::Add(const QString& text) {
    if (lines_.size() >= StatusLimit) {
        // Keep the newest StatusTrimTo - 1 lines.
        lines_.resize(StatusTrimTo - 1);
        Q_EMIT Trimmed(StatusTrimTo - 1);
    }
    const QString line =
        QString::fromStdString(DateTimeText(Now(), LocaleFormatSettings())) + "    " + text;
    lines_.prepend(line);
    Q_EMIT Added(line);
    // A headless run is followed on standard error.
    const QByteArray bytes = line.toLocal8Bit();
    std::fprintf(stderr, "%s\n", bytes.constData());
    if (logFile_) {
        // A failed write is ignored: the line is still shown.
        logFile_->write(bytes);
        logFile_->write("\n");
        logFile_->flush();
    }
}

void TStatusLog::Clear() {
    lines_.clear();
    Q_EMIT Cleared();
}

bool TStatusLog::OpenLogFile(const QString& name) {
    CloseLogFile();
    auto file = std::make_unique<QFile>(name);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) return false;
    logFile_ = std::move(file);
    return true;
}

void TStatusLog::CloseLogFile() {
    if (!logFile_) return;
    logFile_->flush();
    logFile_->close();
    logFile_.reset();
}

}  // namespace ov
