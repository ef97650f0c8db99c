// The suite's programs on the session bus: bus names, objects, interfaces, signal names and
// application identifiers (AppID) of the setup server, the four data sources and OV Calc.
// Standard C++ only: the engine, the Qt side and the programs without Qt all take them from here.
#pragma once

#include <array>
#include <chrono>
#include <string_view>

namespace ov {

// The application identifiers (AppID) of the suite's automation interfaces: the registry-format
// interface identifiers that every call and event carries, by which a program recognises who
// sent an event.
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

// Calls to suite servers wait at most this long; a call that times out has failed.
inline constexpr std::chrono::milliseconds SetupCallTimeout{3000};

inline constexpr std::string_view CalcBusName = "OVCalc.OVCalcCOM";
inline constexpr std::string_view CalcAppID = IOVCalcDataCOMAppID;
// OV Calc's automation object and its events.
inline constexpr std::string_view CalcObjectPath = "/OVCalcCOM";
inline constexpr std::string_view CalcInterface = "OVCalc.IOVCalcDataCOM";
inline constexpr std::string_view CalcEventsInterface = "OVCalc.IOVCalcDataCOMEvents";
inline constexpr std::string_view HeartBeatSignal = "OnHeartBeat";
// OV Calc's DDE service, on the same bus name.
inline constexpr std::string_view DdeObjectPath = "/DDE";
inline constexpr std::string_view DdeInterface = "OVCalc.DDEML";
// OV Calc's main window, which a second start asks to restore itself.
inline constexpr std::string_view MainWindowPath = "/MainWindow";
inline constexpr std::string_view MainWindowInterface = "OVCalc.TfrmCalcMain";

inline constexpr std::string_view SetupBusName = "OVSetup.Applications";
inline constexpr std::string_view SetupObjectPath = "/OVSetupCom";
inline constexpr std::string_view SetupInterface = "OVSetup.IOVSetupCom";
inline constexpr std::string_view SetupEventsInterface = "OVSetup.IOVSetupComEvents";
// ovsetup's own commands (reload, send events, quit), on the same object.
inline constexpr std::string_view SetupControlInterface = "OVSetup.Control";
inline constexpr std::string_view SetupAppID = IOVSetupComAppID;
inline constexpr std::string_view SetupLoadKey = "SetupLoad";
inline constexpr std::string_view SetupLoadedAnswer = "OK";

// The setup server's events by their numbers.
enum TSetupEvent : int {
    seSetupChanged = 1,    // OnSetupChanged(AppID)
    seRefreshRequest = 2,  // OnRefreshRequest(AppID)
    seShutdown = 3,        // OnShutdown(AppID)
    seHeartBeat = 4,       // OnHeartBeat(AppID)
    seItemChange = 5,      // OnItemChange(AppID, Item, Data)
};

// The signal name of a setup server's event (a TSetupEvent); empty for any other number.
std::string_view SetupEventName(int event);

// A data source's events: 1 item change, 2 shutdown.
inline constexpr std::string_view ItemChangeSignal = "OnItemChange";
inline constexpr std::string_view AppShutdownSignal = "OnAppShutdown";

enum TDataSourceKind { dsDecoder, dsMDecoder, dsRtu, dsMBRtu };

// One data source: how to reach it, how its events are recognised, what is linked on it.
struct TDataSource {
    TDataSourceKind Kind;
    std::string_view Option;   // its name on ovfeed's command line: "decoder" ...
    std::string_view BusName;  // owned while the program (its "window") runs
    std::string_view ObjectPath;
    std::string_view Interface;             // LinkItem
    std::string_view EventsInterface;       // OnItemChange, OnAppShutdown
    std::string_view AppID;                 // carried by its item changes
    std::string_view WindowClass;           // the main-window class the bus name stands for
    std::array<std::string_view, 2> Items;  // linked by OV Calc, in this order
};

// Decoder, EUMETSAT decoder, RTU poller, Modbus RTU poller, in the order OV Calc connects them.
const std::array<TDataSource, 4>& DataSources();
const TDataSource& DataSource(TDataSourceKind kind);
// The source named option ("decoder", "mdecoder", "rtu", "mbrtu"); nullptr for another text.
const TDataSource* FindDataSource(std::string_view option);

}  // namespace ov
