#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"
#include "dovrane_core/json.hpp"
#include "dovrane_core/limits.hpp"
#include "dovrane_core/parser.hpp"

using namespace dovrane_core;

namespace {

document::SharedDocument parse_ok(const std::string& text) {
    auto parsed = parser::parse_document(text);
    EXPECT_TRUE(parsed.ok()) << text << "\n" << (parsed.ok() ? "" : parsed.error().message);
    return parsed.ok() ? parsed.value() : nullptr;
}

// "message-first-line @line:col @line:col" for a failing parse.
std::string failure(const std::string& text) {
    auto parsed = parser::parse_document(text);
    if (parsed.ok()) return "ok";
    const error::GraphQLError& error = parsed.error();
    EXPECT_EQ(error.code, error::ErrorCode::GraphqlParseFailed);
    std::string out = error.message.substr(0, error.message.find('\n'));
    if (error.locations) {
        EXPECT_FALSE(error.locations->empty());
        for (const error::Location& at : *error.locations) {
            out += " @" + std::to_string(at.line) + ":" + std::to_string(at.column);
        }
    }
    return out;
}

bool is_syntax_error(const std::string& text) {
    return failure(text).rfind("syntax error", 0) == 0;
}

const document::Value& first_argument(const document::Document& document) {
    return document.operations.at(0).selection_set.selections[0].arguments[0].value;
}

std::string nested(const std::string& open, const std::string& inner, const std::string& close, int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += open;
    text += inner;
    for (int i = 0; i < levels; ++i) text += close;
    return text;
}

TEST(Parser, AcceptsAndRejectsByMaximalMunch) {
    struct Case {
        const char* text;
        bool accepted;
    };
    const Case cases[] = {
        {"{ a }", true},
        {"query { a }", true},
        {"query Q($v: Int = 1 @d, $w: [ ID ! ] !) @op { a(x: $v) @f ...F ... on T { b } ... @g { c } }"
         " fragment F on T { d }",
         true},
        {"query($v: Int @d = 1) { a }", true},
        {"\xEF\xBB\xBF{ a }\xEF\xBB\xBF", true},
        {"{ a }, # comment\r\n", true},
        {"{ a(x: [trueValue, nullable, null, true, ENUM]) }", true},
        {"queryQ {a}", false},
        {"{ a(x: [01]) }", false},
        {"{ a(x: 1.5.3) }", false},
        {"{ a(x: 12abc) }", false},
        {"{ a(x: 1.) }", false},
        {"{ a(x: .5) }", false},
        {"{ a(x: 1e) }", false},
        {"{ a(x: -) }", false},
        {"{}", false},
        {"{ a() }", false},
        {"query($v: Int) { a(x: 1) } query()", false},
        {"", false},
        {"# only a comment", false},
        {"type Query { a: Int }", false},
        {"fragment on on T { a }", false},
        {"{ a(x: \"unterminated) }", false},
        {"{ a(x: \"bad \\q escape\") }", false},
        {"{ a(x: \"lone \\uD800 surrogate\") }", false},
        {"{ a(x: \"lone \\uDC00 surrogate\") }", false},
        {"{ a(x: \"tab\tok\") }", true},
        {"{ a(x: \"control\x01\") }", false},
        {"{ a(x: \"bad \xC3 utf8\") }", false},
        {"{ a \xE2\x82\xAC }", false},
        {"{ a(x: {b: $v}) }", true},
        {"query($v: Int = $w) { a }", false},
        {"{ ... F }", true},
        {"{ ...on }", false},
    };
    for (const Case& c : cases) {
        auto parsed = parser::parse_document(c.text);
        EXPECT_EQ(parsed.ok(), c.accepted) << c.text << "\n" << (parsed.ok() ? "" : parsed.error().message);
    }
    EXPECT_TRUE(is_syntax_error(std::string("{ a }\0 b", 8)));
}

TEST(Parser, BuildsTheTreeInWrittenOrder) {
    auto document = parse_ok(
        "query Q($first: Int = 10, $ids: [ ID ! ] !) @live {\n"
        "  alias: field(a: 1, a: 2) @x(y: true) { sub }\n"
        "  ...Spread @s\n"
        "  ... on User { name }\n"
        "  ... { bare }\n"
        "}\n"
        "fragment Spread on Query { z }\n"
        "mutation M { m }\n"
        "fragment Another on Query { w }\n");
    ASSERT_TRUE(document);
    ASSERT_EQ(document->operations.size(), 2u);
    const document::OperationDefinition& query = document->operations[0];
    EXPECT_EQ(query.name->value, "Q");
    EXPECT_EQ(query.type, document::OperationType::Query);
    EXPECT_EQ(document->operations[1].type, document::OperationType::Mutation);
    ASSERT_EQ(query.variables.size(), 2u);
    EXPECT_EQ(query.variables[0].name.value, "first");
    EXPECT_NE(query.variables[0].default_value, nullptr);
    EXPECT_EQ(document::type_text(*query.variables[1].type), "[ID!]!");
    EXPECT_EQ(query.variables[1].default_value, nullptr);
    EXPECT_EQ(query.directives[0].name.value, "live");

    const auto& selections = query.selection_set.selections;
    ASSERT_EQ(selections.size(), 4u);
    EXPECT_EQ(selections[0].kind, document::SelectionKind::Field);
    EXPECT_EQ(selections[0].response_key(), "alias");
    EXPECT_EQ(selections[0].name.value, "field");
    ASSERT_EQ(selections[0].arguments.size(), 2u);  // a repeated argument is kept twice
    EXPECT_EQ(selections[0].arguments[1].value.number.unsigned_value, 2u);
    EXPECT_EQ(selections[0].directives[0].arguments[0].value.kind, document::ValueKind::Boolean);
    EXPECT_EQ(selections[0].selection_set.selections[0].name.value, "sub");
    EXPECT_EQ(selections[1].kind, document::SelectionKind::FragmentSpread);
    EXPECT_EQ(selections[1].name.value, "Spread");
    EXPECT_EQ(selections[2].type_condition->name.value, "User");
    EXPECT_FALSE(selections[3].type_condition.has_value());

    ASSERT_EQ(document->fragments.size(), 2u);
    EXPECT_EQ(document->fragments[0].name.value, "Spread");
    EXPECT_EQ(document->fragments[1].name.value, "Another");
    EXPECT_EQ(document->find_fragment("Another"), &document->fragments[1]);
    EXPECT_EQ(document->find_fragment("Spread"), &document->fragments[0]);
    EXPECT_EQ(document->find_fragment("spread"), nullptr);
}

TEST(Parser, ValueKindsAndNumbers) {
    struct Case {
        const char* literal;
        json::NumberKind kind;
        double float_value;  // for FloatingPoint
        std::uint64_t unsigned_value;
        std::int64_t negative_value;
    };
    const Case cases[] = {
        {"0", json::NumberKind::UnsignedInteger, 0, 0, 0},
        {"18446744073709551615", json::NumberKind::UnsignedInteger, 0, 18446744073709551615ull, 0},
        {"18446744073709551616", json::NumberKind::FloatingPoint, 18446744073709551616.0, 0, 0},
        {"-1", json::NumberKind::NegativeInteger, 0, 0, -1},
        {"-9223372036854775808", json::NumberKind::NegativeInteger, 0, 0, INT64_MIN},
        {"-9223372036854775809", json::NumberKind::FloatingPoint, -9223372036854775809.0, 0, 0},
        {"-0", json::NumberKind::FloatingPoint, -0.0, 0, 0},
        {"1.5", json::NumberKind::FloatingPoint, 1.5, 0, 0},
        {"2e3", json::NumberKind::FloatingPoint, 2000.0, 0, 0},
        {"-2.5E-3", json::NumberKind::FloatingPoint, -0.0025, 0, 0},
        {"1e-400", json::NumberKind::FloatingPoint, 0.0, 0, 0},
        {"-1e-400", json::NumberKind::FloatingPoint, -0.0, 0, 0},
        {"4.9e-324", json::NumberKind::FloatingPoint, 4.9e-324, 0, 0},
    };
    for (const Case& c : cases) {
        auto document = parse_ok(std::string("{ a(x: ") + c.literal + ") }");
        ASSERT_TRUE(document);
        const document::Value& value = first_argument(*document);
        ASSERT_EQ(value.kind, document::ValueKind::Number) << c.literal;
        ASSERT_EQ(value.number.kind, c.kind) << c.literal;
        switch (c.kind) {
            case json::NumberKind::UnsignedInteger: EXPECT_EQ(value.number.unsigned_value, c.unsigned_value); break;
            case json::NumberKind::NegativeInteger: EXPECT_EQ(value.number.negative_value, c.negative_value); break;
            case json::NumberKind::FloatingPoint:
                EXPECT_EQ(value.number.float_value, c.float_value) << c.literal;
                EXPECT_EQ(std::signbit(value.number.float_value), std::signbit(c.float_value)) << c.literal;
                break;
        }
    }
    EXPECT_EQ(failure("{ a(x: 1e400) }"), "invalid number: number too large to fit in target type @1:8");
    EXPECT_EQ(failure("{ a(x: -1.5e309) }"), "invalid number: number too large to fit in target type @1:8");

    auto document = parse_ok(R"({ a(x: [$v, null, true, false, RED, "s", {k: 1, j: 2, k: 3}]) })");
    ASSERT_TRUE(document);
    const document::Value& list = first_argument(*document);
    ASSERT_EQ(list.kind, document::ValueKind::List);
    const document::ValueKind kinds[] = {document::ValueKind::Variable, document::ValueKind::Null,
                                         document::ValueKind::Boolean,  document::ValueKind::Boolean,
                                         document::ValueKind::Enum,     document::ValueKind::String,
                                         document::ValueKind::Object};
    ASSERT_EQ(list.list.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(list.list[i].kind, kinds[i]) << i;
    EXPECT_EQ(list.list[0].text, "v");
    EXPECT_EQ(list.list[4].text, "RED");
    // A repeated key keeps its first position and its last value.
    const document::Value& object = list.list[6];
    ASSERT_EQ(object.object.size(), 2u);
    EXPECT_EQ(object.object[0].name.value, "k");
    EXPECT_EQ(object.object[0].value.number.unsigned_value, 3u);
    EXPECT_EQ(object.object[1].name.value, "j");
}

TEST(Parser, LargeObjectLiteralsFoldRepeatedKeys) {
    std::string literal = "{";
    for (int i = 0; i < 200; ++i) literal += " k" + std::to_string(i % 50) + ": " + std::to_string(i);
    literal += " }";
    auto document = parse_ok("{ a(x: " + literal + ") }");
    ASSERT_TRUE(document);
    const document::Value& object = first_argument(*document);
    ASSERT_EQ(object.object.size(), 50u);
    EXPECT_EQ(object.object[0].name.value, "k0");
    EXPECT_EQ(object.object[0].value.number.unsigned_value, 150u);
    EXPECT_EQ(object.object[49].name.value, "k49");
    EXPECT_EQ(object.object[49].value.number.unsigned_value, 199u);
}

// A string literal written as an argument, and the value it parses to.
struct StringCase {
    const char* literal;
    const char* value;
};

template <std::size_t N>
void expect_string_values(const StringCase (&cases)[N]) {
    for (const StringCase& c : cases) {
        auto document = parse_ok(std::string("{ a(x: ") + c.literal + ") }");
        ASSERT_TRUE(document);
        const document::Value& value = first_argument(*document);
        EXPECT_EQ(value.kind, document::ValueKind::String) << c.literal;
        EXPECT_EQ(value.text, c.value) << c.literal;
    }
}

TEST(Parser, Strings) {
    const StringCase cases[] = {
        {R"("plain")", "plain"},
        {R"("")", ""},
        {R"("esc \" \\ \/ \b \f \n \r \t")", "esc \" \\ / \b \f \n \r \t"},
        {R"("\u00e9\u20AC")", "\xC3\xA9\xE2\x82\xAC"},
        {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
        {"\"caf\xC3\xA9\"", "caf\xC3\xA9"},
        {R"("""block""")", "block"},
        {"\"\"\"\n    first\n      second\n    third\n  \"\"\"", "first\n  second\nthird"},
        {"\"\"\"  keep first\n    rest\"\"\"", "  keep first\nrest"},
        {R"("""a \""" b""")", "a \"\"\" b"},
        {"\"\"\"\r\n  x\r  y\n\"\"\"", "x\ny"},
        {R"("""\n""")", "\\n"},
        // DEL is a source character: strings and block strings take it as it is.
        {"\"a\x7F b\"", "a\x7F b"},
        {"\"\"\"a\x7F\n  \x7F\"\"\"", "a\x7F\n\x7F"},
    };
    expect_string_values(cases);
    // Outside strings DEL is no token.
    EXPECT_EQ(failure("{ a \x7F }"), "syntax error at 1:5: unexpected character U+007F @1:5");
}

TEST(Parser, BlockStringValues) {
    // Indentation, blank lines, line breaks and escaped triple quotes.
    const StringCase cases[] = {
        {R"("""""")", ""},
        {"\"\"\"   \n  \n   \"\"\"", ""},
        {"\"\"\"\n  a\n\n  b\n\"\"\"", "a\n\nb"},
        {"\"\"\"\n\ta\n\t  b\n\"\"\"", "a\n  b"},
        {"\"\"\"\n    a\n  \n    b\"\"\"", "a\n\nb"},
        {R"("""a\\\"""b""")", "a\\\\\"\"\"b"},
        {"\"\"\"\n  \\\"\"\"x\n  y\n\"\"\"", "\"\"\"x\ny"},
        {"\"\"\"\r  a\r  b\r\"\"\"", "a\nb"},
        {"\"\"\"a\n   \"\"\"", "a"},
        {"\"\"\"  \n  a\r\n    b\r\n\"\"\"", "a\n  b"},
    };
    expect_string_values(cases);
}

TEST(Parser, PositionsCountCharactersAndHonourCarriageReturns) {
    auto document = parse_ok("{\n  a(x: \"\xE2\x82\xAC\xE2\x82\xAC\") b\r c\r\n  \xEF\xBB\xBF d # \xC3\xA9\n e }");
    ASSERT_TRUE(document);
    const auto& selections = document->operations[0].selection_set.selections;
    ASSERT_EQ(selections.size(), 5u);
    auto at = [&](std::size_t i) { return document->position(selections[i].offset); };
    EXPECT_EQ(at(0), (error::Location{2, 3}));
    EXPECT_EQ(at(1), (error::Location{2, 14}));  // two three-byte characters count as two columns
    EXPECT_EQ(at(2), (error::Location{2, 2}));   // a lone CR sets the column back to 1
    EXPECT_EQ(at(3), (error::Location{3, 5}));   // the byte order mark is one column
    EXPECT_EQ(at(4), (error::Location{4, 2}));   // after a comment holding non-ASCII
    // Block strings spanning lines move the line count.
    auto block = parse_ok("{ a(x: \"\"\"one\n\xC3\xA9\"\"\") b }");
    ASSERT_TRUE(block);
    EXPECT_EQ(block->position(block->operations[0].selection_set.selections[1].offset), (error::Location{2, 7}));
}

TEST(Parser, PositionCursorGivesTheDocumentsPositions) {
    // Lines ended by LF, CRLF and a lone CR, characters of several bytes in
    // strings and comments; offsets met forwards, backwards and at random.
    std::string text = "{\n";
    for (int i = 0; i < 200; ++i) {
        const std::string n = std::to_string(i);
        text += "  f" + n + "(s: \"\xC3\xA9" + n + "\") # \xE2\x82\xAC\n";
        text += i % 3 == 0 ? "  g" + n + "\r\n" : i % 3 == 1 ? "  g" + n + "\r" : "  g" + n + "\n";
    }
    text += "}\n";
    auto document = parse_ok(text);
    ASSERT_TRUE(document);
    std::vector<document::Offset> offsets;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) offsets.push_back(static_cast<document::Offset>(i));
    }
    std::vector<document::Offset> orders = offsets;
    orders.insert(orders.end(), offsets.rbegin(), offsets.rend());
    for (std::size_t i = 0; i < offsets.size(); ++i) orders.push_back(offsets[(i * 7919) % offsets.size()]);
    document::PositionCursor cursor(*document);
    for (document::Offset offset : orders) {
        ASSERT_EQ(cursor.at(offset), document->position(offset)) << offset;
    }
}

TEST(Parser, SyntaxErrorsCarryCharacterPositions) {
    EXPECT_EQ(failure("{ a(x: ) }"), "syntax error at 1:8: expected a value, found \")\" @1:8 @1:9");
    EXPECT_EQ(failure("{ \"\xE2\x82\xAC\" }").substr(0, 20), "syntax error at 1:3:");
    EXPECT_EQ(failure("{ a(x: \"\xE2\x82\xAC\\q\") }"), "syntax error at 1:10: invalid escape sequence in a string @1:10");
    EXPECT_EQ(failure("{\r a b("), "syntax error at 1:6: expected an argument name, found end of input @1:6");
    EXPECT_EQ(failure("{\n  user(id: 1) {\n"), "syntax error at 3:1: expected a selection or \"}\", found end of input @3:1");
    // The report quotes the line with a caret under the error.
    auto parsed = parser::parse_document("query {\n  user(id: ) { name }\n}");
    ASSERT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.error().message,
              "syntax error at 2:12: expected a value, found \")\"\n  |   user(id: ) { name }\n  |            ^");
    // A long minified line is quoted only around the error.
    std::string minified = "{";
    for (int i = 0; i < 2000; ++i) minified += " f" + std::to_string(i);
    minified += " ) }";
    auto long_line = parser::parse_document(minified);
    ASSERT_FALSE(long_line.ok());
    EXPECT_LT(long_line.error().message.size(), 300u);
}

TEST(Parser, SyntaxReportsAreCleanText) {
    // Invalid UTF-8 and control characters on the quoted line never reach
    // the message: it must decode, and the caret must stay under the error.
    auto parsed = parser::parse_document("{ a\t) \xFF\xC3 }");
    ASSERT_FALSE(parsed.ok());
    const std::string& message = parsed.error().message;
    EXPECT_EQ(message.substr(0, message.find('\n')), "syntax error at 1:5: expected a selection or \"}\", found \")\"");
    EXPECT_EQ(message.substr(message.find('\n')),
              "\n  | { a ) \xEF\xBF\xBD\xEF\xBF\xBD }\n  |     ^");
    auto invalid = parser::parse_document("{ a } # \xC3\x28");
    ASSERT_FALSE(invalid.ok());
    EXPECT_EQ(failure("{ a } # \xC3\x28"), "syntax error at 1:9: invalid UTF-8 @1:9");
    EXPECT_EQ(invalid.error().message.find('\xC3'), std::string::npos);
}

TEST(Parser, NodesCarryThePositionsOthersReportOn) {
    auto document = parse_ok(
        "query Q($v: [Int!] = [1]) {\n"
        "  f: field(arg: $v) @dir(if: true) { ...Frag ... on T { x } }\n"
        "}\n"
        "fragment Frag on T { y }");
    ASSERT_TRUE(document);
    const document::OperationDefinition& query = document->operations[0];
    auto at = [&](document::Offset offset) { return document->position(offset); };
    EXPECT_EQ(at(query.offset), (error::Location{1, 1}));
    EXPECT_EQ(at(query.variables[0].offset), (error::Location{1, 9}));            // the "$"
    EXPECT_EQ(at(query.variables[0].type->offset), (error::Location{1, 13}));     // the "["
    EXPECT_EQ(at(query.variables[0].default_value->offset), (error::Location{1, 22}));
    EXPECT_EQ(at(query.selection_set.offset), (error::Location{1, 27}));          // the "{"
    const document::Selection& field = query.selection_set.selections[0];
    EXPECT_EQ(at(field.offset), (error::Location{2, 3}));                        // the alias
    EXPECT_EQ(at(field.name.offset), (error::Location{2, 6}));
    EXPECT_EQ(at(field.arguments[0].name.offset), (error::Location{2, 12}));
    EXPECT_EQ(at(field.arguments[0].value.offset), (error::Location{2, 17}));    // the "$"
    EXPECT_EQ(at(field.directives[0].offset), (error::Location{2, 21}));         // the "@"
    EXPECT_EQ(at(field.selection_set.offset), (error::Location{2, 36}));
    const document::Selection& spread = field.selection_set.selections[0];
    const document::Selection& inline_fragment = field.selection_set.selections[1];
    EXPECT_EQ(at(spread.offset), (error::Location{2, 38}));                      // the "..."
    EXPECT_EQ(at(inline_fragment.offset), (error::Location{2, 46}));
    EXPECT_EQ(at(inline_fragment.type_condition->offset), (error::Location{2, 50}));  // the "on"
    const document::FragmentDefinition& fragment = document->fragments[0];
    EXPECT_EQ(at(fragment.offset), (error::Location{4, 1}));
    EXPECT_EQ(at(fragment.type_condition.offset), (error::Location{4, 15}));
}

TEST(Parser, FirstNumberOrDepthFailureInTextOrder) {
    const std::string deep = "{ a(x: " + nested("[", "1", "]", 65) + ") }";
    EXPECT_EQ(failure("query A { a(x: 1e999) } query B " + deep),
              "invalid number: number too large to fit in target type @1:16");
    EXPECT_EQ(failure("query B " + deep + " query A { a(x: 1e999) }"), "recursion limit exceeded.");
    // Both come before a definition conflict and the missing operation.
    EXPECT_EQ(failure("fragment F on T { a(x: 1e999) }"),
              "invalid number: number too large to fit in target type @1:24");
}

TEST(Parser, DefinitionConflicts) {
    EXPECT_EQ(failure("{ a }\n{ b }"), "document contains multiple operations @2:1 @1:1");
    EXPECT_EQ(failure("{ a }\nquery Q { b }"), "document contains multiple operations @1:1 @2:1");
    EXPECT_EQ(failure("query A { a }\nquery B { b }\n{ c }"), "document contains multiple operations @3:1 @1:1");
    EXPECT_EQ(failure("query Q { a }\nquery Q { b }"), "operation Q is defined twice @2:1 @1:1");
    EXPECT_EQ(failure("{ a }\nfragment F on T { a }\nfragment F on T { b }"), "fragment F is defined twice @3:1 @2:1");
    EXPECT_EQ(failure("fragment F on T { a }"), "document does not contain an operation");
    // The first conflict in written order wins.
    EXPECT_EQ(failure("fragment F on T { a } fragment F on T { a }\nquery Q { a } query Q { a }"),
              "fragment F is defined twice @1:23 @1:1");
    // A syntax error anywhere comes before every other failure.
    EXPECT_EQ(failure("query Q { a(x: 1e999) } query Q { a } {").substr(0, 12), "syntax error");
    EXPECT_EQ(failure("query Q { a(x: 1e999) } query Q { a }"),
              "invalid number: number too large to fit in target type @1:16");
}

TEST(Parser, NestingLimits) {
    const int limit = static_cast<int>(limits::max_nesting_depth);
    // Selection sets: 64 levels below the operation's own set parse.
    EXPECT_EQ(failure(nested("{ a ", "b", " }", limit + 1)), "ok");
    EXPECT_EQ(failure(nested("{ a ", "b", " }", limit + 2)), "recursion limit exceeded.");
    EXPECT_EQ(failure("{ a } fragment F on T " + nested("{ a ", "b", " }", limit + 2)), "recursion limit exceeded.");
    EXPECT_EQ(failure("{ " + nested("... on T { ", "b", " }", limit) + " }"), "ok");
    EXPECT_EQ(failure("{ " + nested("... on T { ", "b", " }", limit + 1) + " }"), "recursion limit exceeded.");
    // List and object values, and list types.
    EXPECT_EQ(failure("{ a(x: " + nested("[", "1", "]", limit) + ") }"), "ok");
    EXPECT_EQ(failure("{ a(x: " + nested("[", "1", "]", limit + 1) + ") }"), "recursion limit exceeded.");
    EXPECT_EQ(failure("{ a(x: " + nested("{k: ", "1", "}", limit + 1) + ") }"), "recursion limit exceeded.");
    EXPECT_EQ(failure("query($v: " + nested("[", "Int", "]", limit) + ") { a }"), "ok");
    EXPECT_EQ(failure("query($v: " + nested("[", "Int", "]", limit + 1) + ") { a }"), "recursion limit exceeded.");
    // A syntax error later in the text still wins over the depth failure.
    EXPECT_TRUE(is_syntax_error(nested("{ a ", "b", " }", limit + 2) + " }"));
    // Hostile depth fails cleanly, whatever the nesting.
    EXPECT_EQ(failure(nested("{ a ", "b", " }", 100000)), "recursion limit exceeded.");
    EXPECT_TRUE(is_syntax_error(nested("{", "", "", 100000)));
    EXPECT_TRUE(is_syntax_error("{ a(x: " + nested("[", "", "", 100000)));
    EXPECT_EQ(failure("{ a(x: " + nested("[", "1", "]", 100000) + ") }"), "recursion limit exceeded.");
}

TEST(Parser, SelectOperation) {
    auto two = parse_ok("query Q { a } query R { b }");
    auto anonymous = parse_ok("{ a }");
    auto named = parse_ok("query Q { a }");
    ASSERT_TRUE(two && anonymous && named);
    auto message = [](const auto& result) { return result.ok() ? std::string("ok") : result.error().message; };
    EXPECT_EQ(document::select_operation(*two, "R").value(), &two->operations[1]);
    EXPECT_EQ(message(document::select_operation(*two, "q")), "no operation named 'q'");
    EXPECT_EQ(message(document::select_operation(*two, std::nullopt)),
              "document contains multiple operations; operation_name is required");
    EXPECT_EQ(message(document::select_operation(*anonymous, "Q")), "no operation named 'Q'");
    EXPECT_EQ(message(document::select_operation(*anonymous, "")), "no operation named ''");
    EXPECT_EQ(document::select_operation(*named, std::nullopt).value(), &named->operations[0]);
    auto failed = document::select_operation(*two, "x");
    EXPECT_EQ(failed.error().code, error::ErrorCode::GraphqlValidationFailed);
    EXPECT_FALSE(failed.error().locations.has_value());
}

// ---------------------------------------------------------------------------
// Large texts, read in one pass like small ones, and large lists, which grow
// in memory of their own.

// A text this large reads as small ones do.
constexpr std::size_t large_text_bytes = std::size_t{1} << 20;

// The tree as text: every node the parser builds, with its position.
void outline_value(std::string& out, const document::Value& value) {
    using document::ValueKind;
    out += std::to_string(static_cast<int>(value.kind));
    switch (value.kind) {
        case ValueKind::Number: json::append_number_text(out, value.number); break;
        case ValueKind::Boolean: out += value.boolean ? "true" : "false"; break;
        case ValueKind::List:
            out += "[";
            for (const document::Value& item : value.list) outline_value(out, item), out += " ";
            out += "]";
            break;
        case ValueKind::Object:
            out += "{";
            for (const document::ObjectField& field : value.object) {
                out += std::string(field.name.value) + ":";
                outline_value(out, field.value);
                out += " ";
            }
            out += "}";
            break;
        default: out += "'" + std::string(value.text) + "'"; break;
    }
}

std::string outline(const document::Document& document) {
    std::string out;
    auto at = [&](document::Offset offset) {
        const error::Location location = document.position(offset);
        out += "@" + std::to_string(location.line) + ":" + std::to_string(location.column) + " ";
    };
    auto arguments = [&](document::Span<document::Argument> list) {
        for (const document::Argument& argument : list) {
            out += std::string(argument.name.value) + "=";
            outline_value(out, argument.value);
            out += " ";
        }
    };
    auto directives = [&](document::Span<document::Directive> list) {
        for (const document::Directive& directive : list) {
            at(directive.offset);
            out += "@" + std::string(directive.name.value) + "(";
            arguments(directive.arguments);
            out += ") ";
        }
    };
    std::function<void(const document::SelectionSet&)> selections = [&](const document::SelectionSet& set) {
        at(set.offset);
        out += "{ ";
        for (const document::Selection& selection : set.selections) {
            at(selection.offset);
            out += std::to_string(static_cast<int>(selection.kind)) + " " + std::string(selection.response_key()) +
                   ":" + std::string(selection.name.value) + " ";
            if (selection.type_condition) out += "on " + std::string(selection.type_condition->name.value) + " ";
            arguments(selection.arguments);
            directives(selection.directives);
            if (!selection.selection_set.selections.empty()) selections(selection.selection_set);
        }
        out += "} ";
    };
    for (const document::OperationDefinition& operation : document.operations) {
        at(operation.offset);
        out += std::to_string(static_cast<int>(operation.type)) + " " +
               std::string(operation.name ? operation.name->value : "-") + " (";
        for (const document::VariableDefinition& variable : operation.variables) {
            at(variable.offset);
            out += std::string(variable.name.value) + ":" + document::type_text(*variable.type) + "=";
            if (variable.default_value) outline_value(out, *variable.default_value);
            directives(variable.directives);
        }
        out += ") ";
        directives(operation.directives);
        selections(operation.selection_set);
        out += "\n";
    }
    for (const document::FragmentDefinition& fragment : document.fragments) {
        at(fragment.offset);
        out += "fragment " + std::string(fragment.name.value) + " on " + std::string(fragment.type_condition.name.value);
        directives(fragment.directives);
        selections(fragment.selection_set);
        out += "\n";
    }
    return out;
}

// The whole answer: the tree, or the error's message and locations.
std::string answer(const std::string& text) {
    auto parsed = parser::parse_document(text);
    if (parsed.ok()) return outline(*parsed.value());
    std::string out = parsed.error().message;
    if (parsed.error().locations) {
        for (const error::Location& at : *parsed.error().locations) {
            out += " @" + std::to_string(at.line) + ":" + std::to_string(at.column);
        }
    }
    return out;
}

TEST(Parser, LargeTextsGiveTheAnswersOfSmallOnes) {
    // Each text after a first line that is a short comment, and after one that
    // makes the whole text large: the same tree or the same failure.
    const std::string deep = nested("{ a ", "b", " }", static_cast<int>(limits::max_nesting_depth) + 2);
    const std::string texts[] = {
        "query Q($first: Int = 10 @v, $ids: [ID!]! @w = [\"a\"], $o: In = {k: [1, {j: 2.5, j: null}], k: E})"
        " @live {\n  alias: field(a: 1, a: \"\\u00e9\", b: \"\"\"\n    block\n  \"\"\") @x(y: true) { sub { deeper } }\n"
        "  ...Spread @s(if: $first)\n  ... on User { name }\n  ... @defer { bare }\n}\n"
        "fragment Spread on Query @f { z }\nmutation M { m }\n",
        "{}",
        "{ a { b } } }",
        "query($v: Int @d = 1 @e) { a }",
        "{ a(x: \"unterminated) }",
        "{ a(x: {k: [1, {j: $v}]}) } {",
        "{ a(x: 1e999) }",
        deep,
        deep + " }",
        "fragment F on T { a }",
        "{ a }\nfragment F on T { a }\nfragment F on T { b }",
        "query Q { a } query Q { b }",
    };
    const std::string large_first_line = "#" + std::string(large_text_bytes, '-') + "\n";
    for (const std::string& text : texts) {
        EXPECT_EQ(answer(large_first_line + text), answer("#\n" + text)) << text;
    }
}

TEST(Parser, ListsOfEverySizeKeepTheirItems) {
    // Lists of each kind, short and long, side by side and nested, so that
    // they fill chunks, move to new ones and spill: every item in its place.
    const std::size_t sizes[] = {0, 1, 3, 4, 5, 9, 31, 32, 33, 200, 700, 2000};
    const auto number = [](std::size_t i) { return std::to_string(i); };
    std::string body;
    for (std::size_t n : sizes) {
        body += "f" + number(n);
        if (n > 0) {
            body += "(";
            for (std::size_t i = 0; i < n; ++i) body += "a" + number(i) + ": " + number(i) + " ";
            body += ")";
        }
        for (std::size_t i = 0; i < n; ++i) body += " @d" + number(i);
        if (n > 0) {
            body += " {";
            for (std::size_t i = 0; i < n; ++i) {
                body += " g" + number(i);
                if (i % 3 != 0) {
                    body += " {";
                    for (std::size_t j = 0; j < i % 3; ++j) body += " h" + number(j);
                    body += " }";
                }
            }
            body += " }";
        }
        // An object whose keys repeat: k0 .. k(m-1), each keeping its last value.
        const std::size_t keys = std::max<std::size_t>(1, n / 2);
        body += "\nl" + number(n) + "(list: [";
        for (std::size_t i = 0; i < n; ++i) body += number(i) + " ";
        body += "], object: {";
        for (std::size_t i = 0; i < n; ++i) body += "k" + number(i % keys) + ": " + number(i) + " ";
        body += "})\n";
    }
    body += "nest(x: [";
    for (std::size_t n : sizes) {
        body += "[";
        for (std::size_t i = 0; i < n; ++i) body += number(i) + " ";
        body += "] ";
    }
    body += "])";
    const std::string text = "query Q { " + body + " }";
    const std::string large_first_line = "#" + std::string(large_text_bytes, '-') + "\n";

    for (const std::string& whole : {text, large_first_line + text}) {
        auto document = parse_ok(whole);
        ASSERT_TRUE(document);
        const auto& selections = document->operations.at(0).selection_set.selections;
        ASSERT_EQ(selections.size(), 2 * std::size(sizes) + 1);
        for (std::size_t k = 0; k < std::size(sizes); ++k) {
            const std::size_t n = sizes[k];
            const document::Selection& field = selections[2 * k];
            EXPECT_EQ(field.name.value, "f" + number(n));
            ASSERT_EQ(field.arguments.size(), n);
            ASSERT_EQ(field.directives.size(), n);
            ASSERT_EQ(field.selection_set.selections.size(), n);
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_EQ(field.arguments[i].name.value, "a" + number(i));
                EXPECT_EQ(field.arguments[i].value.number.unsigned_value, i);
                EXPECT_EQ(field.directives[i].name.value, "d" + number(i));
                const document::Selection& child = field.selection_set.selections[i];
                EXPECT_EQ(child.name.value, "g" + number(i));
                ASSERT_EQ(child.selection_set.selections.size(), i % 3);
                for (std::size_t j = 0; j < i % 3; ++j) {
                    EXPECT_EQ(child.selection_set.selections[j].name.value, "h" + number(j));
                }
            }
            const document::Selection& lists = selections[2 * k + 1];
            ASSERT_EQ(lists.arguments.size(), 2u);
            const document::Value& list = lists.arguments[0].value;
            ASSERT_EQ(list.kind, document::ValueKind::List);
            ASSERT_EQ(list.list.size(), n);
            for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(list.list[i].number.unsigned_value, i);
            const document::Value& object = lists.arguments[1].value;
            ASSERT_EQ(object.kind, document::ValueKind::Object);
            const std::size_t keys = n == 0 ? 0 : std::max<std::size_t>(1, n / 2);
            ASSERT_EQ(object.object.size(), keys);
            for (std::size_t i = 0; i < keys; ++i) {
                EXPECT_EQ(object.object[i].name.value, "k" + number(i));
                // The last of i, i + keys, i + 2 * keys, ... below n.
                EXPECT_EQ(object.object[i].value.number.unsigned_value, i + (n - 1 - i) / keys * keys);
            }
        }
        const document::Value& nest = selections[selections.size() - 1].arguments[0].value;
        ASSERT_EQ(nest.list.size(), std::size(sizes));
        for (std::size_t k = 0; k < std::size(sizes); ++k) {
            ASSERT_EQ(nest.list[k].list.size(), sizes[k]);
            for (std::size_t i = 0; i < sizes[k]; ++i) EXPECT_EQ(nest.list[k].list[i].number.unsigned_value, i);
        }
    }
}

TEST(Parser, LargeFlatSelectionSet) {
    // Three bytes a field: a list of megabytes.
    constexpr std::size_t fields = large_text_bytes / 3;
    std::string text = "{ viewer { ";
    for (std::size_t i = 0; i < fields; ++i) text += "id ";
    text += "} }";
    auto document = parse_ok(text);
    ASSERT_TRUE(document);
    const auto& viewer = document->operations.at(0).selection_set.selections;
    ASSERT_EQ(viewer.size(), 1u);
    const auto& ids = viewer[0].selection_set.selections;
    ASSERT_EQ(ids.size(), fields);
    EXPECT_EQ(ids[fields - 1].name.value, "id");
    EXPECT_EQ(document->position(ids[fields - 1].offset), (error::Location{1, 12 + 3 * (fields - 1)}));
    // One stray "}" at the very end.
    const std::string column = std::to_string(text.size() + 2);
    EXPECT_EQ(failure(text + " }"), "syntax error at 1:" + column +
                                         ": expected \"query\", \"mutation\", \"subscription\", \"fragment\" or \"{\", "
                                         "found \"}\" @1:" + column + " @1:" + std::to_string(text.size() + 3));
}

}  // namespace

namespace {

// Items enough for a list of `T` to outgrow `parser::large_list_bytes` and
// then grow twice more.
template <class T>
std::size_t large_count() {
    return parser::large_list_bytes / sizeof(T) * 4 + 1;
}

// Lists of every kind large enough for memory of their own, several open at
// once (a large selection set inside a large one, a large object inside a
// large list inside large arguments), with the outer ones growing after the
// inner ones closed.
std::string large_lists_text(std::size_t scale) {
    const auto number = [](std::size_t i) { return std::to_string(i); };
    std::string text = "query Q(";
    for (std::size_t i = 0; i < large_count<document::VariableDefinition>() * scale; ++i) {
        text += "$v" + number(i) + ": Int ";
    }
    text += ") {\n  f(";
    const std::size_t arguments = large_count<document::Argument>() * scale;
    for (std::size_t i = 0; i < arguments; ++i) {
        text += "a" + number(i) + ": ";
        if (i == arguments / 2) {
            text += "[";
            for (std::size_t j = 0; j < large_count<document::Value>() * scale; ++j) {
                if (j == 7) {
                    text += "{";
                    for (std::size_t k = 0; k < large_count<document::ObjectField>() * scale; ++k) {
                        text += "k" + number(k) + ": " + number(k) + " ";
                    }
                    text += "} ";
                } else {
                    text += number(j) + " ";
                }
            }
            text += "] ";
        } else {
            text += number(i) + " ";
        }
    }
    text += ")";
    for (std::size_t i = 0; i < large_count<document::Directive>() * scale; ++i) text += " @d" + number(i);
    text += " {\n";
    const std::size_t fields = large_count<document::Selection>() * scale;
    for (std::size_t i = 0; i < fields; ++i) {
        text += " g" + number(i);
        if (i == 3) {
            text += " {";
            for (std::size_t j = 0; j < fields; ++j) text += " h" + number(j);
            text += " }";
        }
    }
    return text + "\n  }\n}\n";
}

// Every item of `large_lists_text(scale)` in its place.
void expect_large_lists(const document::Document& document, std::size_t scale) {
    const auto number = [](std::size_t i) { return std::to_string(i); };
    ASSERT_EQ(document.operations.size(), 1u);
    const document::OperationDefinition& operation = document.operations[0];
    ASSERT_EQ(operation.variables.size(), large_count<document::VariableDefinition>() * scale);
    for (std::size_t i = 0; i < operation.variables.size(); ++i) {
        ASSERT_EQ(operation.variables[i].name.value, "v" + number(i));
    }
    const document::Selection& f = operation.selection_set.selections[0];
    ASSERT_EQ(f.arguments.size(), large_count<document::Argument>() * scale);
    for (std::size_t i = 0; i < f.arguments.size(); ++i) {
        ASSERT_EQ(f.arguments[i].name.value, "a" + number(i));
        const document::Value& value = f.arguments[i].value;
        if (i != f.arguments.size() / 2) {
            ASSERT_EQ(value.number.unsigned_value, i);
            continue;
        }
        ASSERT_EQ(value.list.size(), large_count<document::Value>() * scale);
        for (std::size_t j = 0; j < value.list.size(); ++j) {
            if (j != 7) {
                ASSERT_EQ(value.list[j].number.unsigned_value, j);
                continue;
            }
            const document::Span<document::ObjectField> object = value.list[j].object;
            ASSERT_EQ(object.size(), large_count<document::ObjectField>() * scale);
            for (std::size_t k = 0; k < object.size(); ++k) {
                ASSERT_EQ(object[k].name.value, "k" + number(k));
                ASSERT_EQ(object[k].value.number.unsigned_value, k);
            }
        }
    }
    ASSERT_EQ(f.directives.size(), large_count<document::Directive>() * scale);
    for (std::size_t i = 0; i < f.directives.size(); ++i) ASSERT_EQ(f.directives[i].name.value, "d" + number(i));
    const std::size_t fields = large_count<document::Selection>() * scale;
    const auto& selections = f.selection_set.selections;
    ASSERT_EQ(selections.size(), fields);
    for (std::size_t i = 0; i < fields; ++i) {
        ASSERT_EQ(selections[i].name.value, "g" + number(i));
        ASSERT_EQ(selections[i].selection_set.selections.size(), i == 3 ? fields : 0);
    }
    const auto& inner = selections[3].selection_set.selections;
    for (std::size_t j = 0; j < fields; ++j) ASSERT_EQ(inner[j].name.value, "h" + number(j));
    EXPECT_EQ(document.position(inner[fields - 1].offset).line, 3u);
}

TEST(Parser, LargeListsOfEveryKindKeepTheirItems) {
    // One text, then a larger one, the first again and both alive at once:
    // memory kept from one parse and reused by the next holds the right items.
    auto first = parse_ok(large_lists_text(1));
    ASSERT_TRUE(first);
    expect_large_lists(*first, 1);
    auto larger = parse_ok(large_lists_text(3));
    ASSERT_TRUE(larger);
    expect_large_lists(*larger, 3);
    first.reset();
    larger.reset();
    auto again = parse_ok(large_lists_text(1));
    auto alongside = parse_ok(large_lists_text(2));
    ASSERT_TRUE(again && alongside);
    expect_large_lists(*again, 1);
    expect_large_lists(*alongside, 2);
    // The same text, failing at its very end, fails as a small one does.
    const std::string stray = failure(large_lists_text(1) + "}");
    EXPECT_EQ(stray.substr(0, 20), "syntax error at 6:1:");
    EXPECT_EQ(stray.substr(stray.size() - 10), " @6:1 @6:2");
}

}  // namespace
