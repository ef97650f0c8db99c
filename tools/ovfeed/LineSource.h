// ovfeed's input: lines of a file or of standard input, read on a thread of their own so
// that the bus is served while input is awaited, handed over through a bounded queue.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <thread>

#include "util/Mutex.h"

namespace ov {

class TLineSource {
  public:
    // Reads in from its own thread once started; notify is called on that thread whenever a
    // line or the end arrives while the consumer waits for one (see Take).
    TLineSource(std::unique_ptr<std::istream> owned, std::istream& in,
                std::function<void()> notify);
    ~TLineSource();  // waits for the reading thread: call it once the input has ended
    TLineSource(const TLineSource&) = delete;
    TLineSource& operator=(const TLineSource&) = delete;

    void Start();

    enum TTake { tkLine, tkNone, tkEnd };
    // The next line (tkLine), none yet (tkNone: notify follows when there is), or the end of
    // the input (tkEnd, when every line has been taken).
    TTake Take(std::string& line);
    // After tkEnd: the input ended by a read error rather than at its end.
    bool ReadFailed();

  private:
    void Run();

    static constexpr std::size_t Capacity = 8192;
    std::unique_ptr<std::istream> owned_;
    std::istream& in_;
    std::function<void()> notify_;
    std::thread thread_;
    TMutex lock_;
    std::condition_variable room_;  // the reader waits for room in lines_ (woken at half full)
    std::deque<std::string> lines_ OV_GUARDED_BY(lock_);
    bool ended_ OV_GUARDED_BY(lock_) = false;
    bool readFailed_ OV_GUARDED_BY(lock_) = false;
    bool waiting_ OV_GUARDED_BY(lock_) = false;  // the consumer found nothing
};

}  // namespace ov
