// Text that devices write: sysfs attributes, the udev database and USB string descriptors come
// from the device or its firmware, so every value is length-checked and cleaned before it becomes
// part of a name. Also the device node order the lists are sorted in.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace norvane::discovery {

// Longer than any name; a longer value is ignored.
inline constexpr std::size_t kMaxRawValue = 4096;

// A zero-terminated value as read, or nothing when it is missing or longer than kMaxRawValue.
std::optional<std::string_view> Raw(const char* value);

// Keeps well-formed UTF-8, turns control characters and runs of blanks into one blank and
// malformed bytes into '?', trims, and cuts at a character boundary within maxBytes.
std::string CleanText(std::string_view raw, std::size_t maxBytes);
// CleanText of a value that may be missing (missing: empty).
std::string CleanValue(std::optional<std::string_view> raw, std::size_t maxBytes);

char LowerAscii(char c);
bool ContainsNoCase(std::string_view text, std::string_view part);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// A hexadecimal sysfs number such as idVendor "12d1" or bInterfaceNumber "01".
std::optional<unsigned> ParseHex(std::optional<std::string_view> text, std::size_t maxDigits);
// A decimal number of at most 9 digits, nothing else.
std::optional<unsigned> ParseDecimal(std::optional<std::string_view> text);

// Device node order with numbers compared by value: ttyUSB2 before ttyUSB10.
bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace norvane::discovery
