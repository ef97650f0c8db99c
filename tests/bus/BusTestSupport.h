// Shared pieces of the bus tests: the private bus of the test process, the companion
// programs started on it, and waiting for bus names and signals while Qt's events run.
#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PrivateBus.h"
#include "ScratchFolder.h"
#include "bus/BusNameWatcher.h"
#include "busnames/BusNames.h"
#include "qttext/QtText.h"

namespace ov::test {

// Bus names and texts as the program converts them (qttext/QtText.h).
inline QString Q(std::string_view text) {
    return QtText(text);
}

// Runs Qt's events until done() holds or timeout passes; done()'s last answer.
inline bool SpinUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Waits until busName has an owner (owned true) or none (owned false).
inline bool WaitForName(std::string_view busName, bool owned = true,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    TBusNameWatcher watcher;
    return SpinUntil([&] { return watcher.IsRunning(Q(busName)) == owned; }, timeout);
}

// Waits until the setup server that owns its name answers a call (any answer): one whose
// name is owned may still be starting, and a test's short call time-outs are for the faults
// it tests, not for a slow start on a loaded machine.
inline bool WaitForSetupAnswer(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        Q(SetupBusName), Q(SetupObjectPath), Q(SetupInterface), QStringLiteral("GetSetupParam"));
    call.setArguments({Q(SetupLoadKey)});
    return QDBusConnection::sessionBus()
               .call(call, QDBus::Block, static_cast<int>(timeout.count()))
               .type() == QDBusMessage::ReplyMessage;
}

// A companion program with its output in files of a scratch folder.
class TProgram {
  public:
    TProgram(const std::vector<std::string>& argv, const std::filesystem::path& in = {})
        : process_(argv, folder_ / "out.txt", folder_ / "err.txt", in) {}

    TChildProcess& Process() { return process_; }
    std::string Out() const { return ReadFileText(folder_ / "out.txt"); }
    std::string Err() const { return ReadFileText(folder_ / "err.txt"); }
    // Exit status within timeout; -1 when it still runs.
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        auto status = process_.Wait(timeout);
        return status ? *status : -1;
    }

  private:
    ScratchFolder folder_;
    TChildProcess process_;
};

// ovsetup serving file (or, with an empty path, nothing: the arguments alone).
inline std::unique_ptr<TProgram> StartSetup(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{OV_OVSETUP_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return std::make_unique<TProgram>(argv);
}

// Runs ovsetup with arguments (commands for the running server) to its end: exit status.
inline int RunSetupCommand(const std::vector<std::string>& arguments, std::string* err = nullptr) {
    auto program = StartSetup(arguments);
    int status = program->Wait();
    if (err != nullptr) *err = program->Err();
    return status;
}

inline std::vector<std::string> FeedArgs(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{OV_OVFEED_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

}  // namespace ov::test
