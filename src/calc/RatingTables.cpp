// Rating tables: reading table files, the cache, and the six interpolation kinds.
#include "calc/RatingTables.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>

#include "suite/SetupParams.h"
#include "util/Scan.h"
#include "util/TextCompare.h"

namespace ov::rating {

namespace {

namespace fs = std::filesystem;
using Real = long double;  // intermediates of every interpolation

// Above this exponent the logarithmic kinds give up on e^t (it keeps e^t below about 1e100).
constexpr Real ExpLimit = 230.25L;
// Only this many characters of a table file's line are read.
constexpr std::size_t MaxLineLength = 80;

// The kind a table file's first line names: the keyword position (1 to 6) of its first
// comma-list item, compared exactly apart from letter case; ikNone for anything else.
TInterpolationKind KindOfLine(std::string_view line) {
    std::string upper(line);
    std::transform(upper.begin(), upper.end(), upper.begin(), UpperAscii);
    if (upper == "N/A") return ikNone;
    const std::string_view item = std::string_view(upper).substr(0, upper.find(','));
    std::string_view keywords = InterpolationKeywords;
    int kind = 1;
    while (!keywords.empty()) {
        const std::size_t comma = keywords.find(',');
        if (keywords.substr(0, comma) == item) return static_cast<TInterpolationKind>(kind);
        if (comma == std::string_view::npos) break;
        keywords.remove_prefix(comma + 1);
        ++kind;
    }
    return ikNone;
}

// Reads one point line; false when it does not yield all the numbers of its kind.
bool ReadPoint(std::string_view line, TInterpolationKind kind, TDataItem& point) {
    int position = 1;
    if (kind == ikGsLinear || kind == ikGsLogLog)
        return ScanText(line, position, "%X%X%X%X",
                        {&point.X, &point.Y, &point.Offset, &point.Shift});
    return ScanText(line, position, "%X%X", {&point.X, &point.Y});
}

Real Lin(Real x, Real x1, Real y1, Real x2, Real y2) {
    if (x2 == x1) return y1;
    return y1 + (x - x1) * (y2 - y1) / (x2 - x1);
}

// The GS kinds: the shift moves x (and may move it into another interval), the offset is
// taken off x and the interval's X values, then linear or log-log between the points.
Real GaugeValue(const TTable& table, double x0) {
    TInterval iv = FindInterval(table, x0);
    Real x = x0;
    if (iv.Shift != 0) {
        const Real x1 = iv.P1->X, x2 = iv.P2->X;
        const Real s1 = iv.P1->Shift, s2 = iv.P2->Shift;
        const Real s = x2 == x1 ? s1 : s1 + (x - x1) * (s2 - s1) / (x2 - x1);
        // The shifted stage is a stage like any other, a double: the interval is chosen for
        // the very value interpolated. Kept in extended precision it could lie just below a
        // point that its double equals, and be taken backwards from that point's interval.
        x = static_cast<double>(x + s);
        iv = FindInterval(table, static_cast<double>(x));
    }
    const Real a = iv.Offset;
    Real x1 = static_cast<Real>(iv.P1->X) - a;
    Real x2 = static_cast<Real>(iv.P2->X) - a;
    x -= a;
    const Real y1 = iv.P1->Y, y2 = iv.P2->Y;
    bool positive = x > 0 && x1 > 0 && x2 > 0;
    const bool yPositive = y1 > 0 && y2 > 0;
    if (table.Interpolation == ikGsLogLog && !positive && yPositive) {
        // A stage at or just below the gauge's zero flow still gets a log-log value.
        x += 0.0001L;
        x1 += 0.0001L;
        x2 += 0.0001L;
        positive = x > 0 && x1 > 0 && x2 > 0;
    }
    if (!positive || table.Interpolation == ikGsLinear || !yPositive) {
        const Real d = x2 - x1;
        return d == 0 ? y1 : y1 + (x - x1) * (y2 - y1) / d;
    }
    const Real d = std::log(x2 / x1);
    if (d == 0) return y1;
    const Real t = std::log(y1) + std::log(x / x1) * std::log(y2 / y1) / d;
    return t <= ExpLimit ? std::exp(t) : y1;
}

}  // namespace

int TDataItems::Compare(const double& a, const double& b) const {
    if (a > b) return 1;
    if (a == b) return 0;
    return -1;
}

TInterval FindInterval(const TTable& table, double x) {
    const TDataItems& points = table.Points;
    std::int32_t i = 0;
    bool upper = false;
    if (points.Search(x, i)) {
        upper = i == points.Count() - 1;
    } else if (i > 0) {
        upper = i == points.Count();
        i = i - 1;
    }
    if (upper) i = i - 1;
    TInterval iv;
    iv.P1 = points.ItemAt(i);
    iv.P2 = points.ItemAt(i + 1);
    const TDataItem* selected = upper ? iv.P2 : iv.P1;
    iv.Offset = selected->Offset;
    iv.Shift = selected->Shift;
    return iv;
}

double Interpolate(const TTable& table, double x0) {
    if (table.Interpolation == ikNone || table.Points.Count() < 2) return x0;
    if (table.Interpolation == ikGsLinear || table.Interpolation == ikGsLogLog)
        return static_cast<double>(GaugeValue(table, x0));

    const TInterval iv = FindInterval(table, x0);
    const Real x = x0;
    const Real x1 = iv.P1->X, y1 = iv.P1->Y;
    const Real x2 = iv.P2->X, y2 = iv.P2->Y;
    Real result = Lin(x, x1, y1, x2, y2);
    switch (table.Interpolation) {
        case ikSemiLogY:
            if (x > 0 && y1 > 0 && y2 > 0) {
                const Real t = std::log(y1) + std::log(y2 / y1) * (x - x1) / (x2 - x1);
                if (t <= ExpLimit) result = std::exp(t);
            }
            break;
        case ikSemiLogX:
            if (x > 0 && x1 > 0 && x2 > 0) {
                const Real d = std::log(x2 / x1);
                result = d == 0 ? y1 : y1 + std::log(x / x1) * (y2 - y1) / d;
            }
            break;
        case ikLogLog:
            if (x > 0 && x1 > 0 && x2 > 0 && y1 > 0 && y2 > 0) {
                const Real d = std::log(x2 / x1);
                if (d == 0) {
                    result = y1;
                } else {
                    const Real t = std::log(y1) + std::log(x / x1) * std::log(y2 / y1) / d;
                    if (t <= ExpLimit) result = std::exp(t);
                }
            }
            break;
        default:
            break;
    }
    return static_cast<double>(result);
}

bool ReadTableText(std::string_view text, TTable& table) {
    bool kindRead = false;
    std::size_t start = 0;
    while (start < text.size()) {
        // CR LF, a lone LF and a lone CR each end a line.
        std::size_t end = text.find_first_of("\r\n", start);
        std::size_t next;
        if (end == std::string_view::npos) {
            end = text.size();
            next = end;
        } else {
            next = end + 1;
            if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
        }
        std::string_view line = text.substr(start, std::min(end - start, MaxLineLength));
        start = next;

        if (line.empty() || line.front() == ';') continue;
        if (!kindRead) {
            table.Interpolation = KindOfLine(line);
            kindRead = true;
            continue;
        }
        if (table.Interpolation == ikNone) continue;
        auto point = std::make_unique<TDataItem>();
        if (ReadPoint(line, table.Interpolation, *point)) table.Points.Insert(point);
    }
    return kindRead;
}

std::optional<fs::path> FindFileIgnoringCase(const std::string& path) {
    if (path.empty()) return std::nullopt;
    auto isFile = [](const fs::path& p) {
        std::error_code ec;
        const fs::file_status st = fs::status(p, ec);
        return !ec && fs::exists(st) && !fs::is_directory(st);
    };
    const fs::path wanted(path);
    if (isFile(wanted)) return wanted;

    fs::path found = wanted.root_path();
    for (const fs::path& part : wanted.relative_path()) {
        const std::string name = part.string();
        if (name.empty() || name == "." || name == "..") {
            found /= part;
            continue;
        }
        std::error_code ec;
        if (fs::exists(found / part, ec)) {
            found /= part;
            continue;
        }
        std::optional<std::string> match;
        const fs::path folder = found.empty() ? fs::path(".") : found;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::string candidate = it->path().filename().string();
            if (SameText(candidate, name) && (!match || candidate < *match))
                match = std::move(candidate);
        }
        if (!match) return std::nullopt;
        found /= *match;
    }
    if (isFile(found)) return found;
    return std::nullopt;
}

TTables::TTables(std::function<std::string()> tableDirectory)
    : TSortedCollection(10, 10), tableDirectory_(std::move(tableDirectory)) {}

void TTables::SetTableDirectorySource(std::function<std::string()> tableDirectory) {
    tableDirectory_ = std::move(tableDirectory);
}

int TTables::Compare(const std::string_view& a, const std::string_view& b) const {
    const int c = a.compare(b);
    return c > 0 ? 1 : (c < 0 ? -1 : 0);
}

bool TTables::FindTable(const std::string& name, std::int32_t& index) const {
    for (std::int32_t i = 0; i < Count(); ++i) {
        if (Compare(ItemAt(i)->Name, name) == 0) {
            index = i;
            return true;
        }
    }
    index = 0;
    return false;
}

std::string TTables::TableFilePath(const std::string& name) const {
    const std::size_t lastDelimiter = name.find_last_of("/\\");
    std::string path;
    const std::string folder = tableDirectory_ ? tableDirectory_() : std::string();
    if (!folder.empty() && lastDelimiter == std::string::npos) {
        path = folder;
        if (path.back() != '/' && path.back() != '\\') path += '/';
    }
    path += name;
    // Whether the name has an extension is a matter of the name alone: a "." in a folder
    // name must not take the extension away from every table in it.
    const std::string_view own = lastDelimiter == std::string::npos
                                     ? std::string_view(name)
                                     : std::string_view(name).substr(lastDelimiter + 1);
    if (own.find('.') == std::string_view::npos) path += ".TBL";
    // Names come from equations and the suite's setup written with "\" folders.
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

TTables::TTableFile TTables::LocateTable(const std::string& name) const {
    TTableFile file;
    file.Path = TableFilePath(name);
    file.Found = FindFileIgnoringCase(file.Path);
    return file;
}

void TTables::SetProblemReport(std::function<void(const std::string& message)> report) {
    report_ = std::move(report);
}

// A missing table hands its stage back as the discharge: without a word, a wrong folder
// would publish wrong values unnoticed.
void TTables::Report(const std::string& name, const std::string& message) {
    if (!report_ || !reported_.insert(name).second) return;
    report_(message);
}

bool TTables::GetTable(const std::string& name, TTable*& table) {
    std::int32_t index = 0;
    if (FindTable(name, index)) {
        table = ItemAt(index);
        return table->Points.Count() > 1;
    }
    table = nullptr;
    const TTableFile file = LocateTable(name);
    if (!file.Found) {
        Report(name, TableNotFoundText(name, file.Path));
        return false;
    }
    errno = 0;
    std::ifstream in(*file.Found, std::ios::binary);
    std::string text;
    if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
        const int error = errno;
        Report(name, TableUnreadableText(name, file.Found->string(),
                                         error != 0 ? std::strerror(error) : "read error"));
        return false;
    }
    in.close();

    auto read = std::make_unique<TTable>(name);
    if (!ReadTableText(text, *read)) return false;
    TTable* const cached = read.get();
    if (!Insert(read)) return false;
    table = cached;
    return cached->Points.Count() > 1;
}

double TTables::TableValue(const std::string& name, double x) {
    TTable* table = nullptr;
    if (!GetTable(name, table)) return x;
    return Interpolate(*table, x);
}

void TTables::ClearTables() {
    for (std::int32_t i = Count() - 1; i >= 0; --i) RemoveAt(i).reset();
    reported_.clear();
}

std::string TableNotFoundReason(const std::string& name, const std::string& path) {
    std::error_code ec;
    fs::path folder = fs::absolute(fs::path(path), ec).lexically_normal().parent_path();
    if (ec) folder = fs::path(path).parent_path();
    return "rating table " + name + " not found in " + folder.string() +
           ": the stage passes through unchanged";
}

std::string TableNotFoundText(const std::string& name, const std::string& path) {
    return "Error 1600: " + TableNotFoundReason(name, path);
}

std::string TableUnreadableText(const std::string& name, const std::string& path,
                                const std::string& reason) {
    return "Error 1600: rating table " + name + " cannot be read from " + path + " (" + reason +
           "): the stage passes through unchanged";
}

TTables& Tables() {
    // Made on first use, which the language makes thread-safe; lives until the process ends.
    // Its folder is the general setup's, read afresh at every look-up on disk.
    static TTables tables([] { return GeneralSetup().TableDirectory; });
    return tables;
}

double TableValue(const std::string& name, double x) {
    return Tables().TableValue(name, x);
}

void ClearTables() {
    Tables().ClearTables();
}

}  // namespace ov::rating
