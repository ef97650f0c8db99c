// The calculation modes of the calculation thread: what each input item sets off, how one
// group is calculated and published, the deferred calculations and the rounding of time tags.
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "calc/CalcErrors.h"
#include "core/LogDetail.h"
#include "suite/SetupParams.h"
#include "suite/SetupServer.h"
#include "thread/WorkThread.h"
#include "util/FloatText.h"
#include "util/Format.h"
#include "util/Scan.h"
#include "util/TextCompare.h"

namespace ov {

namespace {

// The live data store item every result record is published in.
constexpr const char* ResultItem = "$TIMETAG";

std::string ComputingLine(const TInputItem& item, const std::string* sensor,
                          const TCalcGroupItem& group) {
    std::string line = "Begin Computing - StationID: " + item.StationID;
    if (sensor != nullptr) line += " SensorName: " + *sensor;
    line +=
        " TimeTag: " + TimeTagText(item.TimeTag) + " Poll Group: " + std::to_string(group.CGIndex);
    return line;
}

}  // namespace

std::string TWorkThread::ResultRecord(TTimeTag tag, std::string_view station,
                                      std::string_view sensor, double value,
                                      const TFormatSettings& fs) {
    return ResultRecord(TimeTagText(tag), station, sensor, value, fs);
}

std::string TWorkThread::ResultRecord(std::string_view tagText, std::string_view station,
                                      std::string_view sensor, double value,
                                      const TFormatSettings& fs) {
    std::string record(tagText);
    record += ',';
    record += station;
    record += '.';
    record += sensor;
    record += ',';
    record += FloatToText(value, fs);
    return record;
}

void TWorkThread::BuildIndexes() {
    for (std::int32_t i = 0; i < groups_->Count(); ++i) {
        TCalcGroupItem* group = groups_->Items(i);
        if (!group->Enabled) continue;
        if (group->MultiStations) {
            const std::int32_t trigger = group->MultiVariablesTrigger;
            const auto count = static_cast<std::int32_t>(group->MultiVariables.size());
            if (trigger != -1 && (trigger < 0 || trigger >= count)) {
                // A hand-edited trigger position outside the list would end the whole run;
                // only this group is left out.
                Log("Error 1600: List index out of bounds (" + std::to_string(trigger) +
                        ") - Poll Group: " + std::to_string(group->CGIndex),
                    okError);
                continue;
            }
            std::string station, sensor;
            if (trigger >= 0) {
                ScanTextFromStart(
                    ValueOfEntry(group->MultiVariables[static_cast<std::size_t>(trigger)]), "%s.%P",
                    {&station, &sensor});
            }
            multiIndex_->AddGroup(station, sensor, group);
            continue;
        }
        const std::string triggerSensor = group->TriggerSensor();
        const bool hasVariables = !group->Variables.empty();
        bool outputIsSimilar = false;
        for (const std::string& similar : group->SimilarStations)
            if (SameText(similar, group->OutputStation)) outputIsSimilar = true;
        if (!outputIsSimilar) {
            singleIndex_->AddGroup(group->OutputStation, group);
            if (hasVariables) goesIndex_->AddGroup(group->OutputStation, triggerSensor, group);
        }
        for (const std::string& similar : group->SimilarStations) {
            singleIndex_->AddGroup(similar, group);
            if (hasVariables) goesIndex_->AddGroup(similar, triggerSensor, group);
        }
    }
}

void TWorkThread::DoProcess() {
    if (LogLevel() > ltProcess) Log("Begin DoProcess", okDetail);
    try {
        // The thread is the buffer's only consumer: the head is taken at once.
        if (std::unique_ptr<TInputItem> item; input_.Get(item)) {
            if (auto* sensor = dynamic_cast<TInputSensorItem*>(item.get())) {
                double value = 0;
                if (TryTextToFloat(sensor->ValueText, value, usFormat_.DecimalSeparator)) {
                    // The null value read as a text is a missing value: not cached, but it
                    // still sets off the multiple-station groups.
                    const TGeneralSetup& setup = GeneralSetup();
                    if (!(setup.UseNullValue &&
                          sensor->ValueText == std::to_string(setup.NullValue)))
                        valueCache_->Add(sensor->StationID, sensor->SensorName, value,
                                         sensor->TimeTag);
                    DoMultiCalculation(*sensor);
                    if (sensor->Kind == KindGOESRandom || sensor->Kind == KindGOESTimed)
                        DoGOESCalculation(*sensor);
                } else if (LogLevel() > ltNotANumber) {
                    Log("Error 1601: Value is not a number - " + sensor->ValueText, okDetail);
                }
            } else if (auto* end = dynamic_cast<TInputStationEndItem*>(item.get())) {
                if (end->Kind == KindCurrent) {
                    DoCurrentCalculation(*end);
                } else if (end->Kind == KindTimeTagged || end->Kind == KindUnknown) {
                    const TDateTime due = clock_.Now() + ScheduleDelay();
                    if (LogLevel() > ltProcess)
                        Log("Item scheduled @ " + DateTimeText(due, localFormat_) + " - " +
                                end->StationID + ", TimeTag " + TimeTagText(end->TimeTag),
                            okDetail);
                    item.release();
                    scheduleQueue_->Add(std::make_unique<TScheduleQueueItem>(
                        std::unique_ptr<TInputStationEndItem>(end), due));
                    if (LogLevel() > ltIdle)
                        Log("Scheduled Item Count: " + std::to_string(scheduleQueue_->Count()),
                            okDetail);
                }
            }
            // Begin items, and end items of the satellite kinds, are simply released.
        }
    } catch (...) {
        if (LogLevel() > ltProcess) Log("End DoProcess", okDetail);
        throw;
    }
    if (LogLevel() > ltProcess) Log("End DoProcess", okDetail);
}

void TWorkThread::CalculateGroup(const TInputItem& item, const TCalcGroupItem& group,
                                 std::string_view outputStation, const std::string* sensor) {
    try {
        if (LogLevel() > ltComputing) Log(ComputingLine(item, sensor, group), okDetail);
        const double result = calculator_->Calculate(item, group, *valueCache_);
        if (LogLevel() > ltComputing)
            Log("End Computing - Func: " + group.FuncName +
                    " Result: " + FloatToText(result, localFormat_),
                okDetail);
        TTimeTag t = item.TimeTag;
        // The rounding setting is always the record's station's.
        RoundOffTime(item.StationID, group.OutputSensor, t);
        // Records of one time tag come together: its text is made once for them.
        if (t != recordTag_ || recordTagText_.empty()) {
            recordTag_ = t;
            recordTagText_ = TimeTagText(t);
        }
        host_.PublishResult(ResultItem, ResultRecord(recordTagText_, outputStation,
                                                     group.OutputSensor, result, localFormat_));
    } catch (const ECalcExException& e) {
        LogComputationError(item, group, e.what());
    } catch (const ESetupUnavailable& e) {
        // The rounding's setting could not be asked: nothing is published without it.
        LogComputationError(item, group, e.what());
    }
}

void TWorkThread::LogComputationError(const TInputItem& item, const TCalcGroupItem& group,
                                      const std::string& message) {
    Log(FormatText(
            "Error 1602: Error in computation - %p - StationID: %p TimeTag: %p Poll "
            "Group: %p",
            {message, item.StationID, TimeTagText(item.TimeTag), std::to_string(group.CGIndex)}),
        okError);
}

void TWorkThread::DoCurrentCalculation(const TInputItem& item) {
    if (LogLevel() > ltCalcMode) Log("Begin DoCurrentCalculation", okDetail);
    const TGroupRefs* groups = nullptr;
    if (singleIndex_->Find(item.StationID, groups)) {
        // A group applied to a similar station writes to that station.
        for (const TCalcGroupItem* group : *groups)
            CalculateGroup(item, *group, item.StationID, nullptr);
    } else if (LogLevel() > ltIdle) {
        Log("  Poll group for StationID not found: " + item.StationID, okDetail);
    }
    if (LogLevel() > ltCalcMode) Log("End DoCurrentCalculation", okDetail);
}

void TWorkThread::DoGOESCalculation(const TInputSensorItem& item) {
    if (LogLevel() > ltCalcMode) Log("Begin DoGOESCalculation", okDetail);
    const TGroupRefs* groups = nullptr;
    if (goesIndex_->Find(item.StationID, item.SensorName, groups)) {
        for (const TCalcGroupItem* group : *groups)
            CalculateGroup(item, *group, group->OutputStation, &item.SensorName);
    }
    if (LogLevel() > ltCalcMode) Log("End DoGOESCalculation", okDetail);
}

void TWorkThread::DoMultiCalculation(const TInputSensorItem& item) {
    if (LogLevel() > ltCalcMode) Log("Begin DoMultiCalculation", okDetail);
    const TGroupRefs* groups = nullptr;
    if (multiIndex_->Find(item.StationID, item.SensorName, groups)) {
        for (const TCalcGroupItem* group : *groups)
            CalculateGroup(item, *group, group->OutputStation, &item.SensorName);
    }
    if (LogLevel() > ltCalcMode) Log("End DoMultiCalculation", okDetail);
}

void TWorkThread::DoDelayedCalculation() {
    auto countLine = [this](const char* text) {
        if (LogLevel() > ltIdle) Log(text + std::to_string(scheduleQueue_->Count()), okDetail);
    };
    countLine("Begin DoDelayedCalculation - Scheduled Item Count: ");
    try {
        const TDateTime now = clock_.Now();
        std::int32_t i = 0;
        // The queue is ordered by time tag and station, not by due time: every pass looks at
        // every entry.
        while (i < scheduleQueue_->Count() && !StopRequested()) {
            TScheduleQueueItem* entry = scheduleQueue_->Items(i);
            if (entry->DueTime > now) {
                ++i;
                continue;
            }
            if (LogLevel() > ltIdle)
                Log("  StationID: " + entry->Input->StationID +
                        " TimeTag: " + TimeTagText(entry->Input->TimeTag),
                    okDetail);
            try {
                DoCurrentCalculation(*entry->Input);
            } catch (const std::exception& e) {
                Log(std::string("Error 1600: ") + e.what(), okError);
            }
            // Calculated once, successful or not.
            scheduleQueue_->DeleteAt(i);
        }
    } catch (const std::exception& e) {
        Log(std::string("Error 1600: ") + e.what(), okError);
    }
    countLine("End DoDelayedCalculation - Scheduled Item Count: ");
}

void TWorkThread::RoundOffTime(const std::string& stationID, const std::string& sensorName,
                               TTimeTag& timeTag) {
    std::string text;
    std::int64_t t = timeTag;
    try {
        // In a buffer kept for the run: one key is made for every calculation.
        SetupKey(roundKey_, "Sensor", stationID, sensorName, "RoundOffTime");
        if (!host_.QuerySetup(roundKey_, text)) return;  // no setting: "00:00:00"
        if (text == "00:00:00") return;
        std::int32_t seconds = 0;
        if (!ScanTextFromStart(text, "%t", {&seconds})) return;
        const std::int64_t a = seconds < 0 ? -static_cast<std::int64_t>(seconds) : seconds;
        if (a == 0) return;
        // The nearest multiple of a seconds, a value half-way rounding up.
        t += a / 2;
        t -= t % a;
    } catch (const ESetupUnavailable&) {
        throw;
    } catch (const std::exception&) {
        return;  // an unusable setting leaves the time tag as it is
    }
    // A rounded time no time tag can hold: the result is not published at another time than
    // the one asked for, unrounded or wrapped around.
    if (t > INT32_MAX)
        throw ECalcExException("The time tag rounded to " + text + " passes the last time tag " +
                               TimeTagText(INT32_MAX));
    if (t < INT32_MIN)
        throw ECalcExException("The time tag rounded to " + text +
                               " comes before the first time tag " + TimeTagText(INT32_MIN));
    timeTag = static_cast<TTimeTag>(t);
}

}  // namespace ov
