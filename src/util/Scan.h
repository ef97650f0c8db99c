// The system's "%" scanner, counterpart of the formatter: reads comma lists, station.sensor
// bindings, data lines, numerals and table lines. It stores every value it could read and
// reports success as a whole.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "util/Format.h"

namespace ov {

// The variable a scan directive stores into. A directive converts its value to the
// variable's type (a text directive leaves a non-text variable alone).
class TScanArg {
  public:
    using Target = std::variant<std::string*, std::int32_t*, std::uint16_t*, std::uint8_t*, bool*,
                                char*, double*, float*>;
    TScanArg(std::string* v) : target_(v) {}
    TScanArg(std::int32_t* v) : target_(v) {}
    TScanArg(std::uint16_t* v) : target_(v) {}
    TScanArg(std::uint8_t* v) : target_(v) {}
    TScanArg(bool* v) : target_(v) {}
    TScanArg(char* v) : target_(v) {}
    TScanArg(double* v) : target_(v) {}
    TScanArg(float* v) : target_(v) {}
    const Target& target() const { return target_; }

  private:
    Target target_;
};

// Scans source from the 1-based position (0 or below counts as 1); position becomes the
// position after the last character used. True if nothing failed while required.
bool ScanText(std::string_view source, int& position, std::string_view format,
              std::span<const TScanArg> args, const TTimeFormats& tf = DefaultTimeFormats());
inline bool ScanText(std::string_view source, int& position, std::string_view format,
                     std::initializer_list<TScanArg> args,
                     const TTimeFormats& tf = DefaultTimeFormats()) {
    return ScanText(source, position, format, std::span<const TScanArg>(args.begin(), args.size()),
                    tf);
}

inline bool ScanTextFromStart(std::string_view source, std::string_view format,
                              std::initializer_list<TScanArg> args,
                              const TTimeFormats& tf = DefaultTimeFormats()) {
    int position = 1;
    return ScanText(source, position, format, args, tf);
}
inline bool ScanTextFromStart(std::string_view source, std::string_view format,
                              std::span<const TScanArg> args,
                              const TTimeFormats& tf = DefaultTimeFormats()) {
    int position = 1;
    return ScanText(source, position, format, args, tf);
}

}  // namespace ov
