// UTF-8 decoding and encoding: the one reading of well-formed UTF-8 that the
// parser, the case mappings and the SDL printer share.
//
// Well-formed means shortest form, no surrogates, nothing past U+10FFFF. The
// functions are inline: the parser calls `decode` for every non-ASCII byte of
// a query, after its own ASCII fast path.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dovrane_core::utf8 {

// One step of decoding.
struct Decoded {
    char32_t code_point;  // U+FFFD when not valid
    std::size_t length;   // bytes consumed, at least 1
    bool valid;           // false: `length` is 1 and the byte starts no well-formed sequence
};

inline bool is_continuation_byte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes the scalar value starting at `text` (text < end). No byte at or
// past `end` is read, and none after the first that is not a continuation.
// The second byte's range settles overlong forms, surrogates and values past
// U+10FFFF before any payload is put together.
inline Decoded decode(const char* text, const char* end) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto available = static_cast<std::size_t>(end - text);
    const unsigned char lead = p[0];
    if (lead < 0x80) return {lead, 1, true};
    constexpr Decoded invalid{0xFFFD, 1, false};
    const auto continues = [&](std::size_t i) { return i < available && is_continuation_byte(p[i]); };
    if (!continues(1)) return invalid;
    const unsigned char second = p[1];
    if (lead >= 0xC2 && lead <= 0xDF) {
        return {static_cast<char32_t>(((lead & 0x1F) << 6) | (second & 0x3F)), 2, true};
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (lead == 0xE0 && second < 0xA0) return invalid;   // overlong
        if (lead == 0xED && second >= 0xA0) return invalid;  // surrogate
        if (!continues(2)) return invalid;
        return {static_cast<char32_t>(((lead & 0x0F) << 12) | ((second & 0x3F) << 6) | (p[2] & 0x3F)), 3, true};
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (lead == 0xF0 && second < 0x90) return invalid;   // overlong
        if (lead == 0xF4 && second >= 0x90) return invalid;  // past U+10FFFF
        if (!continues(2) || !continues(3)) return invalid;
        return {static_cast<char32_t>(((lead & 0x07) << 18) | ((second & 0x3F) << 12) | ((p[2] & 0x3F) << 6) |
                                      (p[3] & 0x3F)),
                4, true};
    }
    return invalid;  // a continuation byte, or a lead of an overlong or out-of-range form
}

// Decodes the scalar value at text[pos] (pos < text.size()).
inline Decoded decode(std::string_view text, std::size_t pos) {
    return decode(text.data() + pos, text.data() + text.size());
}

// Appends the UTF-8 form of a scalar value.
inline void append(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace dovrane_core::utf8
