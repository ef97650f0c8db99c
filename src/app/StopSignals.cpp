// The stop signals' hand-over to the event loop.
#include "app/StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QString>
#include <cerrno>

namespace ov {
namespace {

constexpr int StopSignalList[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the handler, read by the main thread; -1 while no object is installed.
int handOver[2] = {-1, -1};

extern "C" void OnStopSignal(int signal) {
    const int saved = errno;
    // The next one of its kind ends the process: a shutdown that hangs can still be stopped.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (handOver[1] >= 0) {
        // A full socket already holds enough to wake the loop.
        [[maybe_unused]] ssize_t n = ::write(handOver[1], &byte, 1);
    }
    errno = saved;
}

}  // namespace

TStopSignals::TStopSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, handOver) != 0) {
        handOver[0] = handOver[1] = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(handOver[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TStopSignals::Read);
    installed_ = true;
    for (int signal : StopSignalList) {
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        ::sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        if (::sigaction(signal, &action, nullptr) != 0) installed_ = false;
    }
}

TStopSignals::~TStopSignals() {
    for (int signal : StopSignalList) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        ::sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
    notifier_.reset();
    for (int& fd : handOver) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

QString TStopSignals::Name(int signal) {
    switch (signal) {
        case SIGTERM:
            return QStringLiteral("SIGTERM");
        case SIGINT:
            return QStringLiteral("SIGINT");
        case SIGHUP:
            return QStringLiteral("SIGHUP");
        default:
            return QString::number(signal);
    }
}

void TStopSignals::Read() {
    unsigned char bytes[16];
    ssize_t n;
    while ((n = ::read(handOver[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i) Q_EMIT Received(bytes[i]);
    }
}

}  // namespace ov
