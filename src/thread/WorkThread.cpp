// The calculation thread: its run, the idle step and the stop protocol.
#include "thread/WorkThread.h"

#include <exception>
#include <utility>

#include "core/LogDetail.h"
#include "util/Exception.h"

namespace ov {

namespace {

// The text an error is logged with: its own message.
std::string ErrorText(const std::exception& e) {
    return e.what();
}
constexpr const char* UnknownErrorText = "Unknown error";

}  // namespace

TWorkThread::TWorkThread(ICalcHost& host, TInputStationSensorBuffer& input, TOutputBuffer& output,
                         IClock& clock)
    : host_(host),
      input_(input),
      output_(output),
      clock_(clock),
      groups_(std::make_unique<TCalcGroups>()),
      valueCache_(std::make_unique<TStationSensorDataCache>(20, clock)) {}

TWorkThread::~TWorkThread() {
    if (thread_.joinable()) {
        RequestStop();
        // A run blocked on a full output buffer reaches its end only once the buffer is
        // drained; a drain request made on the host's own thread drains at once.
        while (!WaitFor(WakeWait)) {
            try {
                host_.RequestDrain(std::chrono::milliseconds(0));
            } catch (...) {
            }
        }
    }
    // What a run that ended early left behind goes first: the indexes refer to the groups.
    calculator_.reset();
    singleIndex_.reset();
    goesIndex_.reset();
    multiIndex_.reset();
    scheduleQueue_.reset();
    valueCache_.reset();
    groups_.reset();
}

void TWorkThread::CopyGroups(const TCalcGroups& groups) {
    groups_->Clear();
    for (std::int32_t i = 0; i < groups.Count(); ++i) {
        auto copy = std::make_unique<TCalcGroupItem>();
        copy->Assign(*groups.Items(i));
        groups_->Add(std::move(copy));
    }
}

void TWorkThread::Start() {
    if (started_) throw Exception("The calculation thread has already been started");
    started_ = true;
    thread_ = std::thread(&TWorkThread::Execute, this);
}

void TWorkThread::RequestStop() {
    // The run looks at the request only after the wake event or between two items, so the
    // event is always signalled as well.
    stopRequested_ = true;
    host_.WakeEvent().Signal();
}

bool TWorkThread::WaitFor(std::chrono::milliseconds timeout) {
    if (!started_) return true;
    {
        std::unique_lock<std::mutex> guard(endMutex_);
        if (!endChanged_.wait_for(guard, timeout, [this] { return ended_; })) return false;
    }
    if (thread_.joinable()) thread_.join();
    return true;
}

void TWorkThread::WaitFor() {
    if (!started_) return;
    {
        std::unique_lock<std::mutex> guard(endMutex_);
        endChanged_.wait(guard, [this] { return ended_; });
    }
    if (thread_.joinable()) thread_.join();
}

bool TWorkThread::Finished() {
    std::lock_guard<std::mutex> guard(endMutex_);
    return ended_;
}

void TWorkThread::Log(const std::string& text, TOutputKind kind) {
    output_.Add(text, kind);
}

void TWorkThread::Execute() {
    try {
        Run();
    } catch (...) {
        // Nothing may escape the thread; the run has already reported what it could.
    }
    try {
        host_.ThreadEnded(*this);
    } catch (...) {
    }
    {
        std::lock_guard<std::mutex> guard(endMutex_);
        ended_ = true;
    }
    endChanged_.notify_all();
}

void TWorkThread::Run() {
    Log("Calculation thread started.", okStatus);
    singleIndex_ = std::make_unique<TCalSingleStation>();
    goesIndex_ = std::make_unique<TCalMultipleStation>();
    multiIndex_ = std::make_unique<TCalMultipleStation>();
    scheduleQueue_ = std::make_unique<TScheduleQueue>(20);
    localFormat_ = LocaleFormatSettings();
    usFormat_ = USFormatSettings();
    calculator_ = std::make_unique<TCalcEx>(localFormat_);
    // The thread's group copies are made before the start and stay as they are for the run.
    calculator_->SetGroupsFixed(true);
    calculator_->SetLogLevel(LogLevel());
    calculator_->SetSetupQuery(&host_);
    calculator_->SetOutput(&output_);

    // What the calculations call from this thread needs its own set-up; without it there is
    // no run at all, and the objects made above go with the thread object.
    if (!host_.InitCalcThread()) {
        Log("CoInitialize failed", okStatus);
        return;
    }
    try {
        RunLoop();
    } catch (const std::exception& e) {
        try {
            Log(ErrorText(e), okError);
        } catch (...) {
        }
    } catch (...) {
        try {
            Log(UnknownErrorText, okError);
        } catch (...) {
        }
    }
    EndRun();
}

void TWorkThread::RunLoop() {
    BuildIndexes();
    TDateTime nextIdle = clock_.Now() + IdleInterval;
    for (;;) {
        if (!clock_.WaitFor(host_.WakeEvent(), WakeWait)) {
            if (clock_.Now() >= nextIdle) {
                DoIdle();
                nextIdle = clock_.Now() + IdleInterval;
            }
            continue;
        }
        if (stopRequested_) return;
        // A wake with an empty buffer does nothing, not even an idle check.
        while (input_.HasItems()) {
            if (stopRequested_) {
                Log("Calculation thread stopping... All unprocessed messages will be lost.",
                    okDetail);
                return;  // the items stay in the buffer
            }
            try {
                DoProcess();
                if (clock_.Now() >= nextIdle) {
                    DoIdle();
                    nextIdle = clock_.Now() + BusyIdleInterval;
                }
            } catch (const std::exception& e) {
                Log(ErrorText(e), okError);
            } catch (...) {
                Log(UnknownErrorText, okError);
            }
        }
    }
}

void TWorkThread::EndRun() {
    singleIndex_.reset();
    goesIndex_.reset();
    multiIndex_.reset();
    calculator_.reset();
    scheduleQueue_.reset();  // deferred records not yet due are lost
    try {
        Log("Calcuation thread stopped.", okStatus);
    } catch (...) {
    }
    host_.DoneCalcThread();
}

void TWorkThread::DoIdle() {
    if (LogLevel() > ltIdle) Log("Begin DoIdle", okDetail);
    DoDelayedCalculation();
    valueCache_->Purge();
    if (LogLevel() > ltIdle) Log("End DoIdle", okDetail);
}

}  // namespace ov
