// The status log: the lines of the status list (newest first, each with the date and time of
// its display), kept between 512 and 640 lines, copied to standard error and, while logging to
// a file is on, appended to the log file (both in UTF-8). The window shows it through its
// signals. A line shows at most StatusLineLimit characters of its text, then "…" and the
// text's full length, in the list, on standard error and in the log file alike.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <memory>
#include <string_view>

class QFile;

namespace ov {

class TStatusLog : public QObject {
    Q_OBJECT
  public:
    // The list holds at most this many lines; at the limit it is cut to TrimTo - 1.
    static constexpr int StatusLimit = 640;
    static constexpr int StatusTrimTo = 512;

    explicit TStatusLog(QObject* parent = nullptr);
    ~TStatusLog() override;

    // LogStatus: trims the list at the limit, forms the line (date and time, four blanks,
    // text, cut as said above), puts it first, copies it to standard error and, when
    // logging, to the file.
    void Add(const QString& text);
    // The same for the engine's 8-bit text (Latin-1), whose full length was length (more
    // than its size when the output buffer has cut it already).
    void AddEngineText(std::string_view text, std::size_t length);
    // Text as a status line shows it: whole up to StatusLineLimit characters, else the first
    // StatusLineLimit, "…" and " (length characters)".
    static QString Bounded(const QString& text, std::size_t length);
    // Empties the list; the log file is not touched.
    void Clear();
    // Newest first.
    const QStringList& Lines() const { return lines_; }
    int Count() const { return static_cast<int>(lines_.size()); }

    // Opens name for appending (created when missing) and logs to it; false when it cannot be
    // opened, and logging is then off.
    bool OpenLogFile(const QString& name);
    // Flushes and closes the log file; logging is off.
    void CloseLogFile();
    bool LogToFile() const { return logFile_ != nullptr; }

  Q_SIGNALS:
    // The oldest lines were dropped: kept lines remain (emitted before the new line).
    void Trimmed(int kept);
    // line (with its date and time) is now the first line.
    void Added(const QString& line);
    void Cleared();

  private:
    // Add, for text already bounded.
    void AddLine(const QString& text);

    QStringList lines_;  // newest first
    std::unique_ptr<QFile> logFile_;
};

}  // namespace ov
