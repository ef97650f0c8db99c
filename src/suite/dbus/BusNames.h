// The suite's programs on the session bus: bus names, objects, interfaces, signal names and
// application identifiers (AppID) of the setup server, the four data sources and OV Calc.
#pragma once

#include <array>
#include <chrono>
#include <string_view>

#include "suite/AppIds.h"

namespace ov {

// Calls to suite servers wait at most this long; a call that times out has failed.
inline constexpr std::chrono::milliseconds SetupCallTimeout{3000};

inline constexpr std::string_view CalcBusName = "OVCalc.OVCalcCOM";
inline constexpr std::string_view CalcAppID = IOVCalcDataCOMAppID;

inline constexpr std::string_view SetupBusName = "OVSetup.Applications";
inline constexpr std::string_view SetupObjectPath = "/OVSetupCom";
inline constexpr std::string_view SetupInterface = "OVSetup.IOVSetupCom";
inline constexpr std::string_view SetupEventsInterface = "OVSetup.IOVSetupComEvents";
// ovsetup's own commands (reload, send events, quit), on the same object.
inline constexpr std::string_view SetupControlInterface = "OVSetup.Control";
inline constexpr std::string_view SetupAppID = IOVSetupComAppID;
inline constexpr std::string_view SetupLoadKey = "SetupLoad";
inline constexpr std::string_view SetupLoadedAnswer = "OK";

// The setup server's events by number: 1 OnSetupChanged, 2 OnRefreshRequest, 3 OnShutdown,
// 4 OnHeartBeat, 5 OnItemChange. Empty for any other number.
std::string_view SetupEventName(int event);

// A data source's events: 1 item change, 2 shutdown.
inline constexpr std::string_view ItemChangeSignal = "OnItemChange";
inline constexpr std::string_view AppShutdownSignal = "OnAppShutdown";

enum TDataSourceKind { dsDecoder, dsMDecoder, dsRtu, dsMBRtu };

// One data source: how to reach it, how its events are recognised, what is linked on it.
struct TDataSource {
    TDataSourceKind Kind;
    std::string_view Option;           // its name on ovfeed's command line: "decoder" ...
    std::string_view BusName;          // owned while the program (its "window") runs
    std::string_view ObjectPath;
    std::string_view Interface;        // LinkItem
    std::string_view EventsInterface;  // OnItemChange, OnAppShutdown
    std::string_view AppID;            // carried by its item changes
    std::string_view WindowClass;      // the main-window class the bus name stands for
    std::array<std::string_view, 2> Items;  // linked by OV Calc, in this order
};

// Decoder, EUMETSAT decoder, RTU poller, Modbus RTU poller, in the order OV Calc connects them.
const std::array<TDataSource, 4>& DataSources();
const TDataSource& DataSource(TDataSourceKind kind);
// The source named option ("decoder", "mdecoder", "rtu", "mbrtu"); nullptr for another text.
const TDataSource* FindDataSource(std::string_view option);

}  // namespace ov
