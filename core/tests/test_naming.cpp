#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "dovrane_core/naming.hpp"

using dovrane_core::naming::is_graphql_name;
using dovrane_core::naming::to_camel_case;

TEST(ToCamelCase, NamingTable) {
    struct Case {
        const char* input;
        const char* output;
    };
    const Case cases[] = {
        {"snake_case_name", "snakeCaseName"},
        {"first__name", "firstName"},
        {"_private", "Private"},
        {"__typename", "Typename"},
        {"trailing_", "trailing"},
        {"a_1", "a1"},
        {"HTTP_server", "HTTPServer"},
        {"already_Camel", "alreadyCamel"},
        {"strasse_\u00DF", "strasseSS"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(to_camel_case(c.input), c.output) << "for " << c.input;
}

TEST(ToCamelCase, NothingIsLowerCasedAndOnlyUnderscoresGo) {
    EXPECT_EQ(to_camel_case("Already"), "Already");
    EXPECT_EQ(to_camel_case("A_B_C"), "ABC");
    EXPECT_EQ(to_camel_case("___"), "");
    EXPECT_EQ(to_camel_case("a-b c_d"), "a-b cD");
    // A leading double underscore never survives: the name starts with a capital.
    EXPECT_EQ(to_camel_case("__x"), "X");
}

TEST(ToCamelCase, FullUnicodeUpperCaseMapping) {
    struct Case {
        const char* input;
        const char* output;
    };
    const Case cases[] = {
        {"a_\u00E9t\u00E9", "a\u00C9t\u00E9"},                // é → É; the second é stays
        {"x_\u03C3", "x\u03A3"},                              // σ → Σ
        {"x_\u01C6", "x\u01C4"},                              // ǆ → Ǆ (not the title case ǅ)
        {"x_\u01C5", "x\u01C4"},                              // ǅ → Ǆ
        {"x_\uFB03", "xFFI"},                                 // ﬃ → FFI
        {"x_\u0390", "x\u0399\u0308\u0301"},                  // ΐ → three code points
        {"x_\u0149", "x\u02BCN"},                             // ŉ → ʼN
        {"x_\u0587", "x\u0535\u0552"},                        // Armenian ligature
        {"x_\U00010428", "x\U00010400"},                      // Deseret, outside the BMP
        {"x_\U0001E922", "x\U0001E900"},                      // Adlam
        {"x_\u4E2D", "x\u4E2D"},                              // no case: unchanged
        {"x_i", "xI"},                                        // never the Turkish dotted I
        {"x_\u0101_\u0103", "x\u0100\u0102"},                  // alternating upper/lower pairs
    };
    for (const Case& c : cases) EXPECT_EQ(to_camel_case(c.input), c.output) << "for " << c.input;
}

TEST(ToCamelCase, BytesThatAreNotUtf8AreCopiedUnchanged) {
    EXPECT_EQ(to_camel_case("a_\xFF"), "a\xFF");
    EXPECT_EQ(to_camel_case("a_\xC3"), "a\xC3");          // truncated sequence
    EXPECT_EQ(to_camel_case("a_\xED\xA0\x80z"), "a\xED\xA0\x80z");  // an encoded surrogate
    EXPECT_EQ(to_camel_case(std::string("a_\0b", 4)), std::string("a\0b", 3));
}

TEST(LowerCaseFirstCharacter, OnlyTheFirstCharacterChanges) {
    using dovrane_core::naming::lower_case_first_character;
    struct Case {
        const char* input;
        const char* output;
    };
    const Case cases[] = {
        {"MyDirective", "myDirective"},
        {"URLRule", "uRLRule"},
        {"_Tag", "_Tag"},
        {"already", "already"},
        {"A", "a"},
        {"9Lives", "9Lives"},
        {"", ""},
        {"\u0130stanbul", "i\u0307stanbul"},      // İ: the full mapping, two code points
        {"I", "i"},                                // never the Turkish dotless ı
        {"\u03A3\u03A3", "\u03C3\u03A3"},          // Σ → σ: no final-sigma context rule
        {"\u01C5x", "\u01C6x"},                    // title-case ǅ → ǆ
        {"\u00C9T\u00C9", "\u00E9T\u00C9"},        // É → é; the second É stays
        {"\U00010400X", "\U00010428X"},            // Deseret, outside the BMP
        {"\u4E2DX", "\u4E2DX"},                    // no case: unchanged
        {"\u00DFX", "\u00DFX"},                    // ß has no lower-case form of its own
    };
    for (const Case& c : cases) EXPECT_EQ(lower_case_first_character(c.input), c.output) << "for " << c.input;
}

TEST(LowerCaseFirstCharacter, BytesThatAreNotUtf8AreCopiedUnchanged) {
    using dovrane_core::naming::lower_case_first_character;
    EXPECT_EQ(lower_case_first_character("\xFF" "ABC"), "\xFF" "ABC");
    EXPECT_EQ(lower_case_first_character("\xC3"), "\xC3");  // truncated sequence
    EXPECT_EQ(lower_case_first_character(std::string("\0A", 2)), std::string("\0A", 2));
}

TEST(GraphQLName, AsciiLettersDigitsAndUnderscoresNotLeadingWithADigit) {
    for (const char* name : {"a", "_", "__typename", "A1", "snake_case", "Z_9"}) {
        EXPECT_TRUE(is_graphql_name(name)) << name;
    }
    for (const char* name : {"", "1a", "has space", "Caf\u00e9", "a-b", "a.b", "\u00e9"}) {
        EXPECT_FALSE(is_graphql_name(name)) << name;
    }
    EXPECT_FALSE(is_graphql_name(std::string_view("a\0b", 3)));
}
