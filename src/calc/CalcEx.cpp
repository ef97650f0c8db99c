// TCalcEx: equation evaluation in a calculation's context, variable and attribute lookups,
// the compiled equations and what is remembered of each group.
#include "calc/CalcEx.h"

#include <cmath>
#include <cstring>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include "calc/CompiledEquation.h"
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

// Byte-wise equality of two texts, inline for the short texts of equations and bindings that
// every Calculate compares with what it remembers.
bool SameBytes(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const char* p = a.data();
    const char* q = b.data();
    std::size_t n = a.size();
    for (; n >= 8; n -= 8, p += 8, q += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, p, 8);
        std::memcpy(&y, q, 8);
        if (x != y) return false;
    }
    for (; n > 0; --n)
        if (*p++ != *q++) return false;
    return true;
}

bool SameList(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!SameBytes(a[i], b[i])) return false;
    return true;
}

// Values by object address, found at every Calculate: open addressing on a power-of-two table
// instead of a general hash table's division.
template <class V>
class TAddressTable {
  public:
    V* Find(const void* key) {
        if (entries_.empty()) return nullptr;
        for (std::size_t i = Home(key);; i = (i + 1) & (entries_.size() - 1)) {
            if (entries_[i].Key == key) return &entries_[i].Value;
            if (entries_[i].Key == nullptr) return nullptr;
        }
    }
    // The value of key, made empty if there was none.
    V& operator[](const void* key) {
        if (V* found = Find(key)) return *found;
        if ((size_ + 1) * 2 > entries_.size()) Grow();
        std::size_t i = Home(key);
        while (entries_[i].Key != nullptr) i = (i + 1) & (entries_.size() - 1);
        entries_[i].Key = key;
        ++size_;
        return entries_[i].Value;
    }
    std::size_t Size() const { return size_; }
    void Clear() {
        entries_.clear();
        size_ = 0;
    }

  private:
    struct TEntry {
        const void* Key = nullptr;
        V Value{};
    };
    std::size_t Home(const void* key) const {
        const auto a = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(key));
        return static_cast<std::size_t>((a >> 4) * 0x9E3779B97F4A7C15ull >> 32) &
               (entries_.size() - 1);
    }
    void Grow() {
        std::vector<TEntry> old = std::move(entries_);
        entries_ = std::vector<TEntry>(old.empty() ? 16 : old.size() * 2);
        for (TEntry& e : old) {
            if (e.Key == nullptr) continue;
            std::size_t i = Home(e.Key);
            while (entries_[i].Key != nullptr) i = (i + 1) & (entries_.size() - 1);
            entries_[i] = std::move(e);
        }
    }

    std::vector<TEntry> entries_;
    std::size_t size_ = 0;
};

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

}  // namespace

bool TCalculator::GetVariable(const std::string&, double& value) {
    value = 0;
    return false;
}

double TCalculator::Evaluate(const std::string&, double x) {
    return x;
}

// What a variable name of a group's equation found: its binding and, once looked up, where
// the value cache keeps it.
struct TCalcEx::TSlotPlan {
    enum class TState : std::uint8_t { Unknown, Missing, Found };
    TState State = TState::Unknown;
    std::string Station;  // multiple-station groups: the binding's station
    std::string Sensor;
    std::string Key;  // the cache's key for the station.sensor; empty until made
    std::int32_t Index = -1;
    std::uint64_t Serial = 0;    // the Serial of the cache item at Index when last found; 0: none
    std::int32_t TagIndex = -1;  // where the item held the record's time tag last time
};

// One group object's equation and variables, valid while the group still has the equation
// text, the kind and the binding list they were made from.
struct TCalcEx::TGroupPlan {
    std::string FuncName;
    bool Multi = false;
    std::vector<std::string> Bindings;
    const TCompiledEquation* Equation = nullptr;
    std::string Station;  // single-station groups: the record station the keys were made for
    std::vector<TSlotPlan> Slots;
};

struct TCalcEx::TMemory {
    std::unordered_map<std::string, std::unique_ptr<TCompiledEquation>> Compiled;
    TAddressTable<std::unique_ptr<TGroupPlan>> Plans;
    // The group of the last call with fixed groups, and its plan.
    const TCalcGroupItem* LastGroup = nullptr;
    TGroupPlan* LastPlan = nullptr;
    // Whether LookupVariable is this class's own; an override gets every variable by name.
    bool Checked = false;
    bool OwnLookup = false;
};

// The hooks of one Calculate.
class TCalcEx::TContext final : public IEquationHooks {
  public:
    TContext(TCalcEx& calc, TGroupPlan* plan, const TInputItem& item, const TCalcGroupItem& group,
             const TStationSensorDataCache& cache)
        : calc_(calc),
          slots_(plan != nullptr ? plan->Slots.data() : nullptr),
          quiet_(calc.logLevel_ <= ltLookup),
          item_(item),
          group_(group),
          cache_(cache) {}

    double Variable(std::string_view name) override {
        double value = 0;
        calc_.LookupVariable(std::string(name), item_, value, cache_, group_);
        return value;
    }
    double SlotVariable(std::uint32_t slot, std::string_view name) override {
        if (slots_ == nullptr) return Variable(name);
        TSlotPlan& p = slots_[slot];
        // The common case inline: the item found last time is still where it was and holds a
        // value for the record's time tag at the same position, and no log line is due.
        if (quiet_) {
            const TStationSensorDataItem* cached = cache_.ItemAt(p.Index);
            if (cached != nullptr && cached->Serial == p.Serial &&
                static_cast<std::uint32_t>(p.TagIndex) <
                    static_cast<std::uint32_t>(cached->TimeTags.Count()) &&
                cached->TimeTags.GetUnchecked(p.TagIndex) == item_.TimeTag)
                return cached->Values.GetUnchecked(p.TagIndex);
        }
        return calc_.PlannedVariable(p, name, item_, cache_, group_);
    }
    bool LastValue(std::string_view name, double x, double& value) override {
        return calc_.LookupLastValue(std::string(name), item_, value, cache_, group_, x);
    }
    double Attribute(TAttributeKind kind, std::string_view name, double x) override {
        return calc_.LookupAttribute(kind, std::string(name), cache_, group_, item_, x);
    }
    double Table(std::string_view tableName, double x) override {
        return calc_.TableValue(std::string(tableName), x);
    }

  private:
    TCalcEx& calc_;
    TSlotPlan* slots_;  // null: every variable by name (LookupVariable is overridden)
    const bool quiet_;  // no look-up log lines
    const TInputItem& item_;
    const TCalcGroupItem& group_;
    const TStationSensorDataCache& cache_;
};

TCalcEx::TCalcEx() : TCalcEx(LocaleFormatSettings()) {}

TCalcEx::TCalcEx(const TFormatSettings& settings)
    : settings_(settings),
      tableLookup_([](const std::string& name, double x) { return rating::TableValue(name, x); }),
      nullSource_([] {
          const TGeneralSetup& g = GeneralSetup();
          return TNullValueSettings{g.UseNullValue, g.NullOnMissing, g.NullValue};
      }),
      memory_(std::make_unique<TMemory>()) {}

TCalcEx::~TCalcEx() = default;

bool TCalcEx::GetVariable(const std::string&, double&) {
    throw ECalcExException("Lookup is not supported.");
}

double TCalcEx::Evaluate(const std::string&, double) {
    throw ECalcExException("Expression is not supported.");
}

void TCalcEx::LogDetail(const std::string& text) {
    if (output_ != nullptr) output_->Add(text, okDetail);
}

namespace {

[[noreturn]] void ThrowNoBinding(const TCalcGroupItem& group) {
    throw ECalcExException("Error 1603: Variable not found in poll group " +
                           std::to_string(group.CGIndex));
}

}  // namespace

bool TCalcEx::LookupVariable(const std::string& name, const TInputItem& inputItem, double& value,
                             const TStationSensorDataCache& cache, const TCalcGroupItem& group) {
    std::string_view station, sensor;
    if (ResolveVariable(name, inputItem, group, false, station, sensor) == TBinding::Missing)
        ThrowNoBinding(group);
    FinishVariable(name, station, sensor, cache.FindItem(station, sensor), inputItem, value, group);
    return true;
}

void TCalcEx::FinishVariable(std::string_view name, std::string_view station,
                             std::string_view sensor, const TStationSensorDataItem* cached,
                             const TInputItem& inputItem, double& value,
                             const TCalcGroupItem& group, std::int32_t* position) {
    TTimeTag t = inputItem.TimeTag;
    if (cached == nullptr || !TStationSensorDataCache::LookupIn(*cached, t, value, position)) {
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
        LogDetail("Lookup - Variable: " + std::string(name) + " = " +
                  FloatToText(value, settings_) + " @ " + TimeTagText(t));
}

double TCalcEx::PlannedVariable(TSlotPlan& slot, std::string_view name, const TInputItem& inputItem,
                                const TStationSensorDataCache& cache, const TCalcGroupItem& group) {
    using TState = TSlotPlan::TState;
    if (slot.State == TState::Unknown) {
        std::string_view station, sensor;
        if (ResolveVariable(name, inputItem, group, false, station, sensor) == TBinding::Missing) {
            slot.State = TState::Missing;
        } else {
            slot.State = TState::Found;
            if (group.MultiStations) slot.Station = station;
            slot.Sensor = sensor;
        }
    }
    if (slot.State == TState::Missing) ThrowNoBinding(group);
    const std::string_view station =
        group.MultiStations ? std::string_view(slot.Station) : inputItem.StationID;
    if (slot.Key.empty()) {
        slot.Key = TStationSensorDataCache::KeyOf(station, slot.Sensor);
        slot.Serial = 0;
    }
    // The item found last time while it is still where it was; searched otherwise.
    const TStationSensorDataItem* cached = cache.ItemAt(slot.Index);
    if (cached == nullptr || cached->Serial != slot.Serial) {
        cached = cache.FindItem(slot.Key, slot.Index);
        slot.Serial = cached != nullptr ? cached->Serial : 0;
    }
    double value = 0;
    FinishVariable(name, station, slot.Sensor, cached, inputItem, value, group, &slot.TagIndex);
    return value;
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

double TCalcEx::TableValue(const std::string& name, double x) {
    return tableLookup_ ? tableLookup_(name, x) : x;
}

TNullValueSettings TCalcEx::NullValueSettings() const {
    return nullSource_ ? nullSource_() : TNullValueSettings{};
}

std::size_t TCalcEx::CompiledEquations() const {
    return memory_->Compiled.size();
}

TCalcEx::TGroupPlan& TCalcEx::PlanFor(const TCalcGroupItem& group) {
    TMemory& m = *memory_;
    const std::vector<std::string>& bindings =
        group.MultiStations ? group.MultiVariables : group.Variables;
    // The thread calculates a station's groups in turn: the last one is often the next one.
    if (m.LastGroup == &group && groupsFixed_) return *m.LastPlan;
    if (std::unique_ptr<TGroupPlan>* known = m.Plans.Find(&group); known != nullptr && *known) {
        TGroupPlan& plan = **known;
        if (groupsFixed_) {
            m.LastGroup = &group;
            m.LastPlan = &plan;
            return plan;
        }
        if (plan.Multi == group.MultiStations && SameBytes(plan.FuncName, group.FuncName) &&
            SameList(plan.Bindings, bindings))
            return plan;
    }

    // A new group object, or one changed since: its plan is made again, the byte code taken
    // from the equations already read where the text is the same.
    auto compiled = m.Compiled.find(group.FuncName);
    if (compiled == m.Compiled.end()) {
        if (m.Compiled.size() >= MaxCompiledEquations) {
            // Bounded for a calculator that meets ever new texts; the plans refer to the
            // byte code and go with it.
            m.Plans.Clear();
            m.Compiled.clear();
            m.LastGroup = nullptr;
        }
        compiled =
            m.Compiled.emplace(group.FuncName, std::make_unique<TCompiledEquation>(group.FuncName))
                .first;
    }
    std::unique_ptr<TGroupPlan>& plan = m.Plans[&group];
    if (!plan) {
        if (m.Plans.Size() > MaxCompiledEquations) {
            // As many group objects as texts at most; ever new ones start afresh.
            m.Plans.Clear();
            m.LastGroup = nullptr;
            return PlanFor(group);
        }
        plan = std::make_unique<TGroupPlan>();
    }
    plan->FuncName = group.FuncName;
    plan->Multi = group.MultiStations;
    plan->Bindings = bindings;
    plan->Equation = compiled->second.get();
    plan->Station.clear();
    plan->Slots.assign(plan->Equation->VariableCount(), TSlotPlan{});
    return *plan;
}

double TCalcEx::Calculate(const TInputItem& inputItem, const TCalcGroupItem& group,
                          const TStationSensorDataCache& cache) {
    try {
        TMemory& m = *memory_;
        if (!m.Checked) {
            m.OwnLookup = typeid(*this) == typeid(TCalcEx);
            m.Checked = true;
        }
        TGroupPlan& plan = PlanFor(group);
        if (!plan.Multi && plan.Station != inputItem.StationID) {
            // The variables of a single-station group are the record station's sensors.
            plan.Station = inputItem.StationID;
            for (TSlotPlan& slot : plan.Slots) {
                slot.Key.clear();
                slot.Serial = 0;
            }
        }
        TContext hooks(*this, m.OwnLookup ? &plan : nullptr, inputItem, group, cache);
        return plan.Equation->Run(hooks);
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
