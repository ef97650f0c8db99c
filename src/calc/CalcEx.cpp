// TCalcEx: equation evaluation in a calculation's context, variable and attribute lookups.
#include "calc/CalcEx.h"

#include <cmath>

#include "calc/RatingTables.h"
#include "core/InputItems.h"
#include "core/LogDetail.h"
#include "core/OutputBuffer.h"
#include "core/ValueCache.h"
#include "model/CalcGroups.h"
#include "suite/SetupParams.h"
#include "suite/SetupQuery.h"
#include "util/FloatText.h"
#include "util/Format.h"

namespace ov {

namespace {

// STATION.SENSOR: the station up to the first ".", the sensor up to the next "," or line
// break; a text without "." is all station. (The scan format "%s.%P", read directly: this
// runs for every variable of every calculation.)
void SplitStationSensor(std::string_view text, std::string_view& station,
                        std::string_view& sensor) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos) {
        station = text;
        sensor = std::string_view();
        return;
    }
    station = text.substr(0, dot);
    std::size_t end = dot + 1;
    while (end < text.size()) {
        const char c = text[end];
        if (c == ',' || c == '\n' || c == '\r' || c == '\0') break;
        ++end;
    }
    sensor = text.substr(dot + 1, end - dot - 1);
}

enum class TBinding { Found, Missing };

// Finds the station and sensor a variable stands for in the group's bindings. The views
// point into the group's bindings and the input item.
TBinding ResolveVariable(std::string_view name, const TInputItem& item, const TCalcGroupItem& group,
                         bool splitDottedSensor, std::string_view& station,
                         std::string_view& sensor) {
    if (!group.MultiStations) {
        const int i = IndexOfName(group.Variables, name);
        if (i < 0) return TBinding::Missing;
        station = item.StationID;
        // The entry is name "=" sensor: its value starts right after the name.
        sensor =
            std::string_view(group.Variables[static_cast<std::size_t>(i)]).substr(name.size() + 1);
        if (splitDottedSensor && sensor.find('.') != std::string_view::npos) {
            const std::string_view dotted = sensor;
            SplitStationSensor(dotted, station, sensor);
        }
        return TBinding::Found;
    }
    const int i = IndexOfName(group.MultiVariables, name);
    if (i < 0) return TBinding::Missing;
    SplitStationSensor(
        std::string_view(group.MultiVariables[static_cast<std::size_t>(i)]).substr(name.size() + 1),
        station, sensor);
    return TBinding::Found;
}

class TContextHooks : public IEquationHooks {
  public:
    TContextHooks(TCalcEx& calc, const TInputItem& item, const TCalcGroupItem& group,
                  const TStationSensorDataCache& cache,
                  const std::function<double(const std::string&, double)>& table)
        : calc_(calc), item_(item), group_(group), cache_(cache), table_(table) {}

    double Variable(std::string_view name) override {
        double value = 0;
        calc_.LookupVariable(std::string(name), item_, value, cache_, group_);
        return value;
    }
    bool LastValue(std::string_view name, double x, double& value) override {
        return calc_.LookupLastValue(std::string(name), item_, value, cache_, group_, x);
    }
    double Attribute(TAttributeKind kind, std::string_view name, double x) override {
        return calc_.LookupAttribute(kind, std::string(name), cache_, group_, item_, x);
    }
    double Table(std::string_view tableName, double x) override {
        return table_ ? table_(std::string(tableName), x) : x;
    }

  private:
    TCalcEx& calc_;
    const TInputItem& item_;
    const TCalcGroupItem& group_;
    const TStationSensorDataCache& cache_;
    const std::function<double(const std::string&, double)>& table_;
};

}  // namespace

bool TCalculator::GetVariable(const std::string&, double& value) {
    value = 0;
    return false;
}

double TCalculator::Evaluate(const std::string&, double x) {
    return x;
}

TCalcEx::TCalcEx() : TCalcEx(LocaleFormatSettings()) {}

TCalcEx::TCalcEx(const TFormatSettings& settings)
    : settings_(settings),
      tableLookup_([](const std::string& name, double x) { return rating::TableValue(name, x); }),
      nullSource_([] {
          const TGeneralSetup& g = GeneralSetup();
          return TNullValueSettings{g.UseNullValue, g.NullOnMissing, g.NullValue};
      }) {}

bool TCalcEx::GetVariable(const std::string&, double&) {
    throw ECalcExException("Lookup is not supported.");
}

double TCalcEx::Evaluate(const std::string&, double) {
    throw ECalcExException("Expression is not supported.");
}

void TCalcEx::LogDetail(const std::string& text) {
    if (output_ != nullptr) output_->Add(text, okDetail);
}

bool TCalcEx::LookupVariable(const std::string& name, const TInputItem& inputItem, double& value,
                             const TStationSensorDataCache& cache, const TCalcGroupItem& group) {
    std::string_view station, sensor;
    if (ResolveVariable(name, inputItem, group, false, station, sensor) == TBinding::Missing)
        throw ECalcExException("Error 1603: Variable not found in poll group " +
                               std::to_string(group.CGIndex));
    TTimeTag t = inputItem.TimeTag;
    if (!cache.Lookup(station, sensor, t, value)) {
        throw FCalcExNullException(FormatText(
            "Error 1604: Variable not found or never updated - PollGroup: %p  StationID: %p  "
            "SensorName: %p",
            {std::to_string(group.CGIndex), station, sensor}));
    }
    // A single-station group wants the record's own value; a multiple-station group takes
    // the latest earlier one silently.
    if (!group.MultiStations && t != inputItem.TimeTag) {
        throw FCalcExNullException(FormatText(
            "Error 1605: Variable not updated - PollGroup: %p  StationID: %p  SensorName: %p  "
            "TimeTag: %p",
            {std::to_string(group.CGIndex), station, sensor, TimeTagText(t)}));
    }
    if (logLevel_ > ltLookup)
        LogDetail("Lookup - Variable: " + name + " = " + FloatToText(value, settings_) + " @ " +
                  TimeTagText(t));
    return true;
}

bool TCalcEx::LookupLastValue(const std::string& name, const TInputItem& inputItem, double& value,
                              const TStationSensorDataCache& cache, const TCalcGroupItem& group,
                              double /*x*/) {
    const std::string number = std::to_string(group.CGIndex);
    std::string_view station, sensor;
    if (ResolveVariable(name, inputItem, group, false, station, sensor) == TBinding::Missing)
        throw ECalcExException("Variable not found in poll group " + number);
    TTimeTag t = inputItem.TimeTag;
    if (!cache.Lookup(station, sensor, t, value)) {
        throw ECalcExException("Variable not found or never updated - PollGroup: " + number +
                               " StaitonID: " + std::string(station) +
                               " SensorName: " + std::string(sensor));
    }
    if (!group.MultiStations && t != inputItem.TimeTag) {
        throw ECalcExException(
            "Variable not updated - PollGroup: " + number + " StaitonID: " + std::string(station) +
            " SensorName: " + std::string(sensor) + " TimeTag: " + TimeTagText(t));
    }
    if (logLevel_ > ltLookup)
        LogDetail("Lookup - Variable: " + name + " = " + FloatToText(value, settings_) + " @ " +
                  TimeTagText(t));
    return true;
}

double TCalcEx::LookupAttribute(TAttributeKind kind, const std::string& name,
                                const TStationSensorDataCache& /*cache*/,
                                const TCalcGroupItem& group, const TInputItem& inputItem,
                                double x) {
    std::string_view station, sensor;
    if (ResolveVariable(name, inputItem, group, true, station, sensor) == TBinding::Missing)
        throw ECalcExException("Error 1603: Variable not found in poll group " +
                               std::to_string(group.CGIndex));

    auto index = [x]() -> std::int32_t {
        const double n = std::floor(x);
        if (!(n >= -2147483648.0 && n <= 2147483647.0)) throw EInvalidOp();
        return static_cast<std::int32_t>(n);
    };
    std::string key;
    switch (kind) {
        case TAttributeKind::akShift:
            key = FormatText("SENSOR:%p:%p,SHIFT", {station, sensor});
            break;
        case TAttributeKind::akOffset:
            key = FormatText("SENSOR:%p:%p,OFFSET", {station, sensor});
            break;
        case TAttributeKind::akElevation:
            key = FormatText("STATION:%p,ELEVATION", {station});
            break;
        case TAttributeKind::akStationCoefficient:
            key = FormatText("STATION:%p,COEFFICIENT%i", {station, index()});
            break;
        case TAttributeKind::akSensorCoefficient:
            key = FormatText("SENSOR:%p:%p,COEFFICIENT%i", {station, sensor, index()});
            break;
        case TAttributeKind::akRatingTable:
            key = FormatText("SENSOR:%p:%p,RATINGTABLE", {station, sensor});
            break;
        case TAttributeKind::akStationGpNumber:
            key = FormatText("STATION:%p,GPNUMBER%i", {station, index()});
            break;
        case TAttributeKind::akSensorGpNumber:
            key = FormatText("SENSOR:%p:%p,GPNUMBER%i", {station, sensor, index()});
            break;
    }

    double value = 0;
    std::string answer;
    const bool answered = setup_ != nullptr && setup_->QuerySetup(key, answer);
    if (answered) {
        if (kind == TAttributeKind::akRatingTable) {
            const std::string table = TableNameOfFile(answer);
            value = tableLookup_ ? tableLookup_(table, x) : x;
        } else if (!TryTextToFloat(answer, value, LocaleFormatSettings().DecimalSeparator)) {
            // Setup answers are numbers in the user's locale, not in the calculator's.
            throw EConvertError::NotAFloat(answer);
        }
    }
    if (logLevel_ > ltLookup)
        LogDetail("Lookup - DB Attributes" + std::to_string(static_cast<int>(kind)) + " : " + name +
                  " = " + FloatToText(value, settings_));
    return value;
}

double TCalcEx::Calculate(const TInputItem& inputItem, const TCalcGroupItem& group,
                          const TStationSensorDataCache& cache) {
    TContextHooks hooks(*this, inputItem, group, cache, tableLookup_);
    try {
        return EvaluateEquation(group.FuncName, hooks);
    } catch (const FCalcExNullException&) {
        const TNullValueSettings null = nullSource_ ? nullSource_() : TNullValueSettings{};
        if (null.UseNullValue && null.NullOnMissing) return static_cast<double>(null.NullValue);
        throw;
    } catch (const ECalcExException&) {
        throw;
    } catch (const Exception& e) {
        // Arithmetic faults, conversion errors, collection errors: the same text as a
        // calculation error.
        throw ECalcExException(e.what());
    }
}

void TCalcEx::GetVariables(const std::string& equation, TStringList& names) {
    CheckEquation(equation, names);
}

std::string TableNameOfFile(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

}  // namespace ov
