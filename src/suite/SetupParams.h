// The suite's general and data-server settings as the setup server hands them over: the two
// records with their defaults, their transfer arrays, and the storage options.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "suite/SetupServer.h"
#include "suite/SetupValue.h"
#include "util/TimeTag.h"

namespace ov {

// The general settings, element by element in the order of the transfer array. ElementN
// fields are kept for the server's sake but not used by the engine. A default-constructed
// record holds the defaults, the last element being the current time tag.
struct TGeneralSetup {
    std::string Element0;
    std::string Element1;
    std::string Element2;
    std::string TableDirectory;  // folder of the rating-table files
    std::string Element4 = "LOG\\";
    std::string Element5 = "RAW\\";
    std::string Element6;
    bool Element7 = false;
    std::uint16_t Element8 = 60000;
    std::uint16_t Element9 = 60000;
    std::int32_t Element10 = 180000;
    std::int32_t Element11 = 2000;
    std::int32_t Element12 = 0;
    bool Element13 = false;
    bool RtuEnabled = false;      // connect the RTU poller
    bool DecoderEnabled = false;  // connect a decoder
    bool Element16 = false;
    bool Element17 = false;
    bool Element18 = false;
    bool Element19 = false;
    std::string Element20;
    std::string Element21;
    std::string Element22;
    bool Element23 = false;
    bool Element24 = false;
    bool UseNullValue = false;  // sensor values equal to NullValue count as missing
    std::int32_t NullValue = 998877;
    bool NullOnMissing = false;  // a calculation with a missing input yields NullValue
    std::string Element28;
    bool Element29 = false;
    bool Element30 = false;
    bool UseEumetsatDecoder = false;  // the decoder to connect is the EUMETSAT decoder
    bool MBRtuEnabled = false;        // connect the Modbus RTU poller
    bool Element33 = false;
    std::int32_t Element34 = 0;
    bool Element35 = false;
    TTimeTag Element36 = NowTimeTag();

    bool operator==(const TGeneralSetup&) const = default;
};

// The data-server settings: where the suite keeps its data and the database credentials.
struct TDataServerSetup {
    std::string Element0;
    std::string DatabaseAlias = "OVAccess";
    std::string DatabaseUser = "aa";
    std::string DatabasePassword;    // enciphered: see DecodeLogin
    std::uint8_t StorageOption = 4;  // a TStorageOption, or a value the engine does not know
    TTimeTag Element5 = NowTimeTag();

    bool operator==(const TDataServerSetup&) const = default;
};

inline constexpr int GeneralSetupCount = 37;
inline constexpr int DataServerSetupCount = 6;

enum TStorageOption : std::uint8_t {
    soNone = 0,
    soPCBase = 1,
    soOracle = 2,
    soLogger = 3,
    soAccess = 4,
    soExcel = 5,
    soXML = 6,
    soSQLServer = 7,
    soHDB = 8,
    soInSQL = 9,
    soPostgres = 10,
};

// "None", "PCBASE", "ORACLE" ... "POSTGRES"; empty for a value outside 0-10.
std::string_view StorageOptionName(std::uint8_t option);
// The options under which a refresh starts the calculation thread: 2, 4, 7, 8, 9, 10.
bool StorageStartsCalculation(std::uint8_t option);
// The options under which the group setup dialog opens the suite database: the same six.
bool StorageOpensDatabase(std::uint8_t option);

// Converts the transfer array element by element (SetupValue.h rules) into record. A missing
// element or a failed conversion sets record to the defaults and answers false. Elements
// beyond the record's count are ignored, so a server that appends elements is still read.
bool DecodeGeneralSetup(const std::vector<TSetupValue>& values, TGeneralSetup& record);
bool DecodeDataServerSetup(const std::vector<TSetupValue>& values, TDataServerSetup& record);

// The transfer array of a record, each element with its field's own type (text, boolean,
// 8-bit unsigned, 16-bit unsigned or 32-bit integer).
std::vector<TSetupValue> EncodeGeneralSetup(const TGeneralSetup& record);
std::vector<TSetupValue> EncodeDataServerSetup(const TDataServerSetup& record);

// Element access by index or field name (without regard to case), for the setup server's
// settings file. Names are the field names above ("TableDirectory", "Element4").
std::string_view GeneralElementName(int index);  // empty outside 0-36
int GeneralElementIndex(std::string_view name);  // -1 for an unknown name
std::string_view DataServerElementName(int index);
int DataServerElementIndex(std::string_view name);
// Sets one element from its text with the conversion of a text element; false (record
// unchanged) for an unknown element or a text the element's type does not accept.
bool SetGeneralElement(TGeneralSetup& record, int index, const std::string& text);
bool SetGeneralElement(TGeneralSetup& record, std::string_view name, const std::string& text);
bool SetDataServerElement(TDataServerSetup& record, int index, const std::string& text);
bool SetDataServerElement(TDataServerSetup& record, std::string_view name, const std::string& text);

// Fetches and decodes the settings into record. A null server (none running), a failed call,
// an empty array (a null answer) or an array that does not decode set record to the
// defaults and answer false.
bool LoadGeneralSetup(ISetupServer* server, TGeneralSetup& record);
bool LoadDataServerSetup(ISetupServer* server, TDataServerSetup& record);

// The process's records, loaded by the refresh and used on the main thread only: a
// calculation thread is given what it reads of them at its start (TWorkThread::CopySettings).
TGeneralSetup& GeneralSetup();
TDataServerSetup& DataServerSetup();

}  // namespace ov
