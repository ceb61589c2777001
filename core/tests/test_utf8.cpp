#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "dovrane_core/utf8.hpp"

namespace utf8 = dovrane_core::utf8;

TEST(Utf8Decode, FormsAtTheirBoundaries) {
    struct Case {
        std::string_view bytes;
        bool valid;
        char32_t code_point;  // when valid
        std::size_t length;   // when valid
    };
    const Case cases[] = {
        {"A", true, 0x41, 1},
        {std::string_view("\0", 1), true, 0, 1},
        {"\x7F", true, 0x7F, 1},
        {"\xC2\x80", true, 0x80, 2},
        {"\xDF\xBF", true, 0x7FF, 2},
        {"\xC0\x80", false, 0, 0},          // overlong U+0000
        {"\xC1\xBF", false, 0, 0},          // overlong U+007F
        {"\xE0\xA0\x80", true, 0x800, 3},
        {"\xE0\x9F\xBF", false, 0, 0},      // overlong U+07FF
        {"\xED\x9F\xBF", true, 0xD7FF, 3},
        {"\xED\xA0\x80", false, 0, 0},      // U+D800
        {"\xED\xBF\xBF", false, 0, 0},      // U+DFFF
        {"\xEE\x80\x80", true, 0xE000, 3},
        {"\xE2\x80\xA8", true, 0x2028, 3},
        {"\xEF\xBF\xBF", true, 0xFFFF, 3},
        {"\xF0\x90\x80\x80", true, 0x10000, 4},
        {"\xF0\x8F\xBF\xBF", false, 0, 0},  // overlong U+FFFF
        {"\xF4\x8F\xBF\xBF", true, 0x10FFFF, 4},
        {"\xF4\x90\x80\x80", false, 0, 0},  // U+110000
        {"\xF5\x80\x80\x80", false, 0, 0},
        {"\xFF", false, 0, 0},
        {"\x80", false, 0, 0},              // a continuation byte alone
        {"\xE2\x82", false, 0, 0},          // "€" cut short
        {"\xE2\x41\x41", false, 0, 0},      // a lead without continuation
        {"\xF0\x9F\x98\x41", false, 0, 0},  // the fourth byte is no continuation
    };
    for (const Case& c : cases) {
        const utf8::Decoded decoded = utf8::decode(c.bytes, 0);
        SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
        const std::size_t length = c.valid ? c.length : 0;
        EXPECT_EQ(utf8::sequence_length(c.bytes.data(), c.bytes.data() + c.bytes.size()), length);
        EXPECT_EQ(utf8::terminated_sequence_length(std::string(c.bytes).c_str()), length);
        EXPECT_EQ(decoded.valid, c.valid);
        if (c.valid) {
            EXPECT_EQ(decoded.code_point, c.code_point);
            EXPECT_EQ(decoded.length, c.length);
        } else {
            EXPECT_EQ(decoded.code_point, U'\uFFFD');
            EXPECT_EQ(decoded.length, 1u);
        }
    }
}

TEST(Utf8Decode, ReadsNothingAtOrPastTheEnd) {
    // The bytes after `end` would complete the sequence: they must not be read.
    const char text[] = "\xF0\x9F\x98\x80";
    for (std::size_t size = 1; size < 4; ++size) {
        EXPECT_FALSE(utf8::decode(text, text + size).valid) << size << " bytes";
        EXPECT_EQ(utf8::sequence_length(text, text + size), 0u) << size << " bytes";
    }
    const utf8::Decoded whole = utf8::decode(text, text + 4);
    EXPECT_TRUE(whole.valid);
    EXPECT_EQ(whole.code_point, 0x1F600u);
    // The string_view form decodes at an offset, bounded by the view.
    // (A string, not a literal: gcc's bounds warning cannot follow the length
    // check through a small array under the sanitizers.)
    const std::string e_acute = "a\xC3\xA9";
    EXPECT_EQ(utf8::decode(std::string_view(e_acute), 1).code_point, 0xE9u);
    EXPECT_FALSE(utf8::decode(std::string_view(e_acute).substr(0, 2), 1).valid);
}

TEST(Utf8Decode, EveryScalarValueRoundTripsAndNoSurrogateDecodes) {
    std::string encoded;
    for (std::uint32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        encoded.clear();
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            // The three-byte pattern a surrogate would take.
            encoded.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            encoded.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            encoded.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
            ASSERT_FALSE(utf8::decode(encoded, 0).valid) << std::hex << cp;
            continue;
        }
        utf8::append(encoded, cp);
        const utf8::Decoded decoded = utf8::decode(encoded, 0);
        ASSERT_TRUE(decoded.valid) << std::hex << cp;
        ASSERT_EQ(static_cast<std::uint32_t>(decoded.code_point), cp);
        ASSERT_EQ(decoded.length, encoded.size()) << std::hex << cp;
    }
}
