// An archive of data lines run through the calculation thread again, in one process and without
// a bus: each line as a data source delivers it (its item change, read as OV Calc reads it), the
// setup queries answered from the setup server's settings, the groups of a configuration. The
// thread runs on a clock that is the data's own, so that deferred calculations and the value
// cache see the times of the data, and every line's records come out as OV Calc would publish
// them, in the same order.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/Clock.h"
#include "core/InputBuffer.h"
#include "core/ItemChange.h"
#include "core/OutputBuffer.h"
#include "model/CalcGroups.h"
#include "model/ConfigFile.h"
#include "suite/SetupSettingsFile.h"
#include "thread/CalcHost.h"

namespace ov {

class TWorkThread;

struct TReplayOptions {
    TSetupSettings Setup;              // what the setup server serves, TableDirectory absolute
    TConfigSettings Config;            // the log detail and schedule delay of the configuration
    std::string SourceAppID;           // the data source whose item changes the lines are
    std::optional<TTimeTag> From, To;  // only the lines whose time tags lie in [From, To]
    bool KeepGoing = true;             // false: the replay stops at the first error it reports
};

// The thread's clock stands at the latest time tag read so far and moves with the lines: before
// a line that moves it, the thread takes its idle step when one is due, as it would after that
// much time (the deferred calculations that are due, the purge of the value cache). After the
// last line it moves on by the schedule delay, so the deferred calculations still waiting run.
//
// Three threads: the caller's feeds the lines (read into items there), the calculation thread
// takes them line by line, and a third hands the status lines on while the other two work.
class TReplay final : private ICalcHost, private IClock {
  public:
    // A published result record; on the calculation thread.
    using TRecordProc = std::function<void(const std::string& record)>;
    // A status line (cut to StatusLineLimit characters; Length is what it had), one at a time
    // in their order, from any of the replay's threads.
    using TStatusProc = std::function<void(const TOutputLine& line)>;
    // Called about every ProgressInterval between status lines, never during one.
    using TProgressProc = std::function<void()>;
    static constexpr std::chrono::milliseconds ProgressInterval{250};

    struct TCounts {
        std::int64_t Replayed = 0;     // data lines that reached the thread
        std::int64_t OutOfRange = 0;   // data lines left out by From and To
        std::int64_t Records = 0;      // result records published
        std::int64_t CalcErrors = 0;   // error lines of the calculations (as OV Calc counts them)
        std::int64_t InputErrors = 0;  // lines and files that could not be read as they stand
    };

    TReplay(const TCalcGroups& groups, TReplayOptions options, TRecordProc record,
            TStatusProc status, TProgressProc progress = {});
    // A replay not finished is stopped; what was not calculated yet is lost.
    ~TReplay();
    TReplay(const TReplay&) = delete;
    TReplay& operator=(const TReplay&) = delete;

    // Makes the settings the process's general setup (the null value, the table folder), clears
    // the rating-table cache and starts the threads. Before the first Feed.
    void Start();

    // One line of the input ("ITEM DATA", without its line feed), which file's lineNumber names
    // in its status lines. Comments and empty lines are skipped; a line that is not a data line
    // is said and counted as an input error, and the replay goes on. The feeding thread only;
    // it may wait while the calculation thread catches up. False once the replay has stopped
    // (an error without KeepGoing): the rest of the input is not needed.
    bool Feed(std::string_view line, std::string_view file, std::int64_t lineNumber);
    // A fault of the input beside its lines (a file that cannot be read, compressed data cut
    // short): said in its place among the lines' status lines, counted as an input error.
    bool InputFault(std::string text);
    // Hands the lines fed so far to the calculation thread now rather than in a larger batch,
    // as before waiting for more input.
    void Flush();
    // After the last line: lets the deferred calculations still waiting run, ends the threads
    // and waits for them. Every status line is out when it returns.
    void Finish();

    TCounts Counts() const;

  private:
    struct TBatch;

    // ICalcHost
    int LogDetail() const override { return options_.Config.LogDetail; }
    TWakeEvent& WakeEvent() override { return wake_; }
    void PublishResult(const std::string& itemName, const std::string& text) override;
    void ThreadEnded(TWorkThread& thread) override;
    void SignalThread() override {}
    bool RequestDrain(std::chrono::milliseconds limit) override;
    void ProcessUiEvents() override {}
    bool QuerySetup(const std::string& key, std::string& value) override;
    // IClock: the data's time; a wait hands the thread the next lines.
    TDateTime Now() override { return now_.load(std::memory_order_relaxed); }
    bool WaitFor(TWakeEvent& event, std::chrono::milliseconds timeout) override;

    // Feeding thread.
    void Note(std::string text);
    void TakeLineItems();
    void EndLine(bool withItems, TTimeTag tag);
    bool HandOver(bool last);
    // Calculation thread.
    bool NextBatch();
    bool StopHere();
    // Any thread: the waiting status lines out, in order; true when there were any.
    bool DrainOutput();
    void Serve();

    const TReplayOptions options_;
    const TRecordProc record_;
    const TStatusProc status_;
    const TProgressProc progress_;

    TWakeEvent wake_;
    TInputStationSensorBuffer input_{*this};
    TOutputBuffer output_{*this};
    std::unique_ptr<TWorkThread> thread_;
    std::thread service_;
    bool started_ = false, finished_ = false;  // the owner's thread

    // Feeding thread: one line's items as the item-change handling queues them, the batch
    // being filled, where the line is for its status lines.
    TInputStationSensorBuffer lineItems_{*this};
    std::unique_ptr<TBatch> filling_;
    std::string_view file_;
    std::int64_t lineNumber_ = 0;
    int lineNotes_ = 0;
    const TItemChangeSignalProc noSignal_;
    const TItemChangeLogProc lineNote_;
    const TInputStationSensorBuffer::TSlotWaitProc takeLineItems_;

    // Between the two: batches of lines, at most MaxBatches waiting.
    static constexpr std::size_t MaxBatches = 4;
    std::mutex queueLock_;
    std::condition_variable queueChanged_;
    std::deque<std::unique_ptr<TBatch>> full_;    // guarded by queueLock_
    std::vector<std::unique_ptr<TBatch>> spare_;  // guarded by queueLock_: emptied, for reuse
    // Set under queueLock_ (its waits look at it), read without: no more lines are taken.
    std::atomic<bool> stopped_{false};

    // Calculation thread: the batch in hand and the place in it, the latest time tag.
    std::unique_ptr<TBatch> current_;
    std::size_t line_ = 0, item_ = 0, note_ = 0;
    bool notesShown_ = false;
    bool anyTag_ = false, endMoved_ = false;
    TTimeTag latest_ = 0;
    std::atomic<TDateTime> now_{0};
    std::string queryKey_;  // the folded key of a setup query

    // The status lines: handed on one at a time.
    std::mutex statusLock_;
    std::chrono::steady_clock::time_point lastProgress_;  // guarded by statusLock_

    std::mutex serviceLock_;
    std::condition_variable serviceChanged_;
    bool serviceStop_ = false;  // guarded by serviceLock_

    std::atomic<std::int64_t> replayed_{0}, outOfRange_{0}, records_{0}, calcErrors_{0},
        inputErrors_{0};
};

}  // namespace ov
