// The binary search of every sorted container of the program (dynamic arrays, sorted
// collections, text lists, the value cache), written once over positions.
#pragma once

#include <cstdint>

namespace ov {

// Searches the count elements at positions 0 .. count-1, kept in order, for a key;
// compareAt(i) is the sign of element i against the key (below 0: the element comes first).
// True when an element equals the key: index is then its position, the first of the equal
// elements with firstOfEqual (else the search stops at the first equal element it meets, which
// for unique keys is the one). Otherwise index is where the key goes to keep the order.
template <class CompareAt>
bool SortedFind(std::int32_t count, CompareAt&& compareAt, std::int32_t& index,
                bool firstOfEqual = false) {
    std::int32_t low = 0;
    std::int32_t high = count - 1;
    bool found = false;
    while (low <= high) {
        const std::int32_t mid = low + (high - low) / 2;
        const int c = compareAt(mid);
        if (c < 0) {
            low = mid + 1;
        } else {
            high = mid - 1;
            if (c == 0) {
                found = true;
                if (!firstOfEqual) {
                    low = mid;
                    break;
                }
            }
        }
    }
    index = low;
    return found;
}

}  // namespace ov
