// A private session bus for the tests and benchmarks that need one, and child processes on
// it. The bus daemon and every child end with the process that started them (also when it
// crashes), so a run never leaves anything behind nor touches a bus it did not start.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ov::test {

// A child process: argv[0] is the program (searched on PATH), stdin/stdout/stderr from or to
// the files given (else /dev/null). It receives SIGTERM when the thread that started it ends.
class TChildProcess {
  public:
    TChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& out = {},
                  const std::filesystem::path& err = {}, const std::filesystem::path& in = {}) {
        Spawn(argv, out, err, in, -1);
    }
    // The same with stdout on the write end of a pipe (the parent keeps the read end).
    TChildProcess(const std::vector<std::string>& argv, int stdoutPipe) {
        Spawn(argv, {}, {}, {}, stdoutPipe);
    }
    ~TChildProcess() { Terminate(); }
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    bool Started() const { return pid_ > 0; }

    // The exit status once the process has ended within timeout (128 + n for signal n);
    // nothing while it still runs.
    std::optional<int> Wait(std::chrono::milliseconds timeout) {
        if (status_) return status_;
        if (pid_ <= 0) return std::nullopt;
        auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            int status = 0;
            pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return status_;
            }
            if (r < 0 && errno != EINTR) return std::nullopt;
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // SIGTERM, and SIGKILL if it has not ended after two seconds.
    void Terminate() {
        if (pid_ <= 0 || status_) return;
        ::kill(pid_, SIGTERM);
        if (!Wait(std::chrono::seconds(2))) {
            ::kill(pid_, SIGKILL);
            Wait(std::chrono::seconds(5));
        }
    }

  private:
    void Spawn(const std::vector<std::string>& argv, const std::filesystem::path& out,
               const std::filesystem::path& err, const std::filesystem::path& in, int stdoutPipe) {
        // Everything the child needs is prepared before fork: after it, only system calls.
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        const std::string inName = in.empty() ? "/dev/null" : in.string();
        const std::string outName = out.empty() ? "/dev/null" : out.string();
        const std::string errName = err.empty() ? "/dev/null" : err.string();
        const pid_t parent = ::getpid();
        pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(127);
            int fin = ::open(inName.c_str(), O_RDONLY);
            int fout = stdoutPipe >= 0
                           ? stdoutPipe
                           : ::open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int ferr = ::open(errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fin < 0 || fout < 0 || ferr < 0) ::_exit(127);
            ::dup2(fin, 0);
            ::dup2(fout, 1);
            ::dup2(ferr, 2);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        pid_ = pid;
    }

    pid_t pid_ = -1;
    std::optional<int> status_;
};

// A session bus daemon of this process's own. Its address is put into
// DBUS_SESSION_BUS_ADDRESS for this process and the children it starts afterwards, so it must
// be made before anything connects to the session bus.
class TPrivateBus {
  public:
    TPrivateBus() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            error_ = "cannot make a pipe";
            return;
        }
        // The child's end of the pipe loses O_CLOEXEC through dup2 in the child.
        daemon_ = std::make_unique<TChildProcess>(
            std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--nosyslog",
                                     "--print-address"},
            fds[1]);
        ::close(fds[1]);
        readEnd_ = fds[0];
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (line.find('\n') == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{readEnd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buffer[512];
            ssize_t n = ::read(readEnd_, buffer, sizeof buffer);
            if (n <= 0) break;
            line.append(buffer, static_cast<std::size_t>(n));
        }
        std::size_t end = line.find('\n');
        if (end == std::string::npos || end == 0) {
            error_ = "dbus-daemon did not start (is the dbus-daemon package installed?)";
            return;
        }
        address_ = line.substr(0, end);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
        ::unsetenv("DBUS_STARTER_ADDRESS");
        ::unsetenv("DBUS_STARTER_BUS_TYPE");
    }
    ~TPrivateBus() {
        daemon_.reset();
        if (readEnd_ >= 0) ::close(readEnd_);
    }
    TPrivateBus(const TPrivateBus&) = delete;
    TPrivateBus& operator=(const TPrivateBus&) = delete;

    bool Started() const { return !address_.empty(); }
    const std::string& Address() const { return address_; }
    const std::string& Error() const { return error_; }

  private:
    std::unique_ptr<TChildProcess> daemon_;
    int readEnd_ = -1;
    std::string address_;
    std::string error_;
};

}  // namespace ov::test
