// The settings records' element tables and their decoding, encoding and loading.
#include "suite/SetupParams.h"

#include <array>
#include <concepts>
#include <exception>
#include <type_traits>
#include <utility>
#include <variant>

#include "util/StringList.h"

namespace ov {
namespace {

// One element of a record: its name and the field it lands in. The field's type is the
// element's type on the transfer array.
template <class R>
using TElementField = std::variant<std::string R::*, bool R::*, std::uint8_t R::*,
                                   std::uint16_t R::*, std::int32_t R::*>;

template <class R>
struct TElement {
    std::string_view Name;
    TElementField<R> Field;
};

using G = TGeneralSetup;
const std::array<TElement<G>, GeneralSetupCount> GeneralElements{{
    {"Element0", &G::Element0},         {"Element1", &G::Element1},
    {"Element2", &G::Element2},         {"TableDirectory", &G::TableDirectory},
    {"Element4", &G::Element4},         {"Element5", &G::Element5},
    {"Element6", &G::Element6},         {"Element7", &G::Element7},
    {"Element8", &G::Element8},         {"Element9", &G::Element9},
    {"Element10", &G::Element10},       {"Element11", &G::Element11},
    {"Element12", &G::Element12},       {"Element13", &G::Element13},
    {"RtuEnabled", &G::RtuEnabled},     {"DecoderEnabled", &G::DecoderEnabled},
    {"Element16", &G::Element16},       {"Element17", &G::Element17},
    {"Element18", &G::Element18},       {"Element19", &G::Element19},
    {"Element20", &G::Element20},       {"Element21", &G::Element21},
    {"Element22", &G::Element22},       {"Element23", &G::Element23},
    {"Element24", &G::Element24},       {"UseNullValue", &G::UseNullValue},
    {"NullValue", &G::NullValue},       {"NullOnMissing", &G::NullOnMissing},
    {"Element28", &G::Element28},       {"Element29", &G::Element29},
    {"Element30", &G::Element30},       {"UseEumetsatDecoder", &G::UseEumetsatDecoder},
    {"MBRtuEnabled", &G::MBRtuEnabled}, {"Element33", &G::Element33},
    {"Element34", &G::Element34},       {"Element35", &G::Element35},
    {"Element36", &G::Element36},
}};

using D = TDataServerSetup;
const std::array<TElement<D>, DataServerSetupCount> DataServerElements{{
    {"Element0", &D::Element0},
    {"DatabaseAlias", &D::DatabaseAlias},
    {"DatabaseUser", &D::DatabaseUser},
    {"DatabasePassword", &D::DatabasePassword},
    {"StorageOption", &D::StorageOption},
    {"Element5", &D::Element5},
}};

bool Convert(const TSetupValue& v, std::string& out) {
    out = SetupValueToText(v);
    return true;
}
bool Convert(const TSetupValue& v, bool& out) {
    return SetupValueToBool(v, out);
}
template <std::integral T>
requires(!std::same_as<T, bool>) bool Convert(const TSetupValue& v, T& out) {
    return SetupValueToInteger(v, out);
}

// Converts v for the element's field into a scratch value first, so a failure leaves record
// as it was.
template <class R>
bool AssignElement(R& record, const TElement<R>& element, const TSetupValue& v) {
    return std::visit(
        [&](auto member) {
            std::remove_reference_t<decltype(record.*member)> value{};
            if (!Convert(v, value)) return false;
            record.*member = std::move(value);
            return true;
        },
        element.Field);
}

template <class R, std::size_t N>
bool Decode(const std::array<TElement<R>, N>& elements, const std::vector<TSetupValue>& values,
            R& record) {
    R decoded;
    bool ok = values.size() >= N;
    for (std::size_t i = 0; ok && i < N; ++i) ok = AssignElement(decoded, elements[i], values[i]);
    record = ok ? std::move(decoded) : R{};
    return ok;
}

template <class R, std::size_t N>
std::vector<TSetupValue> Encode(const std::array<TElement<R>, N>& elements, const R& record) {
    std::vector<TSetupValue> values;
    values.reserve(N);
    for (const auto& element : elements) {
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(record.*member)>;
                values.emplace_back(std::in_place_type<T>, record.*member);
            },
            element.Field);
    }
    return values;
}

template <class R, std::size_t N>
int IndexOfName(const std::array<TElement<R>, N>& elements, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i) {
        if (SameText(elements[i].Name, name)) return static_cast<int>(i);
    }
    return -1;
}

template <class R, std::size_t N>
bool SetElement(const std::array<TElement<R>, N>& elements, R& record, int index,
                const std::string& text) {
    if (index < 0 || static_cast<std::size_t>(index) >= N) return false;
    return AssignElement(record, elements[static_cast<std::size_t>(index)],
                         TSetupValue(std::in_place_type<std::string>, text));
}

template <class R, std::size_t N>
std::string_view NameOf(const std::array<TElement<R>, N>& elements, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= N) return {};
    return elements[static_cast<std::size_t>(index)].Name;
}

// Fetches with fetch and decodes; any failure leaves the defaults.
template <class R, class Fetch>
bool Load(ISetupServer* server, R& record, Fetch fetch,
          bool (*decode)(const std::vector<TSetupValue>&, R&)) {
    std::vector<TSetupValue> values;
    bool fetched = false;
    if (server != nullptr) {
        try {
            fetched = fetch(*server, values);
        } catch (const std::exception&) {
            // A call that raised is a failed call.
            fetched = false;
        }
    }
    if (!fetched || values.empty()) {
        record = R{};
        return false;
    }
    return decode(values, record);
}

}  // namespace

std::string_view StorageOptionName(std::uint8_t option) {
    static constexpr std::array<std::string_view, 11> names{
        "None", "PCBASE",    "ORACLE", "LOGGER", "ACCESS",  "EXCEL",
        "XML",  "SQLSERVER", "HDB",    "INSQL",  "POSTGRES"};
    return option < names.size() ? names[option] : std::string_view();
}

bool StorageStartsCalculation(std::uint8_t option) {
    switch (option) {
        case soOracle:
        case soAccess:
        case soSQLServer:
        case soHDB:
        case soInSQL:
        case soPostgres:
            return true;
        default:
            return false;
    }
}

bool StorageOpensDatabase(std::uint8_t option) {
    // Every option that keeps the suite's data in a database, PostgreSQL included.
    return StorageStartsCalculation(option);
}

bool DecodeGeneralSetup(const std::vector<TSetupValue>& values, TGeneralSetup& record) {
    return Decode(GeneralElements, values, record);
}

bool DecodeDataServerSetup(const std::vector<TSetupValue>& values, TDataServerSetup& record) {
    return Decode(DataServerElements, values, record);
}

std::vector<TSetupValue> EncodeGeneralSetup(const TGeneralSetup& record) {
    return Encode(GeneralElements, record);
}

std::vector<TSetupValue> EncodeDataServerSetup(const TDataServerSetup& record) {
    return Encode(DataServerElements, record);
}

std::string_view GeneralElementName(int index) {
    return NameOf(GeneralElements, index);
}
int GeneralElementIndex(std::string_view name) {
    return IndexOfName(GeneralElements, name);
}
std::string_view DataServerElementName(int index) {
    return NameOf(DataServerElements, index);
}
int DataServerElementIndex(std::string_view name) {
    return IndexOfName(DataServerElements, name);
}

bool SetGeneralElement(TGeneralSetup& record, int index, const std::string& text) {
    return SetElement(GeneralElements, record, index, text);
}
bool SetGeneralElement(TGeneralSetup& record, std::string_view name, const std::string& text) {
    return SetElement(GeneralElements, record, GeneralElementIndex(name), text);
}
bool SetDataServerElement(TDataServerSetup& record, int index, const std::string& text) {
    return SetElement(DataServerElements, record, index, text);
}
bool SetDataServerElement(TDataServerSetup& record, std::string_view name,
                          const std::string& text) {
    return SetElement(DataServerElements, record, DataServerElementIndex(name), text);
}

bool LoadGeneralSetup(ISetupServer* server, TGeneralSetup& record) {
    return Load(
        server, record,
        [](ISetupServer& s, std::vector<TSetupValue>& v) { return s.GetGeneralSetup(v); },
        &DecodeGeneralSetup);
}

bool LoadDataServerSetup(ISetupServer* server, TDataServerSetup& record) {
    return Load(
        server, record,
        [](ISetupServer& s, std::vector<TSetupValue>& v) { return s.GetDataServerSetup(v); },
        &DecodeDataServerSetup);
}

TGeneralSetup& GeneralSetup() {
    static TGeneralSetup record;
    return record;
}

TDataServerSetup& DataServerSetup() {
    static TDataServerSetup record;
    return record;
}

}  // namespace ov
