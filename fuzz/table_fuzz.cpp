// Fuzz target: the rating-table file reader and the interpolation, on the table as read from
// text and through the table cache from a file (TableValue, which must give the same values),
// at stages around every point, between the points and far outside the table.
// The linear kinds interpolate monotonously between sorted points: LINEAR, and GSLINEAR while
// every point has the same shift (its offsets cancel out; a shift that changes from point to
// point moves stages into other intervals by design). For them, on the stages in order:
//   - within each interval (the two points FindInterval takes, which reach beyond the first
//     and the last point), the value moves monotonously in the direction of the interval's Y,
//     exactly, as each step of the extended-precision arithmetic keeps the order;
//   - at a point (the last aside, which ends the interval before it) the table gives its Y,
//     and between two points a value between their Y (without a shift: with one, the stage
//     is another);
//   - a table whose Y rises (or falls) with X gives values that rise (or fall) with the stage
//     over the whole line.
// Where two intervals meet, and for the bounds, a value may pass the Y it approaches by the
// rounding of the extended-precision intermediates: a few units of their last place.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "calc/RatingTables.h"

namespace {

using ov::rating::TDataItem;
using ov::rating::TTable;

// The points checked: more only add time to a run.
constexpr std::int32_t kPointsChecked = 64;

std::string Number(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

struct TStage {
    double X;
    double Value;
    std::int32_t Interval;  // the index of the interval's first point
};

// Whether the linear kind's properties hold for table: LINEAR, or GSLINEAR with one shift.
bool InterpolatesLinearly(const TTable& table) {
    if (table.Interpolation == ov::rating::ikLinear) return true;
    if (table.Interpolation != ov::rating::ikGsLinear) return false;
    for (std::int32_t i = 1; i < table.Points.Count(); ++i)
        if (table.Points.ItemAt(i)->Shift != table.Points.ItemAt(0)->Shift) return false;
    return true;
}

void CheckLinear(const TTable& table, std::vector<double> xs) {
    const std::int32_t count = std::min(table.Points.Count(), kPointsChecked);
    const TDataItem& first = *table.Points.ItemAt(0);
    const bool shifted = table.Interpolation == ov::rating::ikGsLinear && first.Shift != 0;
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::vector<TStage> stages;
    stages.reserve(xs.size());
    for (const double x : xs) {
        // The stage the interpolation takes its interval for: the shifted one for a shift.
        const double at =
            shifted ? static_cast<double>(static_cast<long double>(x) + first.Shift) : x;
        const ov::rating::TInterval iv = ov::rating::FindInterval(table, at);
        const std::int32_t interval = table.Points.IndexOf(iv.P1);
        stages.push_back({x, ov::rating::Interpolate(table, x), interval});
    }

    // The rounding a value may show beyond a bound: a few units of the last place of the
    // extended-precision intermediates, for the largest Y of the table.
    long double largest = 0;
    bool rising = true, falling = true;
    for (std::int32_t i = 0; i < table.Points.Count(); ++i) {
        const TDataItem& p = *table.Points.ItemAt(i);
        largest = std::max(largest, std::fabs(static_cast<long double>(p.Y)));
        if (i > 0) {
            const double before = table.Points.ItemAt(i - 1)->Y;
            rising = rising && p.Y >= before;
            falling = falling && p.Y <= before;
        }
    }
    const long double slack = largest * 0x1p-58L;
    auto failed = [&](const char* what, const TStage& a, const TStage* b) {
        return [=, &table] {
            std::string text = std::string(what) + ": " + std::to_string(table.Points.Count()) +
                               " points, at " + Number(a.X) + " " + Number(a.Value);
            if (b != nullptr) text += ", at " + Number(b->X) + " " + Number(b->Value);
            return text;
        };
    };

    for (std::size_t k = 0; k < stages.size(); ++k) {
        const TStage& s = stages[k];
        const TDataItem& p1 = *table.Points.ItemAt(s.Interval);
        const TDataItem& p2 = *table.Points.ItemAt(s.Interval + 1);
        if (k > 0 && stages[k - 1].Interval == s.Interval) {
            const TStage& before = stages[k - 1];
            const bool ordered = p2.Y >= p1.Y ? before.Value <= s.Value : before.Value >= s.Value;
            ov::fuzz::Require(ordered, failed("not monotonous within an interval", before, &s));
        }
        if (k > 0 && (rising || falling)) {
            const TStage& before = stages[k - 1];
            // Far outside the table both may be infinite.
            const long double step =
                s.Value == before.Value ? 0 : static_cast<long double>(s.Value) - before.Value;
            ov::fuzz::Require(rising ? step >= -slack : step <= slack,
                              failed("not monotonous over a monotonous table", before, &s));
        }
        if (shifted) continue;
        // The point at the stage or the last one before it, and the one after it.
        std::int32_t i = 0;
        if (!table.Points.Search(s.X, i)) --i;
        if (i < 0 || i + 1 >= count) continue;
        const TDataItem& a = *table.Points.ItemAt(i);
        const TDataItem& b = *table.Points.ItemAt(i + 1);
        if (s.X == a.X)
            ov::fuzz::Require(s.Value == a.Y,
                              failed("a point's stage does not give its Y", s, nullptr));
        const long double low = std::min(a.Y, b.Y) - slack;
        const long double high = std::max(a.Y, b.Y) + slack;
        ov::fuzz::Require(s.Value >= low && s.Value <= high,
                          failed("a value outside the Y of its points", s, nullptr));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = ov::fuzz::AsText(data, size);
    TTable table("T");
    const bool read = ov::rating::ReadTableText(text, table);

    std::vector<double> stages{-1e300, -1e9, -1, 0, 0.5, 1, 1.5, 2.5, 10, 1e9, 1e300};
    for (std::int32_t i = 0; i < table.Points.Count() && i < kPointsChecked; ++i) {
        const double x = table.Points.ItemAt(i)->X;
        stages.push_back(x);
        stages.push_back(std::nextafter(x, -INFINITY));
        stages.push_back(std::nextafter(x, INFINITY));
        if (i + 1 < table.Points.Count()) {
            const double next = table.Points.ItemAt(i + 1)->X;
            stages.push_back(x + (next - x) / 2);
            stages.push_back(x + (next - x) / 4);
            stages.push_back(std::nextafter(next, -INFINITY));
        }
    }
    for (double& x : stages)
        if (!std::isfinite(x)) x = 0;
    std::vector<double> values;
    values.reserve(stages.size());
    for (const double x : stages) {
        double value = NAN;
        try {
            value = ov::rating::Interpolate(table, x);
        } catch (const ov::Exception&) {
            // An arithmetic fault is the calculation's error, as for any function.
        }
        values.push_back(value);
    }
    if (table.Points.Count() >= 2 && InterpolatesLinearly(table)) CheckLinear(table, stages);

    if (read) {
        ov::fuzz::WriteScratchFile("T.TBL", text);
        ov::rating::TTables tables([] { return ov::fuzz::ScratchFolder().string(); });
        for (std::size_t k = 0; k < stages.size(); ++k) {
            double value = NAN;
            try {
                value = tables.TableValue("T", stages[k]);
            } catch (const ov::Exception&) {
            }
            // Read from the file the table interpolates as read from its text.
            ov::fuzz::Require(
                value == values[k] || (std::isnan(value) && std::isnan(values[k])), [&] {
                    return "TableValue at " + Number(stages[k]) + " gives " + Number(value) +
                           ", the table read from its text " + Number(values[k]);
                });
        }
    }
    return 0;
}
