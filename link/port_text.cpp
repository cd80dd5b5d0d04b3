#include "link/port_text.h"

#include <algorithm>
#include <cstring>

namespace norvane::discovery {

namespace {

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0 when it is malformed (overlong
// forms, surrogates and values past U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char c = at(0);
    const std::size_t left = text.size() - i;
    if (c < 0x80) {
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        return (left >= 2 && IsContinuation(at(1))) ? 2 : 0;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        if (left < 3 || !IsContinuation(at(1)) || !IsContinuation(at(2))) {
            return 0;
        }
        if ((c == 0xE0 && at(1) < 0xA0) || (c == 0xED && at(1) > 0x9F)) {
            return 0;
        }
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (left < 4 || !IsContinuation(at(1)) || !IsContinuation(at(2)) ||
            !IsContinuation(at(3))) {
            return 0;
        }
        if ((c == 0xF0 && at(1) < 0x90) || (c == 0xF4 && at(1) > 0x8F)) {
            return 0;
        }
        return 4;
    }
    return 0;
}

}  // namespace

std::optional<std::string_view> Raw(const char* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    const std::size_t n = strnlen(value, kMaxRawValue + 1);
    if (n > kMaxRawValue) {
        return std::nullopt;
    }
    return std::string_view(value, n);
}

std::string CleanText(std::string_view raw, std::size_t maxBytes) {
    std::string out;
    bool blankPending = false;
    std::size_t i = 0;
    while (i < raw.size()) {
        const auto c = static_cast<unsigned char>(raw[i]);
        const std::size_t len = Utf8SequenceLength(raw, i);
        if (len == 1 && (c <= 0x20 || c == 0x7F)) {
            blankPending = !out.empty();
            ++i;
            continue;
        }
        const std::string_view piece = (len == 0) ? std::string_view("?") : raw.substr(i, len);
        i += (len == 0) ? 1 : len;
        if (out.size() + piece.size() + (blankPending ? 1 : 0) > maxBytes) {
            break;
        }
        if (blankPending) {
            out += ' ';
            blankPending = false;
        }
        out += piece;
    }
    return out;
}

std::string CleanValue(std::optional<std::string_view> raw, std::size_t maxBytes) {
    return raw ? CleanText(*raw, maxBytes) : std::string();
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
    const auto it = std::search(text.begin(), text.end(), part.begin(), part.end(),
                                [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
    return !part.empty() && it != text.end();
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

std::optional<unsigned> ParseHex(std::optional<std::string_view> text, std::size_t maxDigits) {
    if (!text || text->empty() || text->size() > maxDigits) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char ch : *text) {
        const char c = LowerAscii(ch);
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return value;
}

std::optional<unsigned> ParseDecimal(std::optional<std::string_view> text) {
    if (!text || text->empty() || text->size() > 9) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : *text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

bool NaturalLess(std::string_view a, std::string_view b) {
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ie = i;
            std::size_t je = j;
            while (ie < a.size() && isDigit(a[ie])) {
                ++ie;
            }
            while (je < b.size() && isDigit(b[je])) {
                ++je;
            }
            std::string_view na = a.substr(i, ie - i);
            std::string_view nb = b.substr(j, je - j);
            na.remove_prefix(std::min(na.find_first_not_of('0'), na.size()));
            nb.remove_prefix(std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size()) {
                return na.size() < nb.size();
            }
            if (na != nb) {
                return na < nb;
            }
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j]) {
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            }
            ++i;
            ++j;
        }
    }
    if ((a.size() - i) != (b.size() - j)) {
        return (a.size() - i) < (b.size() - j);
    }
    return a < b;  // equal by value ("01" and "1"): keep the order strict
}

}  // namespace norvane::discovery
