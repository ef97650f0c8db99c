// Fuzz target: the rating-table file reader and the interpolation, on the table as read from
// text and through the table cache from a file (TableValue), at stages around every point and
// far outside the table.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "calc/RatingTables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = ov::fuzz::AsText(data, size);
    ov::rating::TTable table("T");
    const bool read = ov::rating::ReadTableText(text, table);

    std::vector<double> stages{-1e300, -1e9, -1, 0, 0.5, 1, 1.5, 2.5, 10, 1e9, 1e300};
    for (std::int32_t i = 0; i < table.Points.Count() && i < 64; ++i) {
        const double x = table.Points.ItemAt(i)->X;
        stages.push_back(x);
        stages.push_back(std::nextafter(x, -INFINITY));
        stages.push_back(std::nextafter(x, INFINITY));
        if (i + 1 < table.Points.Count()) stages.push_back((x + table.Points.ItemAt(i + 1)->X) / 2);
    }
    for (double x : stages) {
        try {
            (void)ov::rating::Interpolate(table, x);
        } catch (const ov::Exception&) {
            // An arithmetic fault is the calculation's error, as for any function.
        }
    }

    if (read) {
        ov::fuzz::WriteScratchFile("T.TBL", text);
        ov::rating::TTables tables([] { return ov::fuzz::ScratchFolder().string(); });
        for (double x : stages) {
            try {
                (void)tables.TableValue("T", x);
            } catch (const ov::Exception&) {
            }
        }
    }
    return 0;
}
