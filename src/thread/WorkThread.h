// The calculation thread: waits for the wake event, takes the items of the input buffer,
// dispatches them to the calculations, runs the idle step (deferred calculations, cache
// purge) and reports through the output buffer, filtered by the host's log detail.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "calc/CalcEx.h"
#include "core/InputBuffer.h"
#include "core/OutputBuffer.h"
#include "core/ScheduleQueue.h"
#include "core/ValueCache.h"
#include "model/CalcGroups.h"
#include "model/CalcIndexes.h"
#include "thread/CalcHost.h"
#include "util/FormatSettings.h"
#include "util/TimeTag.h"

namespace ov {

class TWorkThread {
  public:
    // Idle step at most every 5 s while waiting, every 10 s after one taken between items.
    static constexpr TDateTime IdleInterval = 5.0 / 86400.0;
    static constexpr TDateTime BusyIdleInterval = 10.0 / 86400.0;
    // The longest wait for the wake event; bounds the latency of the idle check.
    static constexpr std::chrono::milliseconds WakeWait{20};

    // A thread object that has not started yet, with an empty cache and no groups. The host,
    // the buffers and the clock must outlive it.
    TWorkThread(ICalcHost& host, TInputStationSensorBuffer& input, TOutputBuffer& output,
                IClock& clock = SystemClock());
    // A running thread is asked to stop and waited for first, the output buffer being drained
    // meanwhile; one never started does not run.
    ~TWorkThread();
    TWorkThread(const TWorkThread&) = delete;
    TWorkThread& operator=(const TWorkThread&) = delete;

    // Before the start: replaces the thread's groups by copies of groups, in order.
    void CopyGroups(const TCalcGroups& groups);
    // Begins the run on a new thread. A thread object runs once; a second Start is an error.
    void Start();
    // The stop protocol's first half: sets StopRequested and signals the wake event.
    void RequestStop();
    // Waits at most timeout for the run to end; true once it has (the thread is then joined).
    // The host keeps answering drain requests meanwhile, e.g. by waiting in short steps.
    bool WaitFor(std::chrono::milliseconds timeout);
    void WaitFor();

    bool StopRequested() const { return stopRequested_.load(); }
    bool Started() const { return started_; }
    bool Finished();

    // Appends the line to the output buffer, waiting there while it is full.
    void Log(const std::string& text, TOutputKind kind);
    // The host's current log detail, read afresh at every call.
    int LogLevel() const { return host_.LogDetail(); }

    // How long a time-tagged record waits before its calculation (days; 1 minute unless set).
    // The main window sets it from the configuration; the run reads it at every record.
    void SetScheduleDelay(TDateTime delay) { scheduleDelay_ = delay; }
    TDateTime ScheduleDelay() const { return scheduleDelay_.load(); }

    // The record a calculation publishes: the "%j" text of tag, station.sensor and the value
    // as general text with the decimal separator of fs.
    static std::string ResultRecord(TTimeTag tag, std::string_view station, std::string_view sensor,
                                    double value, const TFormatSettings& fs);
    // The same with the time tag's text already made.
    static std::string ResultRecord(std::string_view tagText, std::string_view station,
                                    std::string_view sensor, double value,
                                    const TFormatSettings& fs);

    const TCalcGroups& Groups() const { return *groups_; }

  private:
    void Execute();  // the thread's function: the run, then the termination callback
    void Run();
    void RunLoop();
    void EndRun();
    void BuildIndexes();
    void DoIdle();
    void DoProcess();
    void DoDelayedCalculation();
    // The calculation modes.
    void DoCurrentCalculation(const TInputItem& item);
    void DoGOESCalculation(const TInputSensorItem& item);
    void DoMultiCalculation(const TInputSensorItem& item);
    // One group for one item: evaluate, round, publish; a calculator error, or a setup query
    // that cannot be answered for now (ESetupUnavailable), is logged as error 1602, nothing is
    // published and the caller goes on with the next group.
    // sensor names the sensor in the begin line (the satellite and multiple-station modes).
    void CalculateGroup(const TInputItem& item, const TCalcGroupItem& group,
                        std::string_view outputStation, const std::string* sensor);
    void LogComputationError(const TInputItem& item, const TCalcGroupItem& group,
                             const std::string& message);
    // Rounds timeTag to the output sensor's "RoundOffTime" setting; unchanged when there is
    // none or it is unusable. ESetupUnavailable passes on; ECalcExException when the rounded
    // time is past the last time tag (or before the first).
    void RoundOffTime(const std::string& stationID, const std::string& sensorName,
                      TTimeTag& timeTag);

    ICalcHost& host_;
    TInputStationSensorBuffer& input_;
    TOutputBuffer& output_;
    IClock& clock_;

    std::atomic<bool> stopRequested_{false};  // written by the main thread, read by the run
    std::atomic<TDateTime> scheduleDelay_{1.0 / 1440};  // written by the main thread

    // Below: created by the constructor or the run, used by the calculation thread only (the
    // main thread touches groups_ only before the start).
    std::unique_ptr<TCalcGroups> groups_;
    std::unique_ptr<TStationSensorDataCache> valueCache_;
    TFormatSettings localFormat_;  // the thread's locale: results and date-times
    TFormatSettings usFormat_;     // locale 1033: incoming sensor values
    std::unique_ptr<TCalSingleStation> singleIndex_;
    std::unique_ptr<TCalMultipleStation> goesIndex_;
    std::unique_ptr<TCalMultipleStation> multiIndex_;
    // Created by the run with localFormat_ and the log detail of the moment, released at its
    // end: a change of the log detail reaches the calculator only with the next thread.
    std::unique_ptr<TCalcEx> calculator_;
    std::unique_ptr<TScheduleQueue> scheduleQueue_;
    TTimeTag recordTag_ = 0;     // the time tag of the last record published
    std::string recordTagText_;  // its "%j" text (empty: none yet)
    std::string roundKey_;       // the rounding setting's key, made anew for each calculation

    // Main thread only.
    bool started_ = false;
    std::thread thread_;

    std::mutex endMutex_;
    std::condition_variable endChanged_;
    bool ended_ = false;  // guarded by endMutex_: the run and the termination callback are over
};

}  // namespace ov
