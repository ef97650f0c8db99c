// The replay of an archive: lines read into items on the feeding thread, handed to the
// calculation thread in batches, taken there line by line through the thread's clock.
#include "thread/Replay.h"

#include <algorithm>
#include <utility>

#include "busnames/BusNames.h"
#include "calc/RatingTables.h"
#include "suite/SetupParams.h"
#include "suite/SetupServer.h"
#include "thread/WorkThread.h"
#include "util/FeedLine.h"
#include "util/Scan.h"
#include "util/TextCodec.h"
#include "util/TextCompare.h"

namespace ov {

namespace {

// A batch is handed over when it holds this many lines or items, or when the feeder asks.
constexpr std::size_t BatchLines = 1024;
constexpr std::size_t BatchItems = 4096;

// How long the service thread rests between looks at the output buffer: briefly while lines
// come, so that the thread seldom finds the buffer full, longer while none do.
constexpr std::chrono::microseconds BusyRest{100};
constexpr std::chrono::milliseconds IdleRest{2};

// The text of a line as OV Calc receives it from a data source: sent as it stands when it is
// UTF-8, else byte for character, a zero byte as "?" (a bus text cannot hold one); read back as
// 8-bit text, a character above U+00FF as "?" (replaced counts them). Plain ASCII, the common
// case, comes back as it is, in view.
std::string_view ReceivedText(std::string_view text, std::string& buffer, std::size_t* replaced) {
    bool plain = true;
    for (char c : text) {
        if (c == '\0' || (static_cast<unsigned char>(c) & 0x80) != 0) {
            plain = false;
            break;
        }
    }
    if (plain) return text;
    std::string sent(text);
    std::replace(sent.begin(), sent.end(), '\0', '?');
    if (!IsBusUtf8(sent)) {
        buffer = std::move(sent);  // went as Latin-1 and reads back as the same bytes
    } else {
        buffer.clear();
        Utf8ToLatin1(sent, buffer, TUtf8Policy::upReplace, replaced);
    }
    return buffer;
}

bool IsDataItem(std::string_view item) {
    const std::string name = UpperCaseAscii(item);
    return name == ItemGOESTimed || name == ItemGOESRandom || name == ItemTimeTag ||
           name == ItemRealTime;
}

}  // namespace

// Lines in the order read: each line's items and the status lines to be said before them.
struct TReplay::TBatch {
    struct TLine {
        std::size_t ItemEnd = 0;  // its items end here in Items (they begin where the last ended)
        std::size_t NoteEnd = 0;  // the same in Notes
        TTimeTag Tag = 0;         // the time tag of its items
    };
    std::vector<std::unique_ptr<TInputItem>> Items;
    std::vector<std::string> Notes;
    std::vector<TLine> Lines;
    bool Last = false;  // the input ends with this batch

    void Clear() {
        Items.clear();
        Notes.clear();
        Lines.clear();
        Last = false;
    }
};

TReplay::TReplay(const TCalcGroups& groups, TReplayOptions options, TRecordProc record,
                 TStatusProc status, TProgressProc progress)
    : options_(std::move(options)),
      record_(std::move(record)),
      status_(std::move(status)),
      progress_(std::move(progress)),
      filling_(std::make_unique<TBatch>()),
      noSignal_([] {}),
      lineNote_([this](const std::string& text) { Note(text); }),
      takeLineItems_([this] {
          TakeLineItems();
          return true;
      }) {
    ICalcHost& host = *this;
    IClock& clock = *this;
    thread_ = std::make_unique<TWorkThread>(host, input_, output_, clock);
    thread_->CopyGroups(groups);
    thread_->SetScheduleDelay(options_.Config.ScheduleDelay);
}

TReplay::~TReplay() {
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        stopped_ = true;
    }
    queueChanged_.notify_all();
    // The thread ends before what it uses goes; it drains its own status lines meanwhile.
    if (started_) {
        thread_->RequestStop();
        thread_->WaitFor();
    }
    {
        std::lock_guard<std::mutex> guard(serviceLock_);
        serviceStop_ = true;
    }
    serviceChanged_.notify_all();
    if (service_.joinable()) service_.join();
}

void TReplay::Start() {
    if (started_) return;
    started_ = true;
    // What the calculations read of the settings: the null value, the table folder.
    GeneralSetup() = options_.Setup.General;
    rating::ClearTables();
    lastProgress_ = std::chrono::steady_clock::now();
    service_ = std::thread(&TReplay::Serve, this);
    thread_->Start();
}

// ---- the feeding thread --------------------------------------------------------------------

bool TReplay::Feed(std::string_view line, std::string_view file, std::int64_t lineNumber) {
    std::string_view itemText, dataText;
    if (!SplitFeedLine(line, itemText, dataText)) return true;
    file_ = file;
    lineNumber_ = lineNumber;
    lineNotes_ = 0;
    std::string itemBuffer, dataBuffer;
    std::size_t replaced = 0;
    const std::string_view item = ReceivedText(itemText, itemBuffer, nullptr);
    const std::string_view data = ReceivedText(dataText, dataBuffer, &replaced);
    // The line as read, for what is said of it.
    auto asRead = [&] { return std::string(item) + (data.empty() ? "" : " ") + std::string(data); };

    if (!IsDataItem(item)) {
        Note("not a data line (its item is not $GOESTIMED, $GOESRANDOM, $TIMETAG or $REALTIME): " +
             asRead());
        EndLine(false, 0);
    } else if (options_.From || options_.To) {
        // The line's time tag as the item change reads it, up to a line break.
        int position = 1;
        TTimeTag tag = 0;
        if (ScanText(data.substr(0, data.find_first_of("\r\n")), position, "%J", {&tag}) &&
            ((options_.From && tag < *options_.From) || (options_.To && tag > *options_.To))) {
            ++outOfRange_;
            return true;
        }
    }
    if (lineNotes_ == 0) {
        if (replaced > 0) Note(ReplacedCharactersText(replaced, data));
        const int added = HandleItemChange(options_.SourceAppID, item, data, CalcAppID, lineItems_,
                                           noSignal_, lineNote_, takeLineItems_);
        TakeLineItems();
        if (added == 0 && lineNotes_ == (replaced > 0 ? 1 : 0))
            Note("not a data line (its time tag cannot be read): " + asRead());
        TTimeTag tag = 0;
        if (added > 0) tag = filling_->Items.back()->TimeTag;
        EndLine(added > 0, tag);
    }
    if (filling_->Lines.size() >= BatchLines || filling_->Items.size() >= BatchItems)
        return HandOver(false);
    return !stopped_.load();
}

bool TReplay::InputFault(std::string text) {
    lineNotes_ = 0;
    filling_->Notes.push_back(std::move(text));
    ++lineNotes_;
    EndLine(false, 0);
    return HandOver(false);
}

void TReplay::Flush() {
    if (!filling_->Lines.empty()) HandOver(false);
}

void TReplay::Note(std::string text) {
    std::string placed(file_);
    placed += ':';
    placed += std::to_string(lineNumber_);
    placed += ": ";
    placed += text;
    filling_->Notes.push_back(std::move(placed));
    ++lineNotes_;
}

void TReplay::TakeLineItems() {
    std::unique_ptr<TInputItem> item;
    while (lineItems_.Get(item)) filling_->Items.push_back(std::move(item));
}

void TReplay::EndLine(bool withItems, TTimeTag tag) {
    if (withItems) ++replayed_;
    if (withItems || lineNotes_ > 0)
        filling_->Lines.push_back({filling_->Items.size(), filling_->Notes.size(), tag});
}

bool TReplay::HandOver(bool last) {
    filling_->Last = last;
    std::unique_ptr<TBatch> next;
    {
        std::unique_lock<std::mutex> guard(queueLock_);
        queueChanged_.wait(guard, [this] { return stopped_ || full_.size() < MaxBatches; });
        if (stopped_) {
            filling_->Clear();
            return false;
        }
        full_.push_back(std::move(filling_));
        if (!spare_.empty()) {
            next = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    queueChanged_.notify_all();
    filling_ = next ? std::move(next) : std::make_unique<TBatch>();
    return true;
}

void TReplay::Finish() {
    if (!started_ || finished_) return;
    finished_ = true;
    HandOver(true);
    thread_->WaitFor();
    {
        std::lock_guard<std::mutex> guard(serviceLock_);
        serviceStop_ = true;
    }
    serviceChanged_.notify_all();
    service_.join();
    DrainOutput();
}

TReplay::TCounts TReplay::Counts() const {
    return {replayed_.load(), outOfRange_.load(), records_.load(), calcErrors_.load(),
            inputErrors_.load()};
}

// ---- the calculation thread ----------------------------------------------------------------

void TReplay::PublishResult(const std::string&, const std::string& text) {
    ++records_;
    record_(text);
}

void TReplay::ThreadEnded(TWorkThread&) {}

bool TReplay::RequestDrain(std::chrono::milliseconds) {
    DrainOutput();
    return true;
}

bool TReplay::QuerySetup(const std::string& key, std::string& value) {
    const std::string_view answer = SetupParamAnswer(options_.Setup, key, queryKey_);
    if (answer == SetupNoValue) return false;
    value = answer;
    return true;
}

bool TReplay::WaitFor(TWakeEvent&, std::chrono::milliseconds) {
    // The thread waits when it has taken every item: the next lines go into the input buffer
    // now, as many as it holds. Returning false lets the thread check whether its idle step is
    // due, after a move of the clock.
    if (thread_->StopRequested()) return true;
    DrainOutput();
    if (!options_.KeepGoing && (calcErrors_ > 0 || inputErrors_ > 0)) return StopHere();
    int moved = 0;
    for (;;) {
        if (!current_ && !NextBatch()) return StopHere();
        if (line_ == current_->Lines.size()) {
            if (!current_->Last) {
                current_->Clear();
                {
                    std::lock_guard<std::mutex> guard(queueLock_);
                    spare_.push_back(std::move(current_));
                }
                line_ = item_ = note_ = 0;
                continue;
            }
            if (moved > 0) return true;
            if (!endMoved_) {
                // As though the schedule delay had passed after the last line, and an idle
                // step with it.
                endMoved_ = true;
                now_ = now_.load() + options_.Config.ScheduleDelay + 60.0 / 86400.0;
                return false;
            }
            return StopHere();
        }
        const TBatch::TLine& line = current_->Lines[line_];
        if (!notesShown_) {
            if (note_ < line.NoteEnd) {
                // What was said of a line comes before what its calculations say.
                if (moved > 0) return true;
                DrainOutput();
                {
                    std::lock_guard<std::mutex> guard(statusLock_);
                    for (; note_ < line.NoteEnd; ++note_) {
                        TOutputLine said{current_->Notes[note_], okError, 0};
                        said.Length = said.Text.size();
                        if (said.Text.size() > StatusLineLimit) said.Text.resize(StatusLineLimit);
                        status_(said);
                    }
                }
                ++inputErrors_;
                if (!options_.KeepGoing) return StopHere();
            }
            notesShown_ = true;
        }
        if (item_ < line.ItemEnd) {
            if (!anyTag_ || line.Tag > latest_) {
                if (moved > 0) return true;
                anyTag_ = true;
                latest_ = line.Tag;
                now_ = DateTimeFromTag(latest_);
                return false;
            }
            for (; item_ < line.ItemEnd && moved < InputBufferSlots; ++item_, ++moved)
                input_.Add(std::move(current_->Items[item_]));
            if (item_ < line.ItemEnd) return true;  // a long line goes on at the next wait
        }
        ++line_;
        notesShown_ = false;
        // Lines of the same time go together, unless something must be said before one.
        if (moved > 0 &&
            (line_ == current_->Lines.size() || current_->Lines[line_].NoteEnd > note_ ||
             current_->Lines[line_].Tag > latest_))
            return true;
    }
}

bool TReplay::NextBatch() {
    std::unique_lock<std::mutex> guard(queueLock_);
    queueChanged_.wait(guard, [this] { return stopped_ || !full_.empty(); });
    if (stopped_) return false;
    current_ = std::move(full_.front());
    full_.pop_front();
    guard.unlock();
    queueChanged_.notify_all();
    line_ = item_ = note_ = 0;
    notesShown_ = false;
    return true;
}

bool TReplay::StopHere() {
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        stopped_ = true;
    }
    queueChanged_.notify_all();
    thread_->RequestStop();
    return true;
}

// ---- status lines --------------------------------------------------------------------------

bool TReplay::DrainOutput() {
    if (!output_.HasItems()) return false;
    std::lock_guard<std::mutex> guard(statusLock_);
    TOutputLine line;
    bool any = false;
    while (output_.Get(line)) {
        if (line.Kind == okError) ++calcErrors_;
        status_(line);
        any = true;
    }
    return any;
}

void TReplay::Serve() {
    std::unique_lock<std::mutex> guard(serviceLock_);
    while (!serviceStop_) {
        guard.unlock();
        const bool any = DrainOutput();
        if (progress_) {
            std::lock_guard<std::mutex> status(statusLock_);
            const auto now = std::chrono::steady_clock::now();
            if (now - lastProgress_ >= ProgressInterval) {
                lastProgress_ = now;
                progress_();
            }
        }
        guard.lock();
        if (any) {
            serviceChanged_.wait_for(guard, BusyRest);
        } else {
            serviceChanged_.wait_for(guard, IdleRest);
        }
    }
}

}  // namespace ov
