// Tests of the settings records: defaults, element types, decoding of the transfer arrays
// (all or nothing), element access by index and name, loading, and the storage options.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "FakeSetupServer.h"
#include "suite/SetupParams.h"

namespace ov {
namespace {

using test::FakeSetupServer;

// The bus type letter of an element: s text, b boolean, y 8-bit, q 16-bit, i 32-bit.
char TypeLetter(const TSetupValue& v) {
    if (std::holds_alternative<std::string>(v)) return 's';
    if (std::holds_alternative<bool>(v)) return 'b';
    if (std::holds_alternative<std::uint8_t>(v)) return 'y';
    if (std::holds_alternative<std::uint16_t>(v)) return 'q';
    if (std::holds_alternative<std::int32_t>(v)) return 'i';
    return '?';
}

std::string TypeLetters(const std::vector<TSetupValue>& values) {
    std::string s;
    for (const auto& v : values) s += TypeLetter(v);
    return s;
}

// A record in which every element differs from its default.
TGeneralSetup OtherGeneral() {
    TGeneralSetup g;
    for (int i = 0; i < GeneralSetupCount; ++i) {
        auto v = EncodeGeneralSetup(g)[static_cast<std::size_t>(i)];
        std::string text;
        switch (TypeLetter(v)) {
            case 's':
                text = "text " + std::to_string(i);
                break;
            case 'b':
                text = "True";
                break;
            default:
                text = std::to_string(1000 + i);
                break;
        }
        EXPECT_TRUE(SetGeneralElement(g, i, text)) << i;
    }
    return g;
}

TDataServerSetup OtherDataServer() {
    TDataServerSetup d;
    d.Element0 = "server";
    d.DatabaseAlias = "OVPostgres";
    d.DatabaseUser = "calc";
    d.DatabasePassword = std::string("\xD0\x08\x44\xE9\x00\x5A", 6);
    d.StorageOption = soPostgres;
    d.Element5 = 1234567;
    return d;
}

// Compares two records, ignoring the time-tag elements, whose defaults follow the clock.
void ExpectGeneralEq(TGeneralSetup a, TGeneralSetup b) {
    a.Element36 = b.Element36 = 0;
    EXPECT_EQ(EncodeGeneralSetup(a), EncodeGeneralSetup(b));
}
void ExpectDataServerEq(TDataServerSetup a, TDataServerSetup b) {
    a.Element5 = b.Element5 = 0;
    EXPECT_EQ(EncodeDataServerSetup(a), EncodeDataServerSetup(b));
}

TEST(SetupRecords, DefaultsAndElementTypes) {
    TTimeTag before = NowTimeTag();
    TGeneralSetup g;
    TDataServerSetup d;
    TTimeTag after = NowTimeTag();

    EXPECT_EQ(TypeLetters(EncodeGeneralSetup(g)), "sssssssbqqiiibbbbbbbsssbbbibsbbbbbibi");
    EXPECT_EQ(TypeLetters(EncodeDataServerSetup(d)), "ssssyi");

    EXPECT_EQ(g.TableDirectory, "");
    EXPECT_EQ(g.Element4, "LOG\\");
    EXPECT_EQ(g.Element5, "RAW\\");
    EXPECT_EQ(g.Element8, 60000);
    EXPECT_EQ(g.Element9, 60000);
    EXPECT_EQ(g.Element10, 180000);
    EXPECT_EQ(g.Element11, 2000);
    EXPECT_EQ(g.NullValue, 998877);
    EXPECT_FALSE(g.RtuEnabled || g.DecoderEnabled || g.UseNullValue || g.NullOnMissing ||
                 g.UseEumetsatDecoder || g.MBRtuEnabled);
    EXPECT_GE(g.Element36, before);
    EXPECT_LE(g.Element36, after);

    EXPECT_EQ(d.DatabaseAlias, "OVAccess");
    EXPECT_EQ(d.DatabaseUser, "aa");
    EXPECT_EQ(d.DatabasePassword, "");
    EXPECT_EQ(d.StorageOption, soAccess);
    EXPECT_GE(d.Element5, before);
    EXPECT_LE(d.Element5, after);
}

TEST(SetupRecords, EncodeDecodeRoundTrip) {
    const TGeneralSetup g = OtherGeneral();
    TGeneralSetup g2;
    ASSERT_TRUE(DecodeGeneralSetup(EncodeGeneralSetup(g), g2));
    EXPECT_EQ(g2, g);
    EXPECT_TRUE(g2.MBRtuEnabled);
    EXPECT_EQ(g2.NullValue, 1026);
    EXPECT_EQ(g2.TableDirectory, "text 3");

    const TDataServerSetup d = OtherDataServer();
    TDataServerSetup d2;
    ASSERT_TRUE(DecodeDataServerSetup(EncodeDataServerSetup(d), d2));
    EXPECT_EQ(d2, d);
}

TEST(SetupRecords, DecodesElementsOfOtherTypes) {
    // A server may send every element as text, or integers of another width.
    const TGeneralSetup g = OtherGeneral();
    std::vector<TSetupValue> texts;
    for (const auto& v : EncodeGeneralSetup(g)) texts.emplace_back(SetupValueToText(v));
    TGeneralSetup fromTexts;
    ASSERT_TRUE(DecodeGeneralSetup(texts, fromTexts));
    EXPECT_EQ(fromTexts, g);

    auto values = EncodeGeneralSetup(TGeneralSetup{});
    values[3] = std::int32_t{42};            // TableDirectory
    values[14] = std::int16_t{1};            // RtuEnabled
    values[15] = std::string("TRUE");        // DecoderEnabled
    values[8] = std::uint8_t{7};             // 16-bit
    values[26] = std::int16_t{-9999};        // NullValue
    values[36] = std::uint32_t{123456789u};  // time tag
    TGeneralSetup mixed;
    ASSERT_TRUE(DecodeGeneralSetup(values, mixed));
    EXPECT_EQ(mixed.TableDirectory, "42");
    EXPECT_TRUE(mixed.RtuEnabled);
    EXPECT_TRUE(mixed.DecoderEnabled);
    EXPECT_EQ(mixed.Element8, 7);
    EXPECT_EQ(mixed.NullValue, -9999);
    EXPECT_EQ(mixed.Element36, 123456789);

    auto ds = EncodeDataServerSetup(TDataServerSetup{});
    ds[4] = std::int32_t{9};  // the storage option comes as an integer
    TDataServerSetup d;
    ASSERT_TRUE(DecodeDataServerSetup(ds, d));
    EXPECT_EQ(d.StorageOption, soInSQL);
}

TEST(SetupRecords, AMissingElementOrAFailedConversionGivesAllDefaults) {
    const auto good = EncodeGeneralSetup(OtherGeneral());
    struct Case {
        const char* what;
        int index;  // element replaced, or -1 to drop the last one
        TSetupValue value;
    };
    const Case cases[] = {
        {"36 elements", -1, {}},
        {"text for a boolean", 14, std::string("yes")},
        {"empty element for a boolean", 25, std::monostate{}},
        {"text for an integer", 26, std::string("998877.0")},
        {"16-bit element too large", 9, std::int32_t{65536}},
        {"16-bit element negative", 8, std::int16_t{-1}},
        {"32-bit element too large", 10, std::int64_t{2147483648LL}},
        {"empty element for an integer", 36, std::monostate{}},
    };
    for (const auto& c : cases) {
        auto values = good;
        if (c.index < 0) {
            values.pop_back();
        } else {
            values[static_cast<std::size_t>(c.index)] = c.value;
        }
        TGeneralSetup g = OtherGeneral();
        EXPECT_FALSE(DecodeGeneralSetup(values, g)) << c.what;
        ExpectGeneralEq(g, TGeneralSetup{});
    }

    auto ds = EncodeDataServerSetup(OtherDataServer());
    ds[4] = std::int32_t{256};  // does not fit the 8-bit storage option
    TDataServerSetup d = OtherDataServer();
    EXPECT_FALSE(DecodeDataServerSetup(ds, d));
    ExpectDataServerEq(d, TDataServerSetup{});
    ds.resize(5);
    ds[4] = std::int32_t{2};
    d = OtherDataServer();
    EXPECT_FALSE(DecodeDataServerSetup(ds, d));
    ExpectDataServerEq(d, TDataServerSetup{});
}

TEST(SetupRecords, EmptyTextElementIsAnEmptyText) {
    auto values = EncodeGeneralSetup(OtherGeneral());
    values[3] = std::monostate{};
    TGeneralSetup g;
    ASSERT_TRUE(DecodeGeneralSetup(values, g));
    EXPECT_EQ(g.TableDirectory, "");
}

TEST(SetupRecords, ElementsBeyondTheCountAreIgnored) {
    auto values = EncodeGeneralSetup(OtherGeneral());
    values.emplace_back(std::string("added by a newer server"));
    values.emplace_back(std::monostate{});
    TGeneralSetup g;
    ASSERT_TRUE(DecodeGeneralSetup(values, g));
    EXPECT_EQ(g, OtherGeneral());
}

TEST(SetupElements, NamesAndIndexes) {
    std::set<std::string, std::less<>> names;
    for (int i = 0; i < GeneralSetupCount; ++i) {
        std::string_view name = GeneralElementName(i);
        ASSERT_FALSE(name.empty()) << i;
        names.emplace(name);
        EXPECT_EQ(GeneralElementIndex(name), i);
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(GeneralSetupCount));
    for (int i = 0; i < DataServerSetupCount; ++i) {
        EXPECT_EQ(DataServerElementIndex(DataServerElementName(i)), i);
    }
    const std::pair<const char*, int> known[] = {
        {"TableDirectory", 3},      {"RtuEnabled", 14},   {"DecoderEnabled", 15},
        {"UseNullValue", 25},       {"NullValue", 26},    {"NullOnMissing", 27},
        {"UseEumetsatDecoder", 31}, {"MBRtuEnabled", 32}, {"nullvalue", 26},
        {"Element36", 36},          {"Element3", -1},     {"", -1},
    };
    for (const auto& [name, index] : known) EXPECT_EQ(GeneralElementIndex(name), index) << name;
    EXPECT_EQ(GeneralElementName(-1), "");
    EXPECT_EQ(GeneralElementName(37), "");
    EXPECT_EQ(DataServerElementIndex("storageoption"), 4);
    EXPECT_EQ(DataServerElementIndex("DatabasePassword"), 3);
}

TEST(SetupElements, SetFromTextKeepsTheRecordOnBadInput) {
    TGeneralSetup g;
    EXPECT_TRUE(SetGeneralElement(g, "tabledirectory", "/srv/ov/tables"));
    EXPECT_TRUE(SetGeneralElement(g, "RtuEnabled", "1"));
    EXPECT_TRUE(SetGeneralElement(g, "DecoderEnabled", "true"));
    EXPECT_TRUE(SetGeneralElement(g, 26, "-1"));
    EXPECT_TRUE(SetGeneralElement(g, "Element8", "65535"));
    EXPECT_EQ(g.TableDirectory, "/srv/ov/tables");
    EXPECT_TRUE(g.RtuEnabled);
    EXPECT_TRUE(g.DecoderEnabled);
    EXPECT_EQ(g.NullValue, -1);
    EXPECT_EQ(g.Element8, 65535);

    const TGeneralSetup before = g;
    EXPECT_FALSE(SetGeneralElement(g, "Element8", "65536"));
    EXPECT_FALSE(SetGeneralElement(g, "NullValue", "big"));
    EXPECT_FALSE(SetGeneralElement(g, "RtuEnabled", "maybe"));
    EXPECT_FALSE(SetGeneralElement(g, "NoSuchElement", "1"));
    EXPECT_FALSE(SetGeneralElement(g, 37, "1"));
    EXPECT_FALSE(SetGeneralElement(g, -1, "1"));
    EXPECT_EQ(g, before);

    TDataServerSetup d;
    EXPECT_TRUE(SetDataServerElement(d, "StorageOption", "10"));
    EXPECT_TRUE(SetDataServerElement(d, 1, "OVPostgres"));
    EXPECT_FALSE(SetDataServerElement(d, "StorageOption", "-1"));
    EXPECT_FALSE(SetDataServerElement(d, "StorageOption", "ACCESS"));
    EXPECT_EQ(d.StorageOption, soPostgres);
    EXPECT_EQ(d.DatabaseAlias, "OVPostgres");
}

TEST(SetupLoad, FailuresLeaveTheDefaults) {
    FakeSetupServer server;
    server.General = EncodeGeneralSetup(OtherGeneral());
    server.DataServer = EncodeDataServerSetup(OtherDataServer());

    TGeneralSetup g;
    TDataServerSetup d;
    ASSERT_TRUE(LoadGeneralSetup(&server, g));
    ASSERT_TRUE(LoadDataServerSetup(&server, d));
    EXPECT_EQ(g, OtherGeneral());
    EXPECT_EQ(d, OtherDataServer());

    for (auto mode : {FakeSetupServer::fmFail, FakeSetupServer::fmThrow}) {
        server.Mode = mode;
        g = OtherGeneral();
        d = OtherDataServer();
        EXPECT_FALSE(LoadGeneralSetup(&server, g));
        EXPECT_FALSE(LoadDataServerSetup(&server, d));
        ExpectGeneralEq(g, TGeneralSetup{});
        ExpectDataServerEq(d, TDataServerSetup{});
    }

    // A null answer.
    server.Mode = FakeSetupServer::fmAnswer;
    server.General.clear();
    server.DataServer.clear();
    g = OtherGeneral();
    d = OtherDataServer();
    EXPECT_FALSE(LoadGeneralSetup(&server, g));
    EXPECT_FALSE(LoadDataServerSetup(&server, d));
    ExpectGeneralEq(g, TGeneralSetup{});
    ExpectDataServerEq(d, TDataServerSetup{});

    // No server running.
    g = OtherGeneral();
    d = OtherDataServer();
    EXPECT_FALSE(LoadGeneralSetup(nullptr, g));
    EXPECT_FALSE(LoadDataServerSetup(nullptr, d));
    ExpectGeneralEq(g, TGeneralSetup{});
    ExpectDataServerEq(d, TDataServerSetup{});
}

TEST(SetupLoad, IntoTheProcessRecords) {
    FakeSetupServer server;
    server.General = EncodeGeneralSetup(OtherGeneral());
    server.DataServer = EncodeDataServerSetup(OtherDataServer());
    ASSERT_TRUE(LoadGeneralSetup(&server, GeneralSetup()));
    ASSERT_TRUE(LoadDataServerSetup(&server, DataServerSetup()));
    EXPECT_EQ(GeneralSetup(), OtherGeneral());
    EXPECT_EQ(DataServerSetup().StorageOption, soPostgres);
    // Leave them as another test would find them in a fresh process.
    EXPECT_FALSE(LoadGeneralSetup(nullptr, GeneralSetup()));
    EXPECT_FALSE(LoadDataServerSetup(nullptr, DataServerSetup()));
    EXPECT_EQ(DataServerSetup().StorageOption, soAccess);
}

TEST(StorageOptions, NamesAndWhatEachOneAllows) {
    struct Case {
        int option;
        const char* name;
        bool starts;
        bool opens;
    };
    const Case cases[] = {
        {0, "None", false, false},   {1, "PCBASE", false, false},  {2, "ORACLE", true, true},
        {3, "LOGGER", false, false}, {4, "ACCESS", true, true},    {5, "EXCEL", false, false},
        {6, "XML", false, false},    {7, "SQLSERVER", true, true}, {8, "HDB", true, true},
        {9, "INSQL", true, true},    {10, "POSTGRES", true, true}, {11, "", false, false},
        {255, "", false, false},
    };
    for (const auto& c : cases) {
        auto option = static_cast<std::uint8_t>(c.option);
        EXPECT_EQ(StorageOptionName(option), c.name) << c.option;
        EXPECT_EQ(StorageStartsCalculation(option), c.starts) << c.option;
        EXPECT_EQ(StorageOpensDatabase(option), c.opens) << c.option;
    }
}

}  // namespace
}  // namespace ov
