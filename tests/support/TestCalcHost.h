// A stand-in for the program's controller as the engine's host, and for the live data store as
// the thread's result sink, for the tests and the benchmarks: it records what the engine asks of
// it and what it publishes, collects the output lines in order, and lets a test hook into the
// drain request and the producer's event processing. A benchmark turns the records off
// (KeepPublished, KeepLines), answers the setup queries itself (AnswerSetup) and waits for a
// number of results (WaitPublished).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "calc/RatingTables.h"
#include "core/OutputBuffer.h"
#include "suite/ResultSink.h"
#include "thread/CalcHost.h"

namespace ov::test {

class TestCalcHost : public ov::ICalcHost, public ov::IResultSink {
  public:
    using Line = std::pair<std::string, ov::TOutputKind>;

    std::atomic<int> Detail{0};
    ov::TWakeEvent Wake;
    ov::TOutputBuffer* Output = nullptr;  // the buffer drain requests empty
    bool InitResult = true;
    // Set before the thread starts: off, results are only counted and output lines dropped.
    bool KeepPublished = true;
    bool KeepLines = true;
    // Set before the thread starts: answers every setup query in place of Setup and
    // Unavailable, without the host's lock.
    std::function<bool(const std::string& key, std::string& value)> AnswerSetup;

    // Hooks, run on the calling thread before the host's own work.
    std::function<void()> OnDrainRequest;     // may throw, or skip the drain by setting Refuse
    std::function<void()> OnProcessUiEvents;  // may throw
    std::atomic<bool> RefuseDrain{false};
    // Refuses drain requests made on any thread but the one that created the host, as a
    // window whose main thread is busy would.
    std::atomic<bool> RefuseDrainOffMainThread{false};

    std::atomic<int> DrainRequests{0};
    std::atomic<long long> LastDrainLimitMs{0};
    std::atomic<int> UiEventRounds{0};
    std::atomic<int> Signals{0};
    std::atomic<int> InitCalls{0};
    std::atomic<int> DoneCalls{0};

    int LogDetail() const override { return Detail.load(); }
    ov::TWakeEvent& WakeEvent() override { return Wake; }
    void SignalThread() override {
        ++Signals;
        Wake.Signal();
    }
    bool RequestDrain(std::chrono::milliseconds limit) override {
        ++DrainRequests;
        LastDrainLimitMs = limit.count();
        if (OnDrainRequest) OnDrainRequest();
        if (RefuseDrain) return false;
        if (RefuseDrainOffMainThread && std::this_thread::get_id() != mainThread_) return false;
        Collect();
        return true;
    }
    void ProcessUiEvents() override {
        ++UiEventRounds;
        if (OnProcessUiEvents) OnProcessUiEvents();
    }
    ov::rating::TTables& RatingTables() override { return Tables; }
    void PublishResult(std::string_view itemName, const std::string& text) override {
        if (KeepPublished) {
            std::lock_guard<std::mutex> guard(mutex_);
            Published.emplace_back(std::string(itemName), text);
        }
        if (publishedCount_.fetch_add(1, std::memory_order_acq_rel) + 1 >= publishTarget_.load()) {
            std::lock_guard<std::mutex> guard(publishMutex_);
            publishReached_.notify_all();
        }
    }
    void ThreadEnded(ov::TWorkThread& thread) override {
        std::lock_guard<std::mutex> guard(mutex_);
        EndedThreads.push_back(&thread);
        ended_.notify_all();
    }
    bool QuerySetup(const std::string& key, std::string& value) override {
        if (AnswerSetup) return AnswerSetup(key, value);
        std::lock_guard<std::mutex> guard(mutex_);
        if (Unavailable.count(key) != 0)
            throw ov::ESetupUnavailable("The setup server is being started again");
        auto it = Setup.find(key);
        if (it == Setup.end()) return false;
        value = it->second;
        return true;
    }
    bool InitCalcThread() override {
        ++InitCalls;
        return InitResult;
    }
    void DoneCalcThread() override { ++DoneCalls; }

    // Moves every waiting output line into the record, keeping their order.
    void Collect() {
        if (!Output) return;
        std::string text;
        ov::TOutputKind kind;
        if (!KeepLines) {
            while (Output->Get(text, kind)) {
            }
            return;
        }
        std::lock_guard<std::mutex> guard(mutex_);
        while (Output->Get(text, kind)) lines_.emplace_back(text, kind);
    }
    std::vector<Line> Lines() {
        Collect();
        std::lock_guard<std::mutex> guard(mutex_);
        return lines_;
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (auto& line : Lines()) texts.push_back(line.first);
        return texts;
    }
    void ForgetLines() {
        Collect();
        std::lock_guard<std::mutex> guard(mutex_);
        lines_.clear();
    }
    std::vector<ov::TWorkThread*> Ended() {
        std::lock_guard<std::mutex> guard(mutex_);
        return EndedThreads;
    }
    bool WaitEnded(std::chrono::milliseconds realLimit = std::chrono::seconds(20)) {
        std::unique_lock<std::mutex> guard(mutex_);
        return ended_.wait_for(guard, realLimit, [&] { return !EndedThreads.empty(); });
    }
    // Sleeps until count results in all were published (without a limit: a benchmark's
    // producer waits so, taking no processor time from the thread it measures).
    void WaitPublished(long count) {
        publishTarget_ = count;
        std::unique_lock<std::mutex> guard(publishMutex_);
        publishReached_.wait(guard, [&] { return publishedCount_.load() >= count; });
    }
    long PublishedCount() const { return publishedCount_.load(); }

    ov::rating::TTables Tables{[] { return std::string(); }};  // the run sets its folder
    std::map<std::string, std::string> Setup;  // answers of QuerySetup; set before the start
    std::set<std::string> Unavailable;  // keys whose query raises ESetupUnavailable; likewise
    std::vector<std::pair<std::string, std::string>> Published;  // guarded by mutex_
    std::vector<ov::TWorkThread*> EndedThreads;                  // guarded by mutex_

  private:
    const std::thread::id mainThread_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::condition_variable ended_;
    std::vector<Line> lines_;  // guarded by mutex_
    std::atomic<long> publishedCount_{0};
    std::atomic<long> publishTarget_{0};
    std::mutex publishMutex_;
    std::condition_variable publishReached_;
};

}  // namespace ov::test
