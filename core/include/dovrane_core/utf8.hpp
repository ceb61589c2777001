// UTF-8 decoding and encoding: the one reading of well-formed UTF-8 that the
// parser, the case mappings and the SDL printer share.
//
// Well-formed means shortest form, no surrogates, nothing past U+10FFFF. The
// functions are inline: the parser calls `terminated_sequence_length` for
// every non-ASCII byte of a query, after its own ASCII fast path.
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

namespace detail {

// The one check of a sequence's form: its length when well-formed, else 0.
// `readable(i)` says whether byte i may be read (byte 0 always may); no byte
// after the first that is not a continuation is read either. The second
// byte's range settles overlong forms, surrogates and values past U+10FFFF.
template <class Readable>
inline std::size_t sequence_length(const unsigned char* p, Readable readable) {
    const auto continues = [&](std::size_t i) { return readable(i) && is_continuation_byte(p[i]); };
    const unsigned char lead = p[0];
    if (lead < 0x80) return 1;
    if (!continues(1)) return 0;
    const unsigned char second = p[1];
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (lead == 0xE0 && second < 0xA0) return 0;   // overlong
        if (lead == 0xED && second >= 0xA0) return 0;  // surrogate
        return continues(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (lead == 0xF0 && second < 0x90) return 0;   // overlong
        if (lead == 0xF4 && second >= 0x90) return 0;  // past U+10FFFF
        return continues(2) && continues(3) ? 4 : 0;
    }
    return 0;  // a continuation byte, or a lead of an overlong or out-of-range form
}

}  // namespace detail

// The length of the well-formed sequence starting at `text` (text < end), or
// 0 when it is ill-formed. No byte at or past `end` is read.
inline std::size_t sequence_length(const char* text, const char* end) {
    const auto available = static_cast<std::size_t>(end - text);
    return detail::sequence_length(reinterpret_cast<const unsigned char*>(text),
                                   [available](std::size_t i) { return i < available; });
}

// The same for a text followed by a byte that is not a continuation, such as
// the NUL after a std::string's last byte: the parser's check of every
// non-ASCII byte of a query, with no bound to test.
inline std::size_t terminated_sequence_length(const char* text) {
    return detail::sequence_length(reinterpret_cast<const unsigned char*>(text), [](std::size_t) { return true; });
}

// Decodes the scalar value starting at `text` (text < end), reading what
// `sequence_length` reads.
inline Decoded decode(const char* text, const char* end) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    switch (sequence_length(text, end)) {
        case 1: return {p[0], 1, true};
        case 2: return {static_cast<char32_t>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F)), 2, true};
        case 3:
            return {static_cast<char32_t>(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F)), 3, true};
        case 4:
            return {static_cast<char32_t>(((p[0] & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) |
                                          (p[3] & 0x3F)),
                    4, true};
        default: return {0xFFFD, 1, false};
    }
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
