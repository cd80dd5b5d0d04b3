// A small reader of JSON text, for the lines the tools themselves print (decode, monitor): the
// whole of RFC 8259 but nesting deeper than kJsonMaxDepth, which those lines never need.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace norvane {

inline constexpr int kJsonMaxDepth = 16;

struct JsonValue {
    enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
    Kind kind = Kind::kNull;
    bool boolean = false;
    double number = 0;
    std::string text;                // kString
    std::vector<JsonValue> items;    // kArray
    std::vector<std::string> names;  // kObject, in text order,
    std::vector<JsonValue> members;  // with their values

    // The member named `key` of an object (the first of that name), or nullptr.
    const JsonValue* Find(std::string_view key) const;
    // The member's number or text when it is one, else nullptr.
    const double* Number(std::string_view key) const;
    const std::string* Text(std::string_view key) const;
};

// Parses `text` (one value, white space around it allowed) into `out`. False with a short reason
// in `error` ("unexpected ',' at column 12") when it is not JSON.
bool ParseJson(std::string_view text, JsonValue& out, std::string& error);

}  // namespace norvane
