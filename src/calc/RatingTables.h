// Rating tables: text files of tabulated points (stage -> discharge and the like) read once
// from the table folder, kept in a cache, and interpolated in six ways, two of them with the
// gauge offsets and shifts of the points.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "util/Collection.h"

namespace ov::rating {

enum TInterpolationKind : std::uint8_t {
    ikNone = 0,
    ikLinear = 1,
    ikSemiLogY = 2,
    ikSemiLogX = 3,
    ikLogLog = 4,
    ikGsLinear = 5,
    ikGsLogLog = 6,
};

// The kind keywords of a table file's first line, in the order of the kinds 1 to 6.
inline constexpr std::string_view InterpolationKeywords =
    "LINEAR,SEMILOGY,SEMILOGX,LOGLOG,GSLINEAR,GSLOGLOG";

// One point of a table. Offset and Shift are read for the GS kinds only (0 otherwise).
class TDataItem {
  public:
    double X = 0;
    double Y = 0;
    double Offset = 0;
    double Shift = 0;
};

// The points of one table, ascending by X. A point whose X is already present is not
// inserted, so the first of two equal X values read stays.
class TDataItems : public TSortedCollection<TDataItem, double> {
  public:
    TDataItems() : TSortedCollection(10, 10) {}

  protected:
    int Compare(const double& a, const double& b) const override;
    double ItemKey(const TDataItem* item) const override { return item->X; }
};

class TTable {
  public:
    explicit TTable(std::string name) : Name(std::move(name)) {}

    std::string Name;                           // as requested: the cache key
    TInterpolationKind Interpolation = ikNone;  // from the file's kind line
    TDataItems Points;                          // owned
};

// The two points that interpolate at some x, and the offset and shift that go with them.
struct TInterval {
    const TDataItem* P1 = nullptr;
    const TDataItem* P2 = nullptr;
    double Offset = 0;
    double Shift = 0;
};

// Selects the interval for x: the two points around it, the first two below the first point,
// the last two from the last point on. The table must hold at least two points.
TInterval FindInterval(const TTable& table, double x);

// The interpolated value of table at x, intermediates in extended precision; x itself for
// ikNone or fewer than two points.
double Interpolate(const TTable& table, double x);

// The table cache: tables read from files in the folder the source names, keyed by the name
// as requested (ordinal, case-sensitive: "river1" and "RIVER1" are two entries). Not
// thread-safe; see TableValue below for how the engine uses the process-wide one.
class TTables : public TSortedCollection<TTable, std::string_view> {
  public:
    // tableDirectory is asked for the folder each time a table is looked for on disk.
    explicit TTables(std::function<std::string()> tableDirectory);

    void SetTableDirectorySource(std::function<std::string()> tableDirectory);
    // Where a table whose file cannot be found or read is told (TableNotFoundText,
    // TableUnreadableText), once per name until ClearTables; empty: nowhere. Called on the
    // thread that looks the table up.
    void SetProblemReport(std::function<void(const std::string& message)> report);

    // The cached table, or the table read now from its file. False when there is no file,
    // it cannot be read, it has no kind line (nothing cached: the next call looks again), or
    // the table has fewer than two points (cached all the same until ClearTables).
    bool GetTable(const std::string& name, TTable*& table);

    // Sequential scan of the cache for name; index 0 and false when absent.
    bool FindTable(const std::string& name, std::int32_t& index) const;

    // The interpolated value of table name at x; x unchanged when the table is unusable.
    double TableValue(const std::string& name, double x);

    // Destroys every cached table, the last first, and forgets which tables were reported.
    void ClearTables();

    // The file name of table name, with "/" separators: a name without "/" or "\" goes in
    // the table folder; ".TBL" is appended unless the name's own last part has a ".".
    std::string TableFilePath(const std::string& name) const;

    // The file of table name: the path looked for (TableFilePath) and the file found there,
    // letter case ignored (none when there is no such file).
    struct TTableFile {
        std::string Path;
        std::optional<std::filesystem::path> Found;
    };
    TTableFile LocateTable(const std::string& name) const;

  protected:
    int Compare(const std::string_view& a, const std::string_view& b) const override;
    std::string_view ItemKey(const TTable* item) const override { return item->Name; }

  private:
    void Report(const std::string& name, const std::string& message);

    std::function<std::string()> tableDirectory_;
    std::function<void(const std::string&)> report_;
    std::set<std::string> reported_;  // the names told since ClearTables
};

// The status line of a table whose file is missing: "Error 1600: rating table RIVER1 not found
// in /data/tables: the stage passes through unchanged" (the folder of path, made absolute);
// the reason alone is the text after "Error 1600: ".
std::string TableNotFoundText(const std::string& name, const std::string& path);
std::string TableNotFoundReason(const std::string& name, const std::string& path);
// The status line of a table file that exists but cannot be read (reason: the system's).
std::string TableUnreadableText(const std::string& name, const std::string& path,
                                const std::string& reason);

// Reads a table file's lines into table (kind and points). False when the file holds no
// line that names a kind (only empty and ";" lines).
bool ReadTableText(std::string_view text, TTable& table);

// The file at path, or, when there is none, the one whose path differs from it only in the
// letter case of ASCII letters (folder by folder; of several, the first in byte order).
// No value when there is no such regular file.
std::optional<std::filesystem::path> FindFileIgnoringCase(const std::string& path);

// The process-wide cache, made on first use (thread-safe) with no table folder until a
// source is set.
TTables& Tables();

// TableValue and ClearTables of the process-wide cache. The evaluator calls TableValue from
// the calculation thread only, and ClearTables runs only while that thread is stopped, so
// the cache needs no lock.
double TableValue(const std::string& name, double x);
void ClearTables();

}  // namespace ov::rating
