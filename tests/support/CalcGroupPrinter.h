// How a failed comparison of calculation groups shows them: every field and list, so that
// EXPECT_EQ on two groups (their operator==) says which field differs.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "model/CalcGroups.h"

namespace ov {

inline void PrintTo(const TCalcGroupItem& g, std::ostream* os) {
    auto list = [os](const char* name, const std::vector<std::string>& entries) {
        *os << ", " << name << " {";
        for (std::size_t i = 0; i < entries.size(); ++i)
            *os << (i == 0 ? "" : ", ") << '"' << entries[i] << '"';
        *os << '}';
    };
    *os << "{GroupName \"" << g.GroupName << "\", CGIndex " << g.CGIndex << ", FuncName \""
        << g.FuncName << "\", Enabled " << g.Enabled << ", MultiStations " << g.MultiStations
        << ", Filter \"" << g.Filter << "\", Output \"" << g.OutputStation << "\".\""
        << g.OutputSensor << '"';
    list("Variables", g.Variables);
    list("SimilarStations", g.SimilarStations);
    list("MultiVariables", g.MultiVariables);
    *os << ", MultiVariablesTrigger " << g.MultiVariablesTrigger << '}';
}

}  // namespace ov
