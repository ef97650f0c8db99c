// Fuzz target: an archive replayed (TReplay) on a fuzzed text, one data line a line: a current,
// a time-tagged, a satellite and a multiple-station group, answers for the attributes and the
// rounding. Every record handed on is counted, no line is replayed that was not fed, and the
// replay ends.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "busnames/BusNames.h"
#include "core/OutputBuffer.h"
#include "model/CalcGroups.h"
#include "thread/Replay.h"

namespace {

std::unique_ptr<ov::TCalcGroupItem> Group(int index, const char* equation, const char* station,
                                          const char* sensor) {
    auto g = std::make_unique<ov::TCalcGroupItem>();
    g->CGIndex = index;
    g->FuncName = equation;
    g->OutputStation = station;
    g->OutputSensor = sensor;
    return g;
}

const ov::TCalcGroups& Groups() {
    static const auto* groups = [] {
        auto* list = new ov::TCalcGroups;
        auto current = Group(1, "H * 2 + SHIFT(H)", "ST1", "Q");
        current->Variables = {"H=HG", "T=TA"};
        current->SimilarStations = {"ST2", "MET"};
        list->Add(std::move(current));
        auto ratio = Group(2, "ROUND(H / T * 100) / 100", "SAT", "R");
        ratio->Variables = {"H=HG", "T=TA"};
        list->Add(std::move(ratio));
        auto multi = Group(3, "(A + B) / 2", "BASIN", "M");
        multi->MultiStations = true;
        multi->MultiVariables = {"A=ST1.HG", "B=SAT.TA"};
        multi->MultiVariablesTrigger = 1;
        list->Add(std::move(multi));
        return list;
    }();
    return *groups;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ov::TReplayOptions options;
    options.SourceAppID = std::string(ov::IOVRtuDataCOMAppID);
    options.Config.LogDetail = 9;  // every status line the thread has
    options.Config.ScheduleDelay = 30.0 / 86400.0;
    options.Setup.General.UseNullValue = true;
    options.Setup.General.NullValue = -9999;
    options.Setup.Params["sensor:st1:hg,shift"] = "0.25";
    options.Setup.Params["sensor:st1:q,roundofftime"] = "00:15:00";
    options.Setup.Params["sensor:sat:r,roundofftime"] = "-00:00:07";
    std::atomic<std::int64_t> records{0};
    std::int64_t lines = 0;
    ov::TReplay::TCounts counts;
    {
        ov::TReplay replay(
            Groups(), options, [&](const std::string&) { ++records; },
            [](const ov::TOutputLine& line) {
                if (line.Text.size() > ov::StatusLineLimit || line.Length < line.Text.size())
                    std::abort();
            });
        replay.Start();
        for (std::string_view line : ov::fuzz::Lines(ov::fuzz::AsText(data, size))) {
            ++lines;
            if (!replay.Feed(line, "fuzz", lines)) std::abort();  // it keeps going
        }
        replay.Finish();
        counts = replay.Counts();
    }
    if (counts.Records != records || counts.Replayed + counts.OutOfRange > lines) std::abort();
    return 0;
}
