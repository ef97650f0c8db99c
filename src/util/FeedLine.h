// A line of a data feed as ovfeed sends it and ovtool replay reads it: the item name, a blank,
// the data text ("$TIMETAG 12/08/2026 20:41:05,RIVER1.HG,3.52"). One reading for both.
#pragma once

#include <string_view>

namespace ov {

// Splits line (without its line feed) into the item, from the first character that is no blank
// or tab up to the next blank or tab, and the data after that one blank or tab as it stands. A
// carriage return at the end is not part of the line. False for a line to skip: empty, blank,
// or a comment beginning with "#".
bool SplitFeedLine(std::string_view line, std::string_view& item, std::string_view& data);

}  // namespace ov
