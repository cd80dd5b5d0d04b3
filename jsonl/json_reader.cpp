#include "jsonl/json_reader.h"

#include <charconv>
#include <cstdint>

namespace norvane {

const JsonValue* JsonValue::Find(std::string_view key) const {
    for (std::size_t k = 0; k < names.size() && k < members.size(); ++k) {
        if (names[k] == key) {
            return &members[k];
        }
    }
    return nullptr;
}

const double* JsonValue::Number(std::string_view key) const {
    const JsonValue* v = Find(key);
    return v != nullptr && v->kind == Kind::kNumber ? &v->number : nullptr;
}

const std::string* JsonValue::Text(std::string_view key) const {
    const JsonValue* v = Find(key);
    return v != nullptr && v->kind == Kind::kString ? &v->text : nullptr;
}

namespace {

class Parser {
  public:
    Parser(std::string_view text, std::string& error) : s_(text), error_(error) {}

    bool Document(JsonValue& out) {
        if (!Value(out, 0)) {
            return false;
        }
        Space();
        return at_ == s_.size() || Fail("text after the value");
    }

  private:
    bool Fail(const char* what) {
        error_ = std::string(what) + " at column " + std::to_string(at_ + 1);
        return false;
    }
    void Space() {
        while (at_ < s_.size() &&
               (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) {
            ++at_;
        }
    }
    bool Word(std::string_view word) {
        if (s_.substr(at_, word.size()) != word) {
            return Fail("unknown word");
        }
        at_ += word.size();
        return true;
    }

    bool Value(JsonValue& out, int depth) {
        Space();
        if (at_ == s_.size()) {
            return Fail("a value missing");
        }
        switch (s_[at_]) {
            case '{':
                return depth < kJsonMaxDepth ? Object(out, depth + 1) : Fail("nested too deep");
            case '[':
                return depth < kJsonMaxDepth ? Array(out, depth + 1) : Fail("nested too deep");
            case '"':
                out.kind = JsonValue::Kind::kString;
                return String(out.text);
            case 't':
                out.kind = JsonValue::Kind::kBool;
                out.boolean = true;
                return Word("true");
            case 'f':
                out.kind = JsonValue::Kind::kBool;
                return Word("false");
            case 'n':
                return Word("null");
            default:
                return Number(out);
        }
    }

    bool Number(JsonValue& out) {
        // JSON's grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
        const std::size_t start = at_;
        const auto digits = [this] {
            const std::size_t from = at_;
            while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') {
                ++at_;
            }
            return at_ - from;
        };
        at_ += s_[at_] == '-' ? 1 : 0;
        const bool leadingZero = at_ < s_.size() && s_[at_] == '0';
        const std::size_t whole = digits();
        if (whole == 0 || (leadingZero && whole > 1)) {
            at_ = start;
            return Fail("unexpected character");
        }
        if (at_ < s_.size() && s_[at_] == '.' && (++at_, digits() == 0)) {
            return Fail("digits missing after '.'");
        }
        if (at_ < s_.size() && (s_[at_] == 'e' || s_[at_] == 'E')) {
            ++at_;
            at_ += at_ < s_.size() && (s_[at_] == '+' || s_[at_] == '-') ? 1 : 0;
            if (digits() == 0) {
                return Fail("digits missing in the exponent");
            }
        }
        out.kind = JsonValue::Kind::kNumber;
        const auto [end, ec] = std::from_chars(s_.data() + start, s_.data() + at_, out.number);
        return ec == std::errc() || Fail("number out of range");
    }

    static void Utf8(std::string& out, std::uint32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    bool Hex4(std::uint32_t& out) {
        if (s_.size() - at_ < 4) {
            return Fail("short \\u escape");
        }
        const auto [end, ec] = std::from_chars(s_.data() + at_, s_.data() + at_ + 4, out, 16);
        if (ec != std::errc() || end != s_.data() + at_ + 4) {
            return Fail("bad \\u escape");
        }
        at_ += 4;
        return true;
    }

    bool String(std::string& out) {
        ++at_;  // the opening quote
        out.clear();
        while (at_ < s_.size()) {
            const char c = s_[at_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return Fail("control character in a string");
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ == s_.size()) {
                break;
            }
            const char e = s_[at_++];
            const std::string_view plain = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
            if (const std::size_t k = plain.find(e); k != std::string_view::npos) {
                out += meant[k];
                continue;
            }
            std::uint32_t code = 0, low = 0;
            if (e != 'u' || !Hex4(code)) {
                return e != 'u' ? Fail("bad escape") : false;
            }
            if (code >= 0xD800 && code < 0xDC00 && s_.substr(at_, 2) == "\\u") {
                at_ += 2;
                if (!Hex4(low)) {
                    return false;
                }
                if (low < 0xDC00 || low > 0xDFFF) {
                    return Fail("bad surrogate pair");
                }
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            }
            Utf8(out, code);
        }
        return Fail("string not closed");
    }

    bool Array(JsonValue& out, int depth) {
        out.kind = JsonValue::Kind::kArray;
        ++at_;
        Space();
        if (at_ < s_.size() && s_[at_] == ']') {
            ++at_;
            return true;
        }
        for (;;) {
            out.items.emplace_back();
            if (!Value(out.items.back(), depth)) {
                return false;
            }
            Space();
            if (at_ < s_.size() && s_[at_] == ',') {
                ++at_;
            } else if (at_ < s_.size() && s_[at_] == ']') {
                ++at_;
                return true;
            } else {
                return Fail("',' or ']' expected");
            }
        }
    }

    bool Object(JsonValue& out, int depth) {
        out.kind = JsonValue::Kind::kObject;
        ++at_;
        Space();
        if (at_ < s_.size() && s_[at_] == '}') {
            ++at_;
            return true;
        }
        for (;;) {
            Space();
            if (at_ == s_.size() || s_[at_] != '"') {
                return Fail("a key expected");
            }
            out.names.emplace_back();
            out.members.emplace_back();
            if (!String(out.names.back())) {
                return false;
            }
            Space();
            if (at_ == s_.size() || s_[at_] != ':') {
                return Fail("':' expected");
            }
            ++at_;
            if (!Value(out.members.back(), depth)) {
                return false;
            }
            Space();
            if (at_ < s_.size() && s_[at_] == ',') {
                ++at_;
            } else if (at_ < s_.size() && s_[at_] == '}') {
                ++at_;
                return true;
            } else {
                return Fail("',' or '}' expected");
            }
        }
    }

    std::string_view s_;
    std::string& error_;
    std::size_t at_ = 0;
};

}  // namespace

bool ParseJson(std::string_view text, JsonValue& out, std::string& error) {
    out = JsonValue{};
    return Parser(text, error).Document(out);
}

}  // namespace norvane
