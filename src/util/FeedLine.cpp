// The item and data of a feed line.
#include "util/FeedLine.h"

namespace ov {

bool SplitFeedLine(std::string_view line, std::string_view& item, std::string_view& data) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t begin = line.find_first_not_of(" \t");
    if (begin == std::string_view::npos || line[begin] == '#') return false;
    const std::size_t end = line.find_first_of(" \t", begin);
    if (end == std::string_view::npos) {
        item = line.substr(begin);
        data = {};
    } else {
        item = line.substr(begin, end - begin);
        data = line.substr(end + 1);
    }
    return true;
}

}  // namespace ov
