// The JSON that ovbridge reads and writes: a strict reader for the station records that arrive
// over MQTT (RFC 8259, UTF-8, bounded depth) and a writer for the messages it publishes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ovbridge {

struct TJsonMember;

class TJsonValue {
  public:
    enum TKind { jkNull, jkBool, jkNumber, jkString, jkArray, jkObject };

    TKind Kind = jkNull;
    bool Bool = false;
    double Number = 0;
    std::string String;  // UTF-8
    std::vector<TJsonValue> Items;
    std::vector<TJsonMember> Members;  // in the order written

    // The first member named name; null when there is none or this is no object.
    const TJsonValue* Find(std::string_view name) const;
};

// An object's member: its name (UTF-8) and value.
struct TJsonMember {
    std::string Name;
    TJsonValue Value;
};

// Reads text as one JSON value with nothing but white space around it. False with why (a short
// English text with the byte offset) for anything else: bad UTF-8, a duplicate member name, a
// number beyond double's range, nesting deeper than 32.
bool ParseJson(std::string_view text, TJsonValue& value, std::string& why);

// Appends text (UTF-8) as a JSON string: quotes, backslash escapes, control characters as \u00XX.
void AppendJsonString(std::string& out, std::string_view text);
// Appends a finite number in its shortest form that reads back the same ("38.422", "-9999").
void AppendJsonNumber(std::string& out, double value);

// Builds one JSON object member by member: Object().Text("a", "x").Number("b", 1).End().
class TJsonWriter {
  public:
    TJsonWriter& Begin();  // "{" (the first call, and each nested object after its name)
    TJsonWriter& Name(std::string_view name);
    TJsonWriter& Text(std::string_view name, std::string_view value);
    TJsonWriter& Number(std::string_view name, double value);  // null when not finite
    TJsonWriter& Integer(std::string_view name, long long value);
    TJsonWriter& Null(std::string_view name);
    TJsonWriter& Raw(std::string_view name, std::string_view json);  // a value written already
    TJsonWriter& End();                                              // "}"
    const std::string& Json() const { return out_; }
    std::string Take() { return std::move(out_); }

  private:
    void Separate();
    std::string out_;
    bool first_ = true;
};

}  // namespace ovbridge
