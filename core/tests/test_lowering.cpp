#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dovrane_core/error.hpp"
#include "dovrane_core/json.hpp"
#include "dovrane_core/lowering.hpp"
#include "dovrane_core/parser.hpp"

using namespace dovrane_core;
using lowering::LoweredField;
using lowering::VariableMap;

namespace {

// ---------------------------------------------------------------------------
// A compact text form of a plan: one line per field, two spaces per level:
//   key[: name] [on T][(args)] [@directive(args)]... [defer[(label)]] [stream(count[, label])]
// An error prints as "!CODE message".

void print_value(std::string& out, const document::Value& value) {
    using document::ValueKind;
    switch (value.kind) {
        case ValueKind::Variable: out += "$"; out += value.text; break;
        case ValueKind::Null: out += "null"; break;
        case ValueKind::Number: json::append_number_text(out, value.number); break;
        case ValueKind::String: out += "\""; out += value.text; out += "\""; break;
        case ValueKind::Boolean: out += value.boolean ? "true" : "false"; break;
        case ValueKind::Binary: out += "<binary>"; break;
        case ValueKind::Enum: out += value.text; break;
        case ValueKind::List:
            out += "[";
            for (std::size_t i = 0; i < value.list.size(); ++i) {
                if (i) out += ", ";
                print_value(out, value.list[i]);
            }
            out += "]";
            break;
        case ValueKind::Object:
            out += "{";
            for (std::size_t i = 0; i < value.object.size(); ++i) {
                if (i) out += ", ";
                out += value.object[i].name.value;
                out += ": ";
                print_value(out, value.object[i].value);
            }
            out += "}";
            break;
    }
}

void print_arguments(std::string& out, const std::vector<lowering::LoweredArgument>& arguments) {
    if (arguments.empty()) return;
    out += "(";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i) out += ", ";
        out += arguments[i].name;
        out += ": ";
        print_value(out, *arguments[i].value);
    }
    out += ")";
}

void print_fields(std::string& out, const std::vector<LoweredField>& fields, std::size_t indent) {
    for (const LoweredField& field : fields) {
        if (!out.empty()) out += "\n";
        out.append(indent * 2, ' ');
        out += field.response_key;
        if (field.response_key != field.field_name) {
            out += ": ";
            out += field.field_name;
        }
        if (field.type_condition) {
            out += " on ";
            out += *field.type_condition;
        }
        print_arguments(out, field.arguments);
        for (const lowering::LoweredDirective& directive : field.directives) {
            out += " @";
            out += directive.name;
            print_arguments(out, directive.arguments);
        }
        if (field.defer) {
            out += " defer";
            if (field.defer->label) out += "(" + std::string(*field.defer->label) + ")";
        }
        if (field.stream) {
            out += " stream(" + std::to_string(field.stream->initial_count);
            if (field.stream->label) out += ", " + std::string(*field.stream->label);
            out += ")";
        }
        print_fields(out, field.selections, indent + 1);
    }
}

document::SharedDocument parse(const std::string& query) {
    auto parsed = parser::parse_document(query);
    if (!parsed) {
        ADD_FAILURE() << "parse failed: " << parsed.error().message << "\n" << query;
        return nullptr;
    }
    return parsed.value();
}

std::string lower(const std::string& query, const VariableMap& variables = {},
                  std::optional<std::string_view> operation_name = std::nullopt) {
    document::SharedDocument document = parse(query);
    if (!document) return "<parse failed>";
    auto lowered = lowering::lower_document(document, variables, operation_name);
    if (!lowered) {
        const error::GraphQLError& error = lowered.error();
        // Only an undefined or cyclic spread is located (FragmentErrorsAreLocated).
        const bool spread_error = error.message.starts_with("undefined fragment '") ||
                                  error.message.starts_with("Fragment cycle detected involving '");
        EXPECT_EQ(error.locations.has_value(), spread_error) << error.message;
        EXPECT_FALSE(error.path.has_value());
        return "!" + std::string(error::error_code_wire_name(error.code)) + " " + error.message;
    }
    std::string out;
    print_fields(out, lowered->fields, 0);
    return out;
}

json::Value integer(std::int64_t value) { return json::Number::from_signed(value); }

struct Case {
    const char* query;
    VariableMap variables;
    std::string expected;
};

void run_cases(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(lower(c.query, c.variables), c.expected) << c.query;
}

constexpr char validation_failed[] = "!GRAPHQL_VALIDATION_FAILED ";

std::string failure(const std::string& message) { return validation_failed + message; }

}  // namespace

// ---------------------------------------------------------------------------

TEST(Lowering, SkipAndInclude) {
    const VariableMap yes{{"yes", true}, {"no", false}, {"nothing", nullptr}, {"text", std::string("true")}};
    run_cases({
        {"{ a @skip(if: true) b }", {}, "b"},
        {"{ a @skip(if: false) b @include(if: true) }", {}, "a\nb"},
        {"{ a @include(if: false) b @skip(if: true) }", {}, ""},
        {"{ a @skip(if: $yes) b @include(if: $no) c @include(if: $yes) @skip(if: $no) }", yes, "c"},
        // The first deciding directive wins; the ones after it are not evaluated.
        {"{ a @skip(if: true) @include(if: $undefined) b }", {}, "b"},
        {"{ a @include(if: $undefined) @skip(if: true) }", {},
         "!GRAPHQL_VALIDATION_FAILED @include(if: $undefined) references undefined variable '$undefined'"},
        // Only the first `if` counts.
        {"{ a @include(if: true, if: false) }", {}, "a"},
        // Names are case-sensitive: @Skip is a custom directive.
        {"{ a @Skip(if: true) }", {}, "a @Skip(if: true)"},
        {"{ a @skip }", {}, "!GRAPHQL_VALIDATION_FAILED @skip requires an 'if' argument"},
        {"{ a @skip(If: true) }", {}, "!GRAPHQL_VALIDATION_FAILED @skip requires an 'if' argument"},
        {"{ a @include(when: true) }", {}, "!GRAPHQL_VALIDATION_FAILED @include requires an 'if' argument"},
        {"{ a @skip(if: null) }", {}, "!GRAPHQL_VALIDATION_FAILED @skip(if: ...) argument must be a boolean or a variable"},
        {"{ a @include(if: \"yes\") }", {},
         "!GRAPHQL_VALIDATION_FAILED @include(if: ...) argument must be a boolean or a variable"},
        {"{ a @include(if: 1) }", {}, "!GRAPHQL_VALIDATION_FAILED @include(if: ...) argument must be a boolean or a variable"},
        {"{ a @include(if: TRUE) }", {}, "!GRAPHQL_VALIDATION_FAILED @include(if: ...) argument must be a boolean or a variable"},
        {"{ a @include(if: [true]) }", {}, "!GRAPHQL_VALIDATION_FAILED @include(if: ...) argument must be a boolean or a variable"},
        {"{ a @skip(if: $nothing) }", yes, "!GRAPHQL_VALIDATION_FAILED variable '$nothing' used in @skip(if: ...) must be a boolean"},
        {"{ a @skip(if: $text) }", yes, "!GRAPHQL_VALIDATION_FAILED variable '$text' used in @skip(if: ...) must be a boolean"},
        {"{ a @skip(if: $one) }", {{"one", integer(1)}},
         "!GRAPHQL_VALIDATION_FAILED variable '$one' used in @skip(if: ...) must be a boolean"},
        // Declared defaults are never applied.
        {"query ($s: Boolean = true) { a @skip(if: $s) }", {},
         "!GRAPHQL_VALIDATION_FAILED @skip(if: $s) references undefined variable '$s'"},
        // Spreads, fragment definitions and inline fragments prune the same way.
        {"{ ...F @skip(if: true) b } fragment F on T { a }", {}, "b"},
        {"{ ...F b } fragment F on T @include(if: false) { a }", {}, "b"},
        {"{ ... on T @include(if: $no) { a } b }", yes, "b"},
        {"{ ...F } fragment F on T @skip { a }", {}, "!GRAPHQL_VALIDATION_FAILED @skip requires an 'if' argument"},
        // A pruned field's own sub-selection is never looked at.
        {"{ a @skip(if: true) { b @skip } }", {}, ""},
    });
}

TEST(Lowering, FragmentFlattening) {
    run_cases({
        {"{ a ...F d } fragment F on T { b c }", {}, "a\nb on T\nc on T\nd"},
        {"{ ...F ...F } fragment F on T { a }", {}, "a on T\na on T"},
        {"{ a x: a a }", {}, "a\nx: a\na"},
        {"{ __typename }", {}, "__typename"},
        // An inline fragment without a type condition inherits one; sub-fields do not.
        {"{ ... on T { ... { f { g } } } }", {}, "f on T\n  g"},
        {"{ ...F } fragment F on T { ... { a { b ... on U { c } } } }", {}, "a on T\n  b\n  c on U"},
        // One condition per field, the innermost: an executor filtering by it
        // takes id for every Node, not only for Posts.
        {"{ ... on Post { ... on Node { id } title } }", {}, "id on Node\ntitle on Post"},
        // A spread hands down its definition's condition, whatever encloses it.
        {"{ ... on A { ...F x } } fragment F on B { y }", {}, "y on B\nx on A"},
        {"{ ...F } fragment F on A { ...G } fragment G on B { z }", {}, "z on B"},
        // Later spreads of a fragment give the same fields as the first.
        {"{ a { ...F } b { ...F c } } fragment F on T { x { ...G } } fragment G on U { y z }", {},
         "a\n  x on T\n    y on U\n    z on U\nb\n  x on T\n    y on U\n    z on U\n  c"},
    });
}

TEST(Lowering, ArgumentsAndDirectivesCarried) {
    run_cases({
        {"{ a(x: 1, y: $v, z: [2.5, {k: E, s: \"t\"}], x: null) }", {}, "a(x: 1, y: $v, z: [2.5, {k: E, s: \"t\"}], x: null)"},
        // Variables stay references, supplied or not.
        {"{ a(id: $missing) }", {{"other", true}}, "a(id: $missing)"},
        {"{ a @custom(p: $v) @skip(if: false) @include(if: true) @defer @stream @other }", {},
         "a @custom(p: $v) @other stream(0)"},
        {"{ a @DEFER }", {}, "a @DEFER"},
        // Directives on spreads, inline fragments and definitions never reach the plan.
        {"{ ...F @custom ... @custom @stream { b } } fragment F on T @custom(x: 1) { a }", {}, "a on T\nb"},
    });
}

TEST(Lowering, OperationSelection) {
    const char* query = "query Q { q } mutation M { m } subscription S { s }";
    EXPECT_EQ(lower(query, {}, "Q"), "q");
    EXPECT_EQ(lower(query, {}, "M"), "m");
    EXPECT_EQ(lower(query, {}, "q"), failure("no operation named 'q'"));
    EXPECT_EQ(lower(query), failure("document contains multiple operations; operation_name is required"));

    struct TypeCase {
        const char* name;
        document::OperationType type;
    };
    for (const TypeCase& c : {TypeCase{"Q", document::OperationType::Query},
                              TypeCase{"M", document::OperationType::Mutation},
                              TypeCase{"S", document::OperationType::Subscription}}) {
        auto lowered = lowering::lower_document(parse(query), {}, c.name);
        ASSERT_TRUE(lowered.ok());
        EXPECT_EQ(lowered->operation_type, c.type) << c.name;
    }
}

TEST(Lowering, Defer) {
    const VariableMap flags{{"on", true}, {"off", false}};
    run_cases({
        {"{ ... @defer { a } }", {}, "a defer"},
        {"{ ...F @defer(label: \"l\") } fragment F on T { a b }", {}, "a on T defer(l)\nb on T defer(l)"},
        // A shared response key keeps the fragment's fields undeferred.
        {"{ ...F @defer a } fragment F on T { a }", {}, "a on T\na"},
        {"{ ... @defer { a a } }", {}, "a\na"},
        {"{ ... @defer { a } ... { a } }", {}, "a\na"},
        {"{ ... @defer { a } ... { x: a } }", {}, "a defer\nx: a"},
        // The outermost surviving mark wins; a dropped one leaves the inner mark.
        {"{ ... @defer(label: \"o\") { ... @defer(label: \"i\") { b } } }", {}, "b defer(o)"},
        {"{ ... @defer(label: \"o\") { ... @defer(label: \"i\") { b } } b }", {}, "b defer(i)\nb"},
        // Only fields spliced in at the fragment's own level are marked.
        {"{ ... @defer { a { b } } }", {}, "a defer\n  b"},
        {"{ ... @defer { list @stream(initialCount: 2) } }", {}, "list defer stream(2)"},
        {"{ ... @defer(if: false) { a } }", {}, "a"},
        {"{ ... @defer(if: $off) { a } ... @defer(if: $on, label: \"x\") { b } }", flags, "a\nb defer(x)"},
        {"{ a @defer }", {}, "a"},
        // The definition's @defer is not read; a second @defer is ignored.
        {"{ ...F } fragment F on T @defer { a }", {}, "a on T"},
        {"{ ... @defer(label: \"first\") @defer(label: $x) { f } }", {}, "f defer(first)"},
        // `if` first: a false `if` never reads the label.
        {"{ ... @defer(label: $l, if: false) { a } }", {}, "a"},
        {"{ ... @defer(label: $l) { a } }", {}, failure("@defer(label: ...) must be a static string, not a variable")},
        {"{ ... @defer(label: null) { a } }", {}, failure("@defer(label: ...) must be a static string, not a variable")},
        {"{ ... @defer(label: 5, if: $u) { a } }", {}, failure("@defer(if: $u) references undefined variable '$u'")},
        {"{ ... @defer(if: \"no\") { a } }", {}, failure("@defer(if: ...) argument must be a boolean or a variable")},
        {"{ ...F @defer(if: $on) } fragment F on T { a }", {{"on", integer(1)}},
         failure("variable '$on' used in @defer(if: ...) must be a boolean")},
    });
}

TEST(Lowering, DeferInALargeSelectionSetCountsEveryKey) {
    // Beyond a few dozen entries the key count takes another road; same rule.
    std::string query = "{ ";
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        const std::string key = "k" + std::to_string(i);
        query.append(key).append(" ");
        expected.append(key).append("\n");
    }
    query += "... @defer(label: \"d\") { k17 z k39 } ...F @defer } fragment F on T { y k0 }";
    expected += "k17\nz defer(d)\nk39\ny on T defer\nk0 on T";
    EXPECT_EQ(lower(query), expected);
}

TEST(Lowering, Stream) {
    const VariableMap numbers{{"three", integer(3)},
                              {"minus", integer(-5)},
                              {"half", json::Number::from_double(3.5)},
                              {"flag", true},
                              {"huge", json::Number::from_unsigned(9223372036854775808u)},
                              {"text", std::string("3")}};
    const std::string not_integer = failure("@stream(initialCount: ...) argument must be an integer or a variable");
    const std::string not_static = failure("@stream(label: ...) must be a static string, not a variable");
    run_cases({
        {"{ a @stream }", {}, "a stream(0)"},
        {"{ a @stream(initialCount: -3) }", {}, "a stream(-3)"},
        {"{ a @stream(initialCount: 9223372036854775807) }", {}, "a stream(9223372036854775807)"},
        {"{ a @stream(initialCount: -9223372036854775808) }", {}, "a stream(-9223372036854775808)"},
        {"{ a @stream(label: \"s\", initialCount: 1) }", {}, "a stream(1, s)"},
        {"{ a @stream(other: 1) }", {}, "a stream(0)"},
        {"{ a @stream(if: true) }", {}, "a stream(0)"},
        {"{ a @stream(initialCount: 1) @stream(initialCount: \"x\") }", {}, "a stream(1)"},
        {"{ a @stream(initialCount: $three) b @stream(initialCount: $minus) }", numbers, "a stream(3)\nb stream(-5)"},
        // A false `if` reads nothing else.
        {"{ a @stream(initialCount: \"x\", label: 5, if: false) }", {}, "a"},
        {"{ a @stream(initialCount: 2.0) }", {}, not_integer},
        {"{ a @stream(initialCount: -0) }", {}, not_integer},
        {"{ a @stream(initialCount: 9223372036854775808) }", {}, not_integer},
        {"{ a @stream(initialCount: \"3\") }", {}, not_integer},
        {"{ a @stream(initialCount: null) }", {}, not_integer},
        {"{ a @stream(initialCount: THREE) }", {}, not_integer},
        {"{ a @stream(initialCount: [3]) }", {}, not_integer},
        {"{ a @stream(initialCount: $half) }", numbers, failure("variable '$half' used in @stream(initialCount: ...) must be an integer")},
        {"{ a @stream(initialCount: $flag) }", numbers, failure("variable '$flag' used in @stream(initialCount: ...) must be an integer")},
        {"{ a @stream(initialCount: $huge) }", numbers, failure("variable '$huge' used in @stream(initialCount: ...) must be an integer")},
        {"{ a @stream(initialCount: $text) }", numbers, failure("variable '$text' used in @stream(initialCount: ...) must be an integer")},
        {"{ a @stream(initialCount: $absent) }", numbers,
         failure("@stream(initialCount: $absent) references undefined variable '$absent'")},
        {"{ a @stream(label: 5) }", {}, not_static},
        {"{ a @stream(label: $l) }", {}, not_static},
        // `if`, then `initialCount`, then `label`, whatever the written order.
        {"{ a @stream(label: 5, initialCount: \"x\") }", {}, not_integer},
        {"{ a @stream(label: 5, initialCount: 1, if: $u) }", {}, failure("@stream(if: $u) references undefined variable '$u'")},
        {"{ a @stream(if: 1) }", {}, failure("@stream(if: ...) argument must be a boolean or a variable")},
        // The sub-selection is lowered before the field's own @stream is read.
        {"{ a @stream(initialCount: \"x\") { b @skip } }", {}, failure("@skip requires an 'if' argument")},
    });
}

TEST(Lowering, FragmentErrors) {
    const std::string cycle = "!INVALID_FRAGMENT_TARGET Fragment cycle detected involving ";
    run_cases({
        {"{ ...Missing }", {}, failure("undefined fragment 'Missing'")},
        {"{ a { ... on T { ...Missing } } }", {}, failure("undefined fragment 'Missing'")},
        {"{ ...F } fragment F on T { a ...F }", {}, cycle + "'F'"},
        {"{ ...A } fragment A on T { ...B } fragment B on T { x { ...A } }", {}, cycle + "'A'"},
        {"{ ...A } fragment A on T { ...B } fragment B on T { ...C } fragment C on T { ...B }", {}, cycle + "'B'"},
        // Both checks come after pruning.
        {"{ ...Missing @skip(if: true) a }", {}, "a"},
        {"{ ...F } fragment F on T { a ...F @include(if: false) }", {}, "a on T"},
        {"{ ...F } fragment F on T { a ...G } fragment G on T @skip(if: true) { ...F }", {}, "a on T"},
        // A spread's pruning is read before the fragment is looked up; the
        // definition's after it.
        {"{ ...Missing @skip }", {}, failure("@skip requires an 'if' argument")},
        {"{ ...F } fragment F on T @skip { ...F }", {}, failure("@skip requires an 'if' argument")},
        // The cycle check comes before the spread's @defer is read.
        {"{ ...F } fragment F on T { ...F @defer(label: $x) }", {}, cycle + "'F'"},
    });
}

// At the "..." of the spread that is undefined or closes the cycle, in
// characters, as validation would locate it.
TEST(Lowering, FragmentErrorsAreLocated) {
    struct Located {
        const char* query;
        std::uint64_t line;
        std::uint64_t column;
    };
    for (const Located& c : std::vector<Located>{
             {"{ ...Missing }", 1, 3},
             {"{ search { ... on User { ...Missing } } }", 1, 26},
             {"{ a(s: \"ééé\") { ...Missing } }", 1, 17},
             {"{ ...F } fragment F on T { a ...F }", 1, 30},
             {"{ ...A } fragment A on T { ...B }\nfragment B on T { x { ...A } }", 2, 23},
         }) {
        document::SharedDocument document = parse(c.query);
        if (!document) continue;
        auto lowered = lowering::lower_document(document, {}, std::nullopt);
        ASSERT_FALSE(lowered.ok()) << c.query;
        const error::GraphQLError& error = lowered.error();
        ASSERT_TRUE(error.locations.has_value()) << c.query;
        EXPECT_EQ(*error.locations, (std::vector<error::Location>{{c.line, c.column}})) << c.query;
    }
}

TEST(Lowering, PositionsAreTheFieldsOwn) {
    // Columns count characters: "é" is two bytes, one column.
    const std::string query =
        "{\n"
        "  a(s: \"\xC3\xA9\xC3\xA9\") b\n"
        "  alias: c\n"
        "  ...F\n"
        "}\n"
        "fragment F on T { d }\n";
    auto lowered = lowering::lower_document(parse(query), {}, std::nullopt);
    ASSERT_TRUE(lowered.ok());
    struct Position {
        std::uint64_t line, column;
    };
    const std::vector<Position> expected = {{2, 3}, {2, 14}, {3, 3}, {6, 19}};
    ASSERT_EQ(lowered->fields.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(lowered->fields[i].line, expected[i].line) << i;
        EXPECT_EQ(lowered->fields[i].column, expected[i].column) << i;
    }
}

// The flat plan against the LoweredField tree built from it, field by field.
void expect_flat_level(const lowering::FlatPlan& flat, std::size_t first, std::size_t count,
                       const std::vector<LoweredField>& level) {
    ASSERT_EQ(count, level.size());
    for (std::size_t i = 0; i < count; ++i) {
        const lowering::FlatField& field = flat.fields.at(first + i);
        const LoweredField& expected = level[i];
        EXPECT_EQ(field.selection->response_key(), expected.response_key);
        EXPECT_EQ(field.selection->name.value, expected.field_name);
        EXPECT_EQ(field.type_condition ? std::optional<std::string_view>(field.type_condition->value) : std::nullopt,
                  expected.type_condition);
        EXPECT_EQ(field.line, expected.line);
        EXPECT_EQ(field.column, expected.column);
        const lowering::DeferMarker* defer = flat.defer_of(field);
        ASSERT_EQ(defer != nullptr, expected.defer.has_value()) << expected.response_key;
        if (defer) {
            EXPECT_EQ(defer->label, expected.defer->label);
        }
        const lowering::StreamMarker* stream = flat.stream_of(field);
        ASSERT_EQ(stream != nullptr, expected.stream.has_value()) << expected.response_key;
        if (stream) {
            EXPECT_EQ(stream->initial_count, expected.stream->initial_count);
        }
        expect_flat_level(flat, field.first_child, field.child_count, expected.selections);
    }
}

TEST(Lowering, FlatPlanHoldsTheTree) {
    const std::string query =
        "query { a @x(v: 1) { b(s: 2) c @stream(initialCount: 3, label: \"s\") { d } }\n"
        "  ...F @defer(label: \"f\") ... on T { e { ...G } } g: a { ...G } }\n"
        "fragment F on U { h i { j } }\n"
        "fragment G on V { k ... @defer { l } }\n";
    document::SharedDocument document = parse(query);
    ASSERT_TRUE(document);
    auto tree = lowering::lower_document(document, {}, std::nullopt);
    ASSERT_TRUE(tree.ok());
    auto flat = lowering::lower_flat(document, {}, std::nullopt);
    ASSERT_TRUE(flat.ok());
    EXPECT_EQ(flat->operation_type, document::OperationType::Query);
    expect_flat_level(flat.value(), 0, flat->top_count, tree->fields);
    EXPECT_EQ(flat->document, document);
}

TEST(Lowering, FlatPlansAliveTogetherKeepTheirOwn) {
    // A freed plan leaves its buffers to the thread's next one: a plan that
    // is still alive never shares them.
    document::SharedDocument first = parse("{ a { b c } d ...F } fragment F on T { e @defer }");
    document::SharedDocument second = parse("{ x @stream { y } z }");
    ASSERT_TRUE(first && second);
    const auto tree = lowering::lower_document(first, {}, std::nullopt);
    ASSERT_TRUE(tree.ok());
    auto kept = lowering::lower_flat(first, {}, std::nullopt);
    ASSERT_TRUE(kept.ok());
    for (int round = 0; round < 3; ++round) {
        auto other = lowering::lower_flat(second, {}, std::nullopt);
        ASSERT_TRUE(other.ok());
        EXPECT_EQ(other->top_count, 2u);
        auto again = lowering::lower_flat(first, {}, std::nullopt);
        ASSERT_TRUE(again.ok());
        expect_flat_level(again.value(), 0, again->top_count, tree->fields);
    }
    expect_flat_level(kept.value(), 0, kept->top_count, tree->fields);
}

TEST(Lowering, PlanOutlivesTheCallersDocument) {
    document::SharedDocument document = parse("{ a(x: \"text\") @tag(v: [1]) { b } }");
    auto lowered = lowering::lower_document(document, {}, std::nullopt);
    ASSERT_TRUE(lowered.ok());
    document.reset();
    lowering::LoweredOperation operation = std::move(lowered).value();
    std::string out;
    print_fields(out, operation.fields, 0);
    EXPECT_EQ(out, "a(x: \"text\") @tag(v: [1])\n  b");
}

// ---------------------------------------------------------------------------
// Bounds

namespace {

// `{ ...F1 }` and a chain F1 -> F2 -> ... -> Fn, the last selecting `leaf`:
// each spread adds one level, so `leaf` sits n levels down.
std::string fragment_chain(std::size_t length, const std::string& operation = "{ ...F1 }") {
    std::string query = operation + "\n";
    for (std::size_t i = 1; i < length; ++i) {
        query += "fragment F" + std::to_string(i) + " on T { ...F" + std::to_string(i + 1) + " }\n";
    }
    query += "fragment F" + std::to_string(length) + " on T { leaf }\n";
    return query;
}

// F0 spreads F1 `width` times, F1 spreads F2 `width` times, and so on; the
// last fragment holds `body`. The operation spreads F0 and then adds `extra`.
std::string fragment_bomb(std::size_t levels, std::size_t width, const std::string& body,
                          const std::string& extra = "") {
    std::string query = "{ ...F0 " + extra + " }\n";
    for (std::size_t i = 0; i < levels; ++i) {
        query += "fragment F" + std::to_string(i) + " on T {";
        for (std::size_t j = 0; j < width; ++j) query += " ...F" + std::to_string(i + 1);
        query += " }\n";
    }
    query += "fragment F" + std::to_string(levels) + " on T { " + body + " }\n";
    return query;
}

std::size_t count_fields(const std::vector<LoweredField>& fields) {
    std::size_t count = fields.size();
    for (const LoweredField& field : fields) count += count_fields(field.selections);
    return count;
}

}  // namespace

TEST(LoweringBounds, EffectiveDepthAcrossFragments) {
    const std::string too_deep = failure("query nesting exceeds the limit of 256");
    EXPECT_EQ(lower(fragment_chain(256)), "leaf on T");
    EXPECT_EQ(lower(fragment_chain(257)), too_deep);
    // Field sub-selections and inline fragments count like spreads.
    EXPECT_EQ(lower(fragment_chain(255, "{ x { ...F1 } }")), "x\n  leaf on T");
    EXPECT_EQ(lower(fragment_chain(256, "{ x { ...F1 } }")), too_deep);
    EXPECT_EQ(lower(fragment_chain(256, "{ ... { ...F1 } }")), too_deep);
    // A fragment lowered once is not reused where it would end too deep.
    EXPECT_EQ(lower(fragment_chain(256, "{ ...F1 x { ...F1 } }")), too_deep);
    EXPECT_EQ(lower(fragment_chain(255, "{ ...F1 x { ...F1 } }")), "leaf on T\nx\n  leaf on T");
    // A chain far beyond the bound fails cleanly; the limit is checked only
    // where a selection set is entered.
    EXPECT_EQ(lower(fragment_chain(20000)), too_deep);
    EXPECT_EQ(lower(fragment_chain(20000, "{ ...F1 @skip(if: true) }")), "");
}

TEST(LoweringBounds, DeepPlansBuildAndFree) {
    // Four fragments of 63 nested field levels each, chained through spreads:
    // 4 spreads + 252 field levels = 256, the innermost `leaf` 253 fields down.
    auto nested = [](bool one_more_level) {
        std::string query = "{ ...F0 }\n";
        for (int i = 0; i < 4; ++i) {
            std::string open, close;
            for (int level = 0; level < 63; ++level) {
                open += "f { ";
                close += "} ";
            }
            std::string inner = i < 3 ? "...F" + std::to_string(i + 1) : std::string(one_more_level ? "g { leaf }" : "leaf");
            query += "fragment F" + std::to_string(i) + " on T { " + open + inner + " " + close + "}\n";
        }
        return query;
    };
    auto lowered = lowering::lower_document(parse(nested(false)), {}, std::nullopt);
    ASSERT_TRUE(lowered.ok()) << lowered.error().message;
    std::size_t depth = 0;
    for (const std::vector<LoweredField>* level = &lowered->fields; !level->empty(); level = &level->front().selections) {
        ASSERT_EQ(level->size(), 1u);
        ++depth;
    }
    EXPECT_EQ(depth, 253u);
    EXPECT_EQ(lower(nested(true)), failure("query nesting exceeds the limit of 256"));
}

TEST(LoweringBounds, FieldCount) {
    const std::string too_many = failure("query lowers to more than 100000 fields");
    // Exactly 100 000 fields: four levels of ten spreads around ten fields.
    const std::string ten_fields = "a b c d e f g h i j";
    auto lowered = lowering::lower_document(parse(fragment_bomb(4, 10, ten_fields)), {}, std::nullopt);
    ASSERT_TRUE(lowered.ok()) << lowered.error().message;
    EXPECT_EQ(count_fields(lowered->fields), 100000u);
    EXPECT_EQ(lower(fragment_bomb(4, 10, ten_fields, "one_more")), too_many);
    // Nested fields count too.
    EXPECT_EQ(lower(fragment_bomb(4, 10, "a b c d e f g h i { j k }")), too_many);
    // A 40-level bomb fails once the count passes the bound, without
    // building 2^40 fields.
    EXPECT_EQ(lower(fragment_bomb(40, 2, "a")), too_many);
    // Pruned or empty bodies cost nothing however often they are spread.
    EXPECT_EQ(lower(fragment_bomb(40, 2, "a @skip(if: true)"), {}), "");
    EXPECT_EQ(lower(fragment_bomb(40, 2, "... on T @include(if: $no) { a }", "z"), {{"no", false}}), "z");
    // Errors inside a bomb surface as in a plain walk.
    EXPECT_EQ(lower(fragment_bomb(40, 2, "a @skip(if: $missing)")),
              failure("@skip(if: $missing) references undefined variable '$missing'"));
}

TEST(LoweringBounds, ArgumentValueCount) {
    const std::string too_many = failure("query lowers to more than 1000000 argument values");
    auto list = [](int items) {
        std::string text = "[";
        for (int i = 0; i < items; ++i) text += "1 ";
        return text + "]";
    };
    // A list of 999 items weighs 1 000 nodes; spread 1 000 times it is exactly
    // the bound, and one node more passes it.
    const std::string heavy = "a(x: " + list(999) + ")";
    auto lowered = lowering::lower_document(parse(fragment_bomb(3, 10, heavy)), {}, std::nullopt);
    ASSERT_TRUE(lowered.ok()) << lowered.error().message;
    EXPECT_EQ(count_fields(lowered->fields), 1000u);
    EXPECT_EQ(lower(fragment_bomb(3, 10, heavy, "b(y: 1)")), too_many);
    // A carried directive weighs one plus its arguments; skip, include, defer
    // and stream weigh nothing.
    EXPECT_TRUE(lowering::lower_document(parse(fragment_bomb(3, 10, "a @tag(v: " + list(998) + ")")), {}, std::nullopt).ok());
    EXPECT_EQ(lower(fragment_bomb(3, 10, "a @tag(v: " + list(999) + ")")), too_many);
    EXPECT_TRUE(lowering::lower_document(
                    parse(fragment_bomb(3, 10, heavy + " @skip(if: false) @include(if: true) @defer @stream")), {},
                    std::nullopt)
                    .ok());
    // A bomb of heavy fields fails long before its fields are built.
    EXPECT_EQ(lower(fragment_bomb(30, 2, heavy)), too_many);
}

// ---------------------------------------------------------------------------
// Shapes whose plans are small next to the work a naive lowering does for
// them (their timings are in bench/bench_lowering.cpp and bench/bench_hostile.py)

namespace {

// "a0: id a1: id ...".
std::string aliased_ids(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += "a" + std::to_string(i) + ": id ";
    return text;
}

std::string defer_label_of(const LoweredField& field) {
    if (!field.defer) return "-";
    return field.defer->label ? std::string(*field.defer->label) : "(none)";
}

const std::vector<LoweredField>& viewer_selections(const lowering::LoweredOperation& lowered) {
    EXPECT_EQ(lowered.fields.size(), 1u);
    EXPECT_EQ(lowered.fields.at(0).response_key, "viewer");
    return lowered.fields.at(0).selections;
}

}  // namespace

TEST(LoweringAtScale, FragmentChainSharesOneBody) {
    // F0 -> F1 -> ... -> F250, the last holding 99 000 aliased fields. With
    // `labelled`, every spread is deferred under its own label and F100 also
    // selects a7 beside its spread.
    constexpr std::size_t levels = 250;
    constexpr std::size_t fields = 99000;
    auto chain = [](bool labelled) {
        std::string query = "query { viewer { ...F0 } }\n";
        for (std::size_t i = 0; i < levels; ++i) {
            const std::string n = std::to_string(i);
            query += "fragment F" + n + " on User { ...F" + std::to_string(i + 1);
            if (labelled) query += " @defer(label: \"d" + n + "\")" + std::string(i == 100 ? " a7" : "");
            query += " }\n";
        }
        return query + "fragment F" + std::to_string(levels) + " on User { " + aliased_ids(fields) + "}\n";
    };

    auto plain = lowering::lower_document(parse(chain(false)), {}, std::nullopt);
    ASSERT_TRUE(plain.ok()) << plain.error().message;
    const std::vector<LoweredField>& selections = viewer_selections(plain.value());
    ASSERT_EQ(selections.size(), fields);
    for (std::size_t i = 0; i < fields; i += 9999) {
        EXPECT_EQ(selections[i].response_key, "a" + std::to_string(i));
        EXPECT_EQ(selections[i].field_name, "id");
        EXPECT_EQ(selections[i].type_condition, "User");
        EXPECT_FALSE(selections[i].defer.has_value());
    }

    // The outermost label wins where the key is unique. The a7 at F100 shares
    // its key with the chain's a7 from F100 outwards, so neither takes those
    // marks: the chain's keeps the mark of F101, the next level in, where it
    // is alone, and F100's own gets none.
    auto deferred = lowering::lower_document(parse(chain(true)), {}, std::nullopt);
    ASSERT_TRUE(deferred.ok()) << deferred.error().message;
    const std::vector<LoweredField>& marked = viewer_selections(deferred.value());
    ASSERT_EQ(marked.size(), fields + 1);
    EXPECT_EQ(defer_label_of(marked[0]), "d0");
    EXPECT_EQ(defer_label_of(marked[6]), "d0");
    EXPECT_EQ(defer_label_of(marked[7]), "d101");
    EXPECT_EQ(defer_label_of(marked[fields - 1]), "d0");
    EXPECT_EQ(marked[fields].response_key, "a7");
    EXPECT_EQ(defer_label_of(marked[fields]), "-");
    std::size_t labelled_d0 = 0;
    for (const LoweredField& field : marked) labelled_d0 += defer_label_of(field) == "d0" ? 1 : 0;
    EXPECT_EQ(labelled_d0, fields - 1);
}

TEST(LoweringAtScale, NestedInlineDefers) {
    // Four fragments, each nesting 62 deferred inline fragments around a
    // spread of the next; the last holds 99 000 fields. Every field takes the
    // outermost label, and its type condition from the fragment holding it.
    constexpr std::size_t fields = 99000;
    auto nested = [](bool deferred) {
        std::string query = "query { viewer { ...F0 } }\n";
        for (int i = 0; i < 4; ++i) {
            std::string open;
            std::string close;
            for (int level = 0; level < 62; ++level) {
                open += deferred ? "... @defer(label: \"f" + std::to_string(i) + "l" + std::to_string(level) + "\") { "
                                 : std::string("... { ");
                close += "} ";
            }
            query += "fragment F" + std::to_string(i) + " on T" + std::to_string(i) + " { " + open + "...F" +
                     std::to_string(i + 1) + " " + close + "}\n";
        }
        return query + "fragment F4 on User { " + aliased_ids(fields) + "}\n";
    };
    for (bool deferred : {true, false}) {
        auto lowered = lowering::lower_document(parse(nested(deferred)), {}, std::nullopt);
        ASSERT_TRUE(lowered.ok()) << lowered.error().message;
        const std::vector<LoweredField>& selections = viewer_selections(lowered.value());
        ASSERT_EQ(selections.size(), fields);
        std::size_t with_outer_label = 0;
        for (const LoweredField& field : selections) with_outer_label += defer_label_of(field) == "f0l0" ? 1 : 0;
        EXPECT_EQ(with_outer_label, deferred ? fields : 0u);
        EXPECT_EQ(defer_label_of(selections.back()), deferred ? "f0l0" : "-");
        EXPECT_EQ(selections.back().type_condition, "User");
    }
}

TEST(LoweringAtScale, FragmentDirectivesDecideOncePerLowering) {
    // One fragment with 10 000 directives, spread 10 000 times: each spread
    // gives the same answer the first one did, errors included.
    constexpr std::size_t spreads = 10000;
    auto query = [](const std::string& last_directive) {
        std::string text = "query { viewer { ";
        for (std::size_t i = 0; i < spreads; ++i) text += "...F ";
        text += "} }\nfragment F on User ";
        for (std::size_t i = 0; i + 1 < spreads; ++i) text += "@include(if: true) ";
        return text + last_directive + " { id }\n";
    };
    auto kept = lowering::lower_document(parse(query("@include(if: $yes)")), {{"yes", true}}, std::nullopt);
    ASSERT_TRUE(kept.ok()) << kept.error().message;
    const std::vector<LoweredField>& selections = viewer_selections(kept.value());
    ASSERT_EQ(selections.size(), spreads);
    EXPECT_EQ(selections.back().type_condition, "User");
    EXPECT_EQ(lower(query("@include(if: $yes)"), {{"yes", false}}), "viewer");
    EXPECT_EQ(lower(query("@skip(if: $missing)")),
              failure("@skip(if: $missing) references undefined variable '$missing'"));
}

TEST(LoweringAtScale, LargeFlatSelectionSetIsRefused) {
    // 350 000 fields in one set: the text (1 MB) parses, lowering refuses it.
    std::string query = "{ viewer { ";
    for (int i = 0; i < 350000; ++i) query += "id ";
    query += "} }";
    EXPECT_EQ(lower(query), failure("query lowers to more than 100000 fields"));
}
