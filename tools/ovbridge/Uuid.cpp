// Version 4 UUIDs.
#include "Uuid.h"

#include <array>
#include <cstdint>

namespace ovbridge {

TUuidMaker::TUuidMaker() {
    std::random_device source;
    std::array<std::uint32_t, 8> seed{};
    for (auto& word : seed) word = source();
    std::seed_seq sequence(seed.begin(), seed.end());
    engine_.seed(sequence);
}

std::string TUuidMaker::Next() {
    std::uint64_t high = engine_();
    std::uint64_t low = engine_();
    high = (high & ~0xF000ull) | 0x4000ull;                // version 4
    low = (low & ~(0xC000ull << 48)) | (0x8000ull << 48);  // variant 10xx
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (int i = 15; i >= 0; --i) {
        text += hex[(high >> (i * 4)) & 0xF];
        if (i == 8 || i == 4) text += '-';
    }
    text += '-';
    for (int i = 15; i >= 0; --i) {
        text += hex[(low >> (i * 4)) & 0xF];
        if (i == 12) text += '-';
    }
    return text;
}

}  // namespace ovbridge
