// ovfeed's input: lines of a file or of standard input, read on a thread of their own so
// that the bus is served while input is awaited, handed over through a bounded queue.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <istream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

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
    std::mutex lock_;
    std::condition_variable room_;   // the reader waits for room in lines_ (woken at half full)
    std::deque<std::string> lines_;  // guarded by lock_
    bool ended_ = false;             // guarded by lock_
    bool readFailed_ = false;        // guarded by lock_
    bool waiting_ = false;           // guarded by lock_: the consumer found nothing
};

}  // namespace ov
