// The setup server's program as OV Calc starts it: detached (a session of its own, no child of
// this process, as the suite's servers outlive the programs that start them), with its standard
// error passed through this process. Every line it writes goes on to this program's standard
// error, and the first one is kept: a server that ends at its start can then say why.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>
#include <string>

class QSocketNotifier;

namespace ov {

class TSetupServerProcess : public QObject {
    Q_OBJECT
  public:
    explicit TSetupServerProcess(QObject* parent = nullptr);
    // Stops passing the server's lines on; a server still running keeps going (its later
    // writes to standard error fail quietly).
    ~TSetupServerProcess() override;
    TSetupServerProcess(const TSetupServerProcess&) = delete;
    TSetupServerProcess& operator=(const TSetupServerProcess&) = delete;

    // Starts program with arguments; false when it cannot be started.
    bool Start(const QString& program, const QStringList& arguments);
    // Passes on what the server writes for at most timeout; true as soon as its standard
    // error has closed, which is when it has ended.
    bool WaitEnded(std::chrono::milliseconds timeout);
    bool Ended() const { return ended_; }
    // The first line the server wrote (without its line end); empty while there is none.
    const std::string& FirstLine() const { return firstLine_; }

  private:
    // Reads what is there without waiting; false at the end of the stream.
    bool ReadAvailable();

    int fd_ = -1;  // the read end of the server's standard error; -1 once closed
    bool ended_ = false;
    std::string partial_;  // the start of a line not yet ended
    std::string firstLine_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace ov
