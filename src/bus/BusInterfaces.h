// The bus interfaces as described by the introspection files of dbus/ (one file per
// interface, named after it), built into the programs that export or check them.
#pragma once

#include <QString>
#include <string_view>
#include <vector>

namespace ov {

// Every interface described, sorted by name.
std::vector<std::string_view> InterfaceNames();
// The whole introspection file of an interface; empty for an interface not described.
std::string_view InterfaceFile(std::string_view interfaceName);
// Its <interface> element alone, as an exported object's introspection data; empty for an
// interface not described.
QString InterfaceXml(std::string_view interfaceName);

}  // namespace ov
