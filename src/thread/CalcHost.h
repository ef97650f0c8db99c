// What the calculation thread needs from its host (the program's controller, or ovtool replay): the
// log detail, the wake event, the rating-table cache, the thread-ended callback and setup-parameter
// queries, on top of what the queues need (the drain request, the user-interface pump of a waiting
// producer). The Qt controller implements it; the engine never sees Qt. The clock and the wake
// event come with this header. Results do not pass through the host: the thread hands them to its
// IResultSink (suite/ResultSink.h).
#pragma once

#include <chrono>
#include <string>

#include "core/Clock.h"
#include "core/QueueHost.h"
#include "core/WakeEvent.h"
#include "suite/SetupQuery.h"

namespace ov {

class TWorkThread;
namespace rating {
class TTables;
}

// QuerySetup (from ISetupQuery): the setup server's value for a parameter key, false when
// there is none; called on the calculation thread.
class ICalcHost : public IQueueHost, public ISetupQuery {
  public:
    virtual ~ICalcHost() = default;

    // The log detail setting, 0 to 10. Read from any thread at every message, so
    // the host keeps it in an atomic.
    virtual int LogDetail() const = 0;

    // The calculation thread's wake event, created by the host and living as long as it.
    virtual TWakeEvent& WakeEvent() = 0;

    // The process's rating-table cache, living as long as the host. A run looks its tables up
    // there (in the folder the run's settings name); the host clears it only while no run
    // is in progress, at a refresh.
    virtual rating::TTables& RatingTables() = 0;

    // Called by a calculation thread as the very last act of its run; the host posts it to its
    // main thread (where it sets ThreadStopped). thread identifies the sender, so that a late
    // call from a thread that was already replaced can be told apart; the host must not use
    // the object once it has destroyed it.
    virtual void ThreadEnded(TWorkThread& thread) = 0;

    // Per-thread set-up of what the calculations call from the calculation thread (the bus
    // connection of that thread). Called at the start of a run; false ends the run at once.
    virtual bool InitCalcThread() { return true; }
    // Counterpart of a successful InitCalcThread, called as the run ends.
    virtual void DoneCalcThread() {}
};

}  // namespace ov
