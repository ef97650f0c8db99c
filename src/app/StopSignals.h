// SIGTERM, SIGINT and SIGHUP handed over to the event loop: the handler only writes the
// signal's number into a socket pair (all a handler may safely do); a socket notifier on the
// main thread reads it and emits Received, where the program runs its ordinary shutdown.
#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace ov {

class TStopSignals : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers; one object per process. Signals that come before the event loop
    // runs wait in the socket until it does.
    explicit TStopSignals(QObject* parent = nullptr);
    // Puts the default handlers back.
    ~TStopSignals() override;
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    // False when the socket pair or a handler could not be set up (the signals then end the
    // process the default way).
    bool Installed() const { return installed_; }
    // "SIGTERM", "SIGINT", "SIGHUP" or the number.
    static QString Name(int signal);

  Q_SIGNALS:
    // On the main thread, once per signal received. A second signal of the same kind while
    // the first one's shutdown runs ends the process the default way.
    void Received(int signal);

  private:
    void Read();

    bool installed_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace ov
