// Look-up of the interface descriptions generated from dbus/*.xml.
#include "bus/BusInterfaces.h"

#include <algorithm>
#include <cstddef>

namespace ov {
namespace detail {

struct TInterfaceFileEntry {
    std::string_view Name;
    std::string_view Text;
};

extern const TInterfaceFileEntry InterfaceFileEntries[];
extern const std::size_t InterfaceFileEntryCount;

}  // namespace detail

std::vector<std::string_view> InterfaceNames() {
    std::vector<std::string_view> names;
    for (std::size_t i = 0; i < detail::InterfaceFileEntryCount; ++i) {
        names.push_back(detail::InterfaceFileEntries[i].Name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string_view InterfaceFile(std::string_view interfaceName) {
    for (std::size_t i = 0; i < detail::InterfaceFileEntryCount; ++i) {
        if (detail::InterfaceFileEntries[i].Name == interfaceName) {
            return detail::InterfaceFileEntries[i].Text;
        }
    }
    return {};
}

QString InterfaceXml(std::string_view interfaceName) {
    std::string_view text = InterfaceFile(interfaceName);
    std::size_t begin = text.find("<interface");
    std::size_t end = text.rfind("</interface>");
    if (begin == std::string_view::npos || end == std::string_view::npos || end < begin) {
        return {};
    }
    text = text.substr(begin, end + std::string_view("</interface>").size() - begin);
    // The descriptions are UTF-8 files, not the engine's 8-bit text.
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace ov
