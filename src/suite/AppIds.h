// The application identifiers (AppID) of the suite's automation interfaces: the registry-format
// interface identifiers that every call and event carries, by which a program recognises who
// sent an event.
#pragma once

#include <string_view>

namespace ov {

inline constexpr std::string_view IOVCalcDataCOMAppID = "{91F3C529-1A17-4EE7-9BD8-364546B6F3F4}";
inline constexpr std::string_view IOVSetupComAppID = "{CFD3E936-D378-4CD8-AA86-325A38C7B7E7}";
// Shared by the decoder and the EUMETSAT decoder.
inline constexpr std::string_view IOVDecodeComAppID = "{C75F696C-07A5-422E-BE99-3AFCB281C367}";
inline constexpr std::string_view IOVRtuDataCOMAppID = "{7552BE47-EFFF-47F1-8EEA-BD38F2B70761}";
inline constexpr std::string_view IOVMBRTUDataCOMAppID = "{FBFBD7FC-253B-4A4F-BA6F-9E9FE28B3B1B}";

// Whether appID is that of a data source (a decoder, the RTU poller or the Modbus RTU poller),
// compared exactly, letter case included.
constexpr bool IsDataSourceAppID(std::string_view appID) {
    return appID == IOVDecodeComAppID || appID == IOVRtuDataCOMAppID ||
           appID == IOVMBRTUDataCOMAppID;
}

}  // namespace ov
