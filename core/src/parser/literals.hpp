// Literal bodies: block-string values, string escapes and number literals,
// read from tokens the lexer has checked.
// Internal to parser.cpp, which includes it once, in one translation unit so
// that the lexer inlines into the parser.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "dovrane_core/json.hpp"
#include "dovrane_core/utf8.hpp"
#include "lexer.hpp"

namespace dovrane_core::parser {
namespace {

// ---------------------------------------------------------------------------
// Block strings and escapes

// A block string's lines, each without its line break: LF, CRLF or a lone CR.
struct BlockLines {
    const char* end = nullptr;
    bool has_carriage_return = false;

    const char* line_end(const char* line) const {
        if (!has_carriage_return) {
            const void* found = std::memchr(line, '\n', static_cast<std::size_t>(end - line));
            return found != nullptr ? static_cast<const char*>(found) : end;
        }
        while (line != end && *line != '\n' && *line != '\r') ++line;
        return line;
    }
    // The start of the line after the one that stops at `stop`; null after the last.
    const char* next_line(const char* stop) const {
        if (stop == end) return nullptr;
        return stop + (*stop == '\r' && stop + 1 != end && stop[1] == '\n' ? 2 : 1);
    }
};

std::size_t indentation(const char* line, const char* stop) {
    const char* p = line;
    while (p != stop && (*p == ' ' || *p == '\t')) ++p;
    return static_cast<std::size_t>(p - line);
}

// Copies [from, stop) to `out`, an escaped triple quote as three quotes.
char* copy_block_text(const char* from, const char* stop, bool has_escape, char* out) {
    while (has_escape) {
        const void* found = std::memchr(from, '\\', static_cast<std::size_t>(stop - from));
        if (found == nullptr) break;
        const char* slash = static_cast<const char*>(found);
        std::memcpy(out, from, static_cast<std::size_t>(slash - from));
        out += slash - from;
        if (stop - slash >= 4 && slash[1] == '"' && slash[2] == '"' && slash[3] == '"') {
            std::memcpy(out, "\"\"\"", 3);
            out += 3;
            from = slash + 4;
        } else {
            *out++ = '\\';
            from = slash + 1;
        }
    }
    std::memcpy(out, from, static_cast<std::size_t>(stop - from));
    return out + (stop - from);
}

// The block string's value, written to `out` (room for `raw.size()` bytes):
// common indentation removed from every line but the first, blank leading and
// trailing lines dropped, lines joined by LF. One look at each line's
// indentation, then one copy. Returns the value's length.
std::size_t write_block_string_value(std::string_view raw, bool has_carriage_return, bool has_escape, char* out) {
    const BlockLines lines{raw.data() + raw.size(), has_carriage_return};
    constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
    std::size_t common_indent = none;
    const char* first = nullptr;  // the first line that is not blank
    std::size_t first_index = 0;
    const char* last_stop = nullptr;  // where the last line that is not blank stops
    std::size_t index = 0;
    for (const char* line = raw.data(); line != nullptr; ++index) {
        const char* stop = lines.line_end(line);
        const std::size_t indent = indentation(line, stop);
        if (line + indent != stop) {
            if (first == nullptr) {
                first = line;
                first_index = index;
            }
            last_stop = stop;
            if (index > 0) common_indent = std::min(common_indent, indent);
        }
        line = lines.next_line(stop);
    }
    if (first == nullptr) return 0;
    if (common_indent == none) common_indent = 0;
    char* written = out;
    index = first_index;
    for (const char* line = first;; ++index) {
        const char* stop = lines.line_end(line);
        if (line != first) *written++ = '\n';
        const char* from = index > 0 ? line + std::min(common_indent, static_cast<std::size_t>(stop - line)) : line;
        written = copy_block_text(from, stop, has_escape, written);
        if (stop == last_stop) break;
        line = lines.next_line(stop);
    }
    return static_cast<std::size_t>(written - out);
}

// The contents of a string token already checked by the lexer.
std::string unescape_string(std::string_view body) {
    std::string value;
    value.reserve(body.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\') {
            value += body[i];
            continue;
        }
        const char escaped = body[++i];
        switch (escaped) {
            case 'b': value += '\b'; break;
            case 'f': value += '\f'; break;
            case 'n': value += '\n'; break;
            case 'r': value += '\r'; break;
            case 't': value += '\t'; break;
            case 'u': {
                std::uint32_t code_point = static_cast<std::uint32_t>(read_hex4(body.data() + i + 1));
                i += 4;
                if (is_high_surrogate(static_cast<int>(code_point))) {
                    const auto low = static_cast<std::uint32_t>(read_hex4(body.data() + i + 3));
                    code_point = 0x10000 + ((code_point - 0xD800) << 10) + (low - 0xDC00);
                    i += 6;
                }
                utf8::append(value, code_point);
                break;
            }
            default: value += escaped; break;  // \" \\ \/
        }
    }
    return value;
}

// ---------------------------------------------------------------------------
// Numbers

enum class NumberProblem : std::uint8_t { None, Overflow };

// The decimal magnitude of a number literal: the exponent of its leading
// significant digit, plus one (123.4 gives 3, 0.05 gives -1); none when every
// digit is zero. Exponents saturate, so no literal overflows the count.
std::optional<std::int64_t> decimal_magnitude(std::string_view text) {
    std::int64_t integer_digits = 0;
    std::int64_t first_significant = -1;  // index among all mantissa digits
    std::int64_t index = 0;
    bool in_fraction = false;
    std::size_t i = text.front() == '-' ? 1 : 0;
    for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
        if (text[i] == '.') {
            in_fraction = true;
            continue;
        }
        if (text[i] != '0' && first_significant < 0) first_significant = index;
        if (!in_fraction) ++integer_digits;
        ++index;
    }
    std::int64_t exponent = 0;
    if (i < text.size()) {
        ++i;
        const bool exponent_negative = text[i] == '-';
        if (text[i] == '+' || text[i] == '-') ++i;
        for (; i < text.size(); ++i) {
            exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'), 1000000000);
        }
        if (exponent_negative) exponent = -exponent;
    }
    if (first_significant < 0) return std::nullopt;
    return integer_digits - first_significant + exponent;
}

// Int and Float tokens into the three number kinds. Integers outside both
// 64-bit ranges, and -0, are floating-point; a float beyond the double range
// is a problem, one too small for it becomes a signed zero.
NumberProblem read_number(std::string_view text, bool is_float, json::Number& out) {
    const bool negative = text.front() == '-';
    if (!is_float) {
        std::string_view digits = text.substr(negative ? 1 : 0);
        std::uint64_t magnitude = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
        if (ec == std::errc() && end == digits.data() + digits.size()) {
            if (!negative) {
                out = json::Number::from_unsigned(magnitude);
                return NumberProblem::None;
            }
            if (magnitude != 0 && magnitude <= (std::uint64_t{1} << 63)) {
                json::Number number;
                number.kind = json::NumberKind::NegativeInteger;
                number.negative_value = static_cast<std::int64_t>(0 - magnitude);
                out = number;
                return NumberProblem::None;
            }
        }
    }
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Tell overflow from underflow by the decimal magnitude of the literal.
        const std::optional<std::int64_t> magnitude = decimal_magnitude(text);
        if (magnitude && *magnitude > 0) return NumberProblem::Overflow;
        value = negative ? -0.0 : 0.0;
    }
    out = json::Number::from_double(value);
    return NumberProblem::None;
}

}  // namespace
}  // namespace dovrane_core::parser
