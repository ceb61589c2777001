#include "dovrane_core/json.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "dovrane_core/utf8.hpp"
#include "unicode_tables.hpp"

namespace dovrane_core::json {

Number Number::from_unsigned(std::uint64_t v) {
    Number n;
    n.kind = NumberKind::UnsignedInteger;
    n.unsigned_value = v;
    return n;
}

Number Number::from_signed(std::int64_t v) {
    if (v >= 0) return from_unsigned(static_cast<std::uint64_t>(v));
    Number n;
    n.kind = NumberKind::NegativeInteger;
    n.negative_value = v;
    return n;
}

Number Number::from_double(double v) {
    Number n;
    n.kind = NumberKind::FloatingPoint;
    n.float_value = v;
    return n;
}

bool Number::as_int64(std::int64_t& out) const {
    switch (kind) {
        case NumberKind::UnsignedInteger:
            if (unsigned_value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
            out = static_cast<std::int64_t>(unsigned_value);
            return true;
        case NumberKind::NegativeInteger:
            out = negative_value;
            return true;
        case NumberKind::FloatingPoint:
            return false;
    }
    return false;
}

bool operator==(const Number& a, const Number& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case NumberKind::UnsignedInteger: return a.unsigned_value == b.unsigned_value;
        case NumberKind::NegativeInteger: return a.negative_value == b.negative_value;
        case NumberKind::FloatingPoint: return a.float_value == b.float_value;
    }
    return false;
}

bool operator==(const Value& a, const Value& b) { return a.data == b.data; }

namespace {

template <class Int>
void append_integer(std::string& out, Int value) {
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)ec;  // 24 bytes always suffice for 64-bit integers
    out.append(buffer, end);
}

}  // namespace

void append_double_text(std::string& out, double value) {
    if (std::signbit(value)) {
        out.push_back('-');
        value = -value;
    }
    if (value == 0.0) {
        out.append("0.0");
        return;
    }
    // Shortest round-trip digits in scientific form: "d[.ddd]e[+-]XX".
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    (void)ec;  // 64 bytes always suffice for a double in scientific form
    const char* e_mark = static_cast<const char*>(std::memchr(buffer, 'e', static_cast<std::size_t>(end - buffer)));
    char digits[24];
    std::size_t n = 0;
    for (const char* p = buffer; p != e_mark; ++p) {
        if (*p != '.') digits[n++] = *p;
    }
    int exponent = 0;
    std::from_chars(e_mark[1] == '+' ? e_mark + 2 : e_mark + 1, end, exponent);

    const int count = static_cast<int>(n);
    if (exponent >= -5 && exponent <= 15) {
        if (exponent < 0) {
            out.append("0.");
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out.append(digits, n);
        } else if (exponent < count - 1) {
            out.append(digits, static_cast<std::size_t>(exponent + 1));
            out.push_back('.');
            out.append(digits + exponent + 1, static_cast<std::size_t>(count - exponent - 1));
        } else {
            out.append(digits, n);
            out.append(static_cast<std::size_t>(exponent - count + 1), '0');
            out.append(".0");
        }
        return;
    }
    out.push_back(digits[0]);
    if (n > 1) {
        out.push_back('.');
        out.append(digits + 1, n - 1);
    }
    out.push_back('e');
    if (exponent > 0) {
        out.push_back('+');
        append_integer(out, exponent);
    } else {
        out.push_back('-');
        append_integer(out, -exponent);
    }
}

void append_number_text(std::string& out, const Number& number) {
    switch (number.kind) {
        case NumberKind::UnsignedInteger: append_integer(out, number.unsigned_value); return;
        case NumberKind::NegativeInteger: append_integer(out, number.negative_value); return;
        case NumberKind::FloatingPoint: append_double_text(out, number.float_value); return;
    }
}

std::string number_text(const Number& number) {
    std::string out;
    append_number_text(out, number);
    return out;
}

namespace {

constexpr char hex_digits[] = "0123456789abcdef";

// The bytes each form copies as they are, so runs of them go out in one append.
struct PlainBytes {
    std::array<bool, 256> json{};
    std::array<bool, 256> graphql{};
};

constexpr PlainBytes make_plain_bytes() {
    PlainBytes plain;
    for (int c = 0x20; c < 0x100; ++c) {
        const bool quoting = c == '"' || c == '\\';
        plain.json[c] = !quoting;
        // Bytes from 0x80 on are checked as UTF-8 and may need an escape.
        plain.graphql[c] = !quoting && c < 0x7F;
    }
    return plain;
}

constexpr PlainBytes plain_bytes = make_plain_bytes();

// "\u{301}": lower-case hex, no leading zeros.
void append_code_point_escape(std::string& out, char32_t cp) {
    out.append("\\u{");
    int shift = 20;
    while (shift > 0 && ((cp >> shift) & 0xF) == 0) shift -= 4;
    for (; shift >= 0; shift -= 4) out.push_back(hex_digits[(cp >> shift) & 0xF]);
    out.push_back('}');
}

// A GraphQL string's character from U+0080 on, at `p`; returns the bytes read.
std::size_t append_graphql_non_ascii(std::string& out, const char* p, const char* end) {
    const utf8::Decoded decoded = utf8::decode(p, end);
    if (!decoded.valid) {
        out.append("\xEF\xBF\xBD");  // U+FFFD keeps the output valid UTF-8
    } else if (unicode::is_grapheme_extend(decoded.code_point) || unicode::is_not_printable(decoded.code_point)) {
        append_code_point_escape(out, decoded.code_point);
    } else {
        out.append(p, decoded.length);
    }
    return decoded.length;
}

}  // namespace

void append_quoted_string(std::string& out, std::string_view text, QuoteForm form) {
    const std::array<bool, 256>& plain = form == QuoteForm::Json ? plain_bytes.json : plain_bytes.graphql;
    const char* p = text.data();
    const char* const end = p + text.size();
    out.push_back('"');
    while (p != end) {
        const char* run = p;
        while (run != end && plain[static_cast<unsigned char>(*run)]) ++run;
        out.append(p, static_cast<std::size_t>(run - p));
        if (run == end) break;
        p = run;
        const auto byte = static_cast<unsigned char>(*p);
        if (byte >= 0x80) {  // only the GraphQL form stops at these
            p += append_graphql_non_ascii(out, p, end);
            continue;
        }
        ++p;
        switch (byte) {
            case '"': out.append("\\\""); continue;
            case '\\': out.append("\\\\"); continue;
            case '\n': out.append("\\n"); continue;
            case '\r': out.append("\\r"); continue;
            case '\t': out.append("\\t"); continue;
            default: break;
        }
        if (form == QuoteForm::GraphQL) {
            // U+0000 included: "\0" is no GraphQL escape, "\u{0}" is.
            append_code_point_escape(out, byte);
        } else if (byte == '\b') {
            out.append("\\b");
        } else if (byte == '\f') {
            out.append("\\f");
        } else {
            out.append("\\u00");
            out.push_back(hex_digits[byte >> 4]);
            out.push_back(hex_digits[byte & 0xF]);
        }
    }
    out.push_back('"');
}

namespace {

void append_json_text(std::string& out, const Value& value) {
    if (value.is_null()) {
        out.append("null");
    } else if (const bool* b = value.as_bool()) {
        out.append(*b ? "true" : "false");
    } else if (const Number* n = value.as_number()) {
        append_number_text(out, *n);
    } else if (const std::string* s = value.as_string()) {
        append_quoted_string(out, *s);
    } else if (const Array* a = value.as_array()) {
        out.push_back('[');
        for (std::size_t i = 0; i < a->size(); ++i) {
            if (i) out.push_back(',');
            append_json_text(out, (*a)[i]);
        }
        out.push_back(']');
    } else if (const Object* o = value.as_object()) {
        out.push_back('{');
        bool first = true;
        for (const auto& [key, item] : *o) {
            if (!first) out.push_back(',');
            first = false;
            append_quoted_string(out, key);
            out.push_back(':');
            append_json_text(out, item);
        }
        out.push_back('}');
    }
}

}  // namespace

std::string to_json_text(const Value& value) {
    std::string out;
    append_json_text(out, value);
    return out;
}

}  // namespace dovrane_core::json
