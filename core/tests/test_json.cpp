#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "dovrane_core/error.hpp"
#include "dovrane_core/json.hpp"

using namespace dovrane_core;
using json::Number;

namespace {

std::string double_text(double value) {
    std::string out;
    json::append_double_text(out, value);
    return out;
}

}  // namespace

TEST(NumberText, FloatingPointLayout) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {1.0, "1.0"},
        {12.5, "12.5"},
        {0.1, "0.1"},
        {0.001, "0.001"},
        {0.00001, "0.00001"},
        {0.000001, "1e-6"},
        {1.5e-7, "1.5e-7"},
        {1e15, "1000000000000000.0"},
        {1e16, "1e+16"},
        {1.5e20, "1.5e+20"},
        {1e21, "1e+21"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {std::numeric_limits<double>::denorm_min(), "5e-324"},
        {2.0, "2.0"},
        {123456789.125, "123456789.125"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {-2.5, "-2.5"},
        {-1e-7, "-1e-7"},
        {123.456e-3, "0.123456"},
        {9007199254740993.0, "9007199254740992.0"},
        {1234567890123456.7, "1234567890123456.8"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(double_text(c.value), c.text) << "for " << c.text;
    }
}

TEST(NumberText, Integers) {
    EXPECT_EQ(json::number_text(Number::from_unsigned(0)), "0");
    EXPECT_EQ(json::number_text(Number::from_signed(-7)), "-7");
    EXPECT_EQ(json::number_text(Number::from_unsigned(std::numeric_limits<std::uint64_t>::max())),
              "18446744073709551615");
    EXPECT_EQ(json::number_text(Number::from_signed(std::numeric_limits<std::int64_t>::min())),
              "-9223372036854775808");
    EXPECT_EQ(Number::from_signed(5).kind, json::NumberKind::UnsignedInteger);
}

TEST(JsonValue, ObjectKeysIterateInByteOrder) {
    json::Object object;
    object.emplace("b", json::Value(true));
    object.emplace("a", json::Value(nullptr));
    object.emplace("\xc3\xa9", json::Value(std::string("x")));  // é sorts after ASCII
    object.emplace("Z", json::Value(Number::from_signed(-1)));
    EXPECT_EQ(json::to_json_text(json::Value(std::move(object))), R"({"Z":-1,"a":null,"b":true,"é":"x"})");
}

// Strings in JSON text: the short escapes, \u00XX for the other controls, and
// every other byte as it is, whether or not it is UTF-8 (the GraphQL form,
// which the SDL uses, escapes or replaces several of these).
TEST(JsonText, StringEscapes) {
    struct Case {
        std::string text;
        const char* json;
    };
    const Case cases[] = {
        {"", R"("")"},
        {"\"start", R"("\"start")"},
        {"end\\", R"("end\\")"},
        {"a\"\"b\\\\c", R"("a\"\"b\\\\c")"},
        {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
        {std::string("\0\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
        {"x\x7Fy", "\"x\x7Fy\""},
        {"e\u0301 \u00A0\u2028\u2029\uFEFF", "\"e\u0301 \u00A0\u2028\u2029\uFEFF\""},
        {"\U0001F600\U0010FFFF", "\"\U0001F600\U0010FFFF\""},
        {"\xFF\xED\xA0\x80\xE2\x82", "\"\xFF\xED\xA0\x80\xE2\x82\""},  // not UTF-8: copied
    };
    for (const Case& c : cases) {
        EXPECT_EQ(json::to_json_text(json::Value(c.text)), c.json) << c.json;
        std::string quoted;
        json::append_quoted_string(quoted, c.text);
        EXPECT_EQ(quoted, c.json);
    }
    json::Object object;
    object.emplace("k\n\x02", json::Value(std::string("\t")));
    EXPECT_EQ(json::to_json_text(json::Value(std::move(object))), R"({"k\n\u0002":"\t"})");
}

TEST(ErrorCodes, WireNamesInValueOrder) {
    const char* expected[] = {
        "GRAPHQL_PARSE_FAILED",         "GRAPHQL_VALIDATION_FAILED", "INTERFACE_TYPE_RESOLUTION_FAILED",
        "UNION_TYPE_RESOLUTION_FAILED", "UNKNOWN_FIELD",             "UNKNOWN_ARGUMENT",
        "ARGUMENT_TYPE_MISMATCH",       "INVALID_DIRECTIVE_LOCATION", "INVALID_FRAGMENT_TARGET",
        "PERSISTED_QUERY_NOT_FOUND",    "PERSISTED_QUERY_MISMATCH",  "FIELD_RESOLUTION_FAILED",
    };
    for (std::size_t i = 0; i < error::error_code_count; ++i) {
        EXPECT_EQ(error::error_code_wire_name(static_cast<error::ErrorCode>(i)), expected[i]);
    }
}

TEST(ErrorConstructors, LocationsAbsentUnlessAttached) {
    auto plain = error::make_error("boom", error::ErrorCode::GraphqlValidationFailed);
    EXPECT_FALSE(plain->locations.has_value());
    EXPECT_FALSE(plain->path.has_value());
    EXPECT_FALSE(plain->extensions.tags.has_value());
    EXPECT_TRUE(plain->extensions.values.empty());

    auto located = error::make_error_at("here", error::ErrorCode::UnknownField, {3, 7});
    ASSERT_TRUE(located->locations.has_value());
    ASSERT_EQ(located->locations->size(), 1u);
    EXPECT_EQ((*located->locations)[0], (error::Location{3, 7}));
}
