// The setup server's program started detached, its standard error passed through.
#include "bus/SetupServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace ov {

TSetupServerProcess::TSetupServerProcess(QObject* parent) : QObject(parent) {}

TSetupServerProcess::~TSetupServerProcess() {
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
}

bool TSetupServerProcess::Start(const QString& program, const QStringList& arguments) {
    // Everything the child needs is made before fork: after it, only system calls.
    const QByteArray path = program.toLocal8Bit();
    std::vector<QByteArray> texts{path};
    for (const QString& argument : arguments) texts.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    // The grandchild tells its exec failure through this pipe; success closes it unwritten.
    int execFds[2];
    if (::pipe2(execFds, O_CLOEXEC) != 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        if (::fork() != 0) ::_exit(0);
        // The grandchild, reparented once the child ends. A server whose standard error
        // outlives this program gets EPIPE, not a signal that would end it.
        ::signal(SIGPIPE, SIG_IGN);
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::execv(argv[0], argv.data());
        const int error = errno;
        [[maybe_unused]] ssize_t n = ::write(execFds[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ::close(execFds[1]);
    bool started = child > 0;
    if (started) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        int error = 0;
        ssize_t n;
        while ((n = ::read(execFds[0], &error, sizeof error)) < 0 && errno == EINTR) {
        }
        started = n == 0;
    }
    ::close(execFds[0]);
    if (!started) {
        ::close(pipeFds[0]);
        return false;
    }
    fd_ = pipeFds[0];
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    // Between the waits, the event loop passes the lines on, so that the server never blocks
    // on a full pipe.
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { ReadAvailable(); });
    return true;
}

bool TSetupServerProcess::ReadAvailable() {
    if (fd_ < 0) return false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            std::fwrite(buffer, 1, static_cast<std::size_t>(n), stderr);
            if (firstLine_.empty()) {
                partial_.append(buffer, static_cast<std::size_t>(n));
                std::size_t end;
                while (firstLine_.empty() && (end = partial_.find('\n')) != std::string::npos) {
                    firstLine_ = partial_.substr(0, end);
                    partial_.erase(0, end + 1);
                }
                if (!firstLine_.empty()) partial_.clear();
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return true;
        // The end (or an error, which ends the passing all the same).
        std::fflush(stderr);
        if (firstLine_.empty()) firstLine_ = partial_;
        partial_.clear();
        notifier_.reset();
        ::close(fd_);
        fd_ = -1;
        ended_ = true;
        return false;
    }
}

bool TSetupServerProcess::WaitEnded(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (fd_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno != EINTR) break;
        if (r > 0) ReadAvailable();
    }
    return ended_;
}

}  // namespace ov
