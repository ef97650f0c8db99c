// The log detail setting (0 to 10) and what it lets through: a trace line with threshold n
// goes to the status list when the setting is greater than n (so at 8 no line of threshold 8
// is written).
#pragma once

namespace ov {

enum TLogThreshold : int {
    ltNotANumber = 1,  // "Error 1601: Value is not a number - ..."
    ltComputing = 3,   // "Begin Computing - ..." and "End Computing - ..." of each group
    ltLookup = 4,      // the calculator's variable and attribute look-ups
    ltCalcMode = 5,  // Begin and End of DoCurrentCalculation, DoGOESCalculation, DoMultiCalculation
    ltProcess = 7,   // Begin and End of DoProcess, "Item scheduled @ ..."
    ltIdle = 8,      // DoIdle, the schedule's counts, the deferred calculations' stations
};

// The one setting at which connecting the EUMETSAT decoder is reported in the status list:
// exactly this value, not above it.
inline constexpr int LogDetailEumetsatConnected = 2;

}  // namespace ov
