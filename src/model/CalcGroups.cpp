// Calculation groups: the binding-list helpers and the group operations.
#include "model/CalcGroups.h"

#include <algorithm>

#include "util/TextCompare.h"

namespace ov {

std::string_view NameOfEntry(std::string_view entry) {
    const std::size_t eq = entry.find('=');
    return eq == std::string_view::npos ? std::string_view() : entry.substr(0, eq);
}

std::string_view ValueOfEntry(std::string_view entry) {
    const std::size_t eq = entry.find('=');
    return eq == std::string_view::npos ? std::string_view() : entry.substr(eq + 1);
}

std::string MakeEntry(std::string_view name, std::string_view value) {
    std::string entry;
    entry.reserve(name.size() + 1 + value.size());
    entry.append(name).append("=").append(value);
    return entry;
}

int IndexOfName(const std::vector<std::string>& list, std::string_view name) {
    // The part before an entry's first "=" never holds a "=": such a name matches nothing.
    if (name.find('=') != std::string_view::npos) return -1;
    // Every variable of every calculation is searched here: compare the name with the start of
    // the entry instead of splitting each entry first.
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string& entry = list[i];
        if (entry.size() > name.size() && entry[name.size()] == '=' &&
            SameText(std::string_view(entry).substr(0, name.size()), name))
            return static_cast<int>(i);
    }
    return -1;
}

void TCalcGroupItem::ClearLists() {
    Variables.clear();
    SimilarStations.clear();
    MultiVariables.clear();
}

void TCalcGroupItem::Assign(const TCalcGroupItem& source) {
    if (&source != this) *this = source;
}

std::string TCalcGroupItem::TriggerSensor() const {
    std::string_view greatest;
    for (const std::string& entry : Variables) {
        const std::string_view sensor = ValueOfEntry(entry);
        // std::string_view compares as unsigned bytes: case significant, no locale.
        if (sensor > greatest) greatest = sensor;
    }
    return std::string(greatest);
}

}  // namespace ov
