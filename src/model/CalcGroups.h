// Calculation groups: one user-defined equation with the bindings of its variables and the
// station.sensor that receives its result (TCalcGroupItem), and the owning list of them in
// configuration-file order (TCalcGroups).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/PtrArray.h"

namespace ov {

// One entry of a binding list, "name=value": the variable name before the first "=" and the
// bound sensor (or station.sensor) after it. An entry without "=" has an empty name and value.
std::string_view NameOfEntry(std::string_view entry);
std::string_view ValueOfEntry(std::string_view entry);
std::string MakeEntry(std::string_view name, std::string_view value);
// Position of the first entry whose name equals name without regard to ASCII case; -1 if none.
int IndexOfName(const std::vector<std::string>& list, std::string_view name);

// The numbers a group may have and the longest equation it may hold: the setup dialog gives no
// other number and edits no longer equation, and the configuration file says where it holds
// one.
inline constexpr std::int32_t FirstGroupNumber = 1;
inline constexpr std::int32_t LastGroupNumber = 999;
inline constexpr std::size_t MaxEquationLength = 8192;

// One calculation group ("Poll Group" CGIndex in messages). A plain value: copying copies
// every field and list.
class TCalcGroupItem {
  public:
    std::string FuncName;                // the equation over the variable names
    bool Enabled = true;                 // disabled groups are kept but never calculated
    bool MultiStations = false;          // false: single-station group
    std::string Filter;                  // station filter file last used in the setup dialog
    std::string OutputStation;           // receives the result; the driving station
    std::string OutputSensor;            // receives the result
    std::vector<std::string> Variables;  // single-station: "name=sensor", empty sensor = unbound
    std::vector<std::string> SimilarStations;  // single-station: further driving stations
    std::vector<std::string> MultiVariables;   // multiple-station: "name=STATION.SENSOR"
    std::int32_t MultiVariablesTrigger = -1;   // position in MultiVariables of the trigger; -1 none
    std::string GroupName;                     // key: the section name in the configuration file
    std::int32_t CGIndex = 0;                  // the group's number

    // Every field and list equal.
    bool operator==(const TCalcGroupItem&) const = default;

    // Empties Variables, SimilarStations and MultiVariables.
    void ClearLists();
    // Makes this group a copy of source, lists included (replacing this group's lists).
    void Assign(const TCalcGroupItem& source);
    // Sensor whose arrival sets off the satellite calculation of a single-station group: the
    // greatest value of Variables compared byte by byte, letter case significant ("" if none).
    std::string TriggerSensor() const;
};

// The owning list of groups in configuration-file order (initial capacity 20). Groups that
// share an index key are calculated in this order.
// Add(std::move(group)) appends and takes the group (on an error the caller keeps it),
// Items(i) is the group at i, Count() their number, Clear() destroys them from the last.
class TCalcGroups : public TOwningPtrArray<TCalcGroupItem> {
  public:
    TCalcGroups() : TOwningPtrArray(20) {}

    // Destroys the group at i and removes the position.
    void DeleteAt(std::int32_t i) { Delete(i); }
};

}  // namespace ov
