// The status log's lines, standard-error copy and log file.
#include "app/StatusLog.h"

#include <QFile>
#include <algorithm>
#include <cstdio>

#include "core/OutputBuffer.h"
#include "qttext/QtText.h"
#include "util/FormatSettings.h"
#include "util/TimeTag.h"

namespace ov {

TStatusLog::TStatusLog(QObject* parent) : QObject(parent) {}

TStatusLog::~TStatusLog() {
    CloseLogFile();
}

QString TStatusLog::Bounded(const QString& text, std::size_t length) {
    if (length <= StatusLineLimit && static_cast<std::size_t>(text.size()) <= StatusLineLimit)
        return text;
    return text.left(static_cast<qsizetype>(StatusLineLimit)) +
           QStringLiteral("\u2026 (%1 characters)").arg(length);
}

void TStatusLog::Add(const QString& text) {
    AddLine(Bounded(text, static_cast<std::size_t>(text.size())));
}

void TStatusLog::AddEngineText(std::string_view text, std::size_t length) {
    // Only what is shown is converted; the engine's text is Latin-1, never UTF-8.
    const std::string_view shown = text.substr(0, StatusLineLimit);
    AddLine(Bounded(QtText(shown), std::max(length, text.size())));
}

void TStatusLog::AddLine(const QString& text) {
    if (lines_.size() >= StatusLimit) {
        // Keep the newest StatusTrimTo - 1 lines.
        lines_.resize(StatusTrimTo - 1);
        Q_EMIT Trimmed(StatusTrimTo - 1);
    }
    const std::string stamp = DateTimeText(Now(), LocaleFormatSettings());
    const QString line = QtText(stamp) + "    " + text;
    lines_.prepend(line);
    Q_EMIT Added(line);
    // A headless run is followed on standard error; it and the log file are UTF-8.
    const QByteArray bytes = line.toUtf8();
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
