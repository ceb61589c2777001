// The built-in directive table against the two modules that act on it.
// Validation reads the table; lowering reads its names but decides locations
// and defaults by its own code, so these tests hold the two to the table: a
// directive validation lets through where lowering ignores it would be dropped
// unseen, and an argument validation accepts that lowering refuses would fail
// a request that passed validation.
#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "dovrane_core/builtin_directives.hpp"
#include "dovrane_core/lowering.hpp"
#include "dovrane_core/parser.hpp"
#include "dovrane_core/schema.hpp"
#include "dovrane_core/test_support/fixture_schemas.hpp"
#include "dovrane_core/test_support/schema_builders.hpp"
#include "dovrane_core/validation.hpp"

using namespace dovrane_core;
using builtin_directives::BuiltinArgument;
using builtin_directives::BuiltinDirective;
using schema::OperationDirectiveLocation;

namespace {

// type Query { items: [String] }
const schema::CompiledSchema& items_schema() {
    static const schema::CompiledSchema schema = [] {
        schema::CompiledSchema made = test_support::query_only_schema();
        test_support::add(made, test_support::type(schema::TypeKind::Object, "Query",
                                                   {test_support::field("items", "[String]")}));
        return made;
    }();
    return schema;
}

constexpr OperationDirectiveLocation selection_locations[] = {OperationDirectiveLocation::Field,
                                                              OperationDirectiveLocation::FragmentSpread,
                                                              OperationDirectiveLocation::InlineFragment};

bool is_selection_location(OperationDirectiveLocation location) {
    for (OperationDirectiveLocation candidate : selection_locations) {
        if (candidate == location) return true;
    }
    return false;
}

// `directive` written at `location`, on or around the one field `items`.
std::string query_with(const std::string& directive, OperationDirectiveLocation location) {
    switch (location) {
        case OperationDirectiveLocation::Query: return "query " + directive + " { items }";
        case OperationDirectiveLocation::Field: return "{ items " + directive + " }";
        case OperationDirectiveLocation::FragmentDefinition:
            return "{ ...F } fragment F on Query " + directive + " { items }";
        case OperationDirectiveLocation::FragmentSpread: return "{ ...F " + directive + " } fragment F on Query { items }";
        case OperationDirectiveLocation::InlineFragment: return "{ ... " + directive + " { items } }";
        default: break;
    }
    ADD_FAILURE() << "no query for that location";
    return {};
}

bool validates(const std::string& query) {
    auto parsed = parser::parse_document(query);
    if (!parsed) {
        ADD_FAILURE() << "query does not parse: " << parsed.error().message;
        return false;
    }
    return validation::validate_query(*parsed.value(), items_schema(), std::nullopt) == nullptr;
}

// What lowering made of `items`.
struct Lowered {
    bool ok = false;
    bool pruned = false;
    bool carried = false;  // some directive reached the plan
    std::optional<lowering::DeferMarker> defer;
    std::optional<lowering::StreamMarker> stream;

    bool took_effect() const { return pruned || defer || stream; }
};

Lowered lower(const std::string& query) {
    auto parsed = parser::parse_document(query);
    if (!parsed) {
        ADD_FAILURE() << "query does not parse: " << parsed.error().message;
        return {};
    }
    auto plan = lowering::lower_document(parsed.value(), {}, std::nullopt);
    if (!plan) return {};
    Lowered lowered;
    lowered.ok = true;
    lowered.pruned = plan->fields.empty();
    if (!lowered.pruned) {
        const lowering::LoweredField& items = plan->fields.front();
        lowered.carried = !items.directives.empty();
        lowered.defer = items.defer;
        lowered.stream = items.stream;
    }
    return lowered;
}

// A literal of the named type of a type text, and one of another kind.
std::pair<std::string, std::string> literals_for(std::string_view type) {
    if (type.ends_with('!')) type.remove_suffix(1);
    if (type == "Boolean") return {"true", "\"x\""};
    if (type == "String") return {"\"x\"", "5"};
    if (type == "Int") return {"1", "\"x\""};
    ADD_FAILURE() << "no literals for type " << type;
    return {};
}

OperationDirectiveLocation first_selection_location(const BuiltinDirective& directive) {
    for (OperationDirectiveLocation location : directive.locations) {
        if (is_selection_location(location)) return location;
    }
    ADD_FAILURE() << "@" << directive.name << " stands on no selection";
    return OperationDirectiveLocation::Field;
}

std::string directive_text(const BuiltinDirective& directive, std::string_view arguments = {}) {
    std::string text = "@" + std::string(directive.name);
    if (!arguments.empty()) text += "(" + std::string(arguments) + ")";
    return text;
}

}  // namespace

// Validation lets a built-in directive stand on a selection exactly where the
// table says, and lowering gives it effect there and nowhere else, never
// carrying it into the plan.
TEST(BuiltinDirectives, ValidationAndLoweringHonourTheLocations) {
    // One use per entry, in table order, whose effect shows on `items`.
    const std::pair<const BuiltinDirective*, std::string> uses[] = {
        {&builtin_directives::skip, "@skip(if: true)"},
        {&builtin_directives::include, "@include(if: false)"},
        {&builtin_directives::defer, "@defer"},
        {&builtin_directives::stream, "@stream"},
    };
    ASSERT_EQ(std::size(uses), std::size(builtin_directives::directives));
    for (std::size_t i = 0; i < std::size(uses); ++i) {
        const auto& [directive, text] = uses[i];
        EXPECT_EQ(directive, &builtin_directives::directives[i]);
        for (OperationDirectiveLocation location :
             {OperationDirectiveLocation::Query, OperationDirectiveLocation::Field,
              OperationDirectiveLocation::FragmentDefinition, OperationDirectiveLocation::FragmentSpread,
              OperationDirectiveLocation::InlineFragment}) {
            const std::string query = query_with(text, location);
            SCOPED_TRACE(query);
            const bool allowed = builtin_directives::allows(*directive, location);
            const Lowered lowered = lower(query);
            ASSERT_TRUE(lowered.ok);
            EXPECT_EQ(lowered.took_effect(), allowed);
            EXPECT_FALSE(lowered.carried);
            // Validation reads the directives of selections only.
            if (is_selection_location(location)) {
                EXPECT_EQ(validates(query), allowed);
            }
        }
    }
}

// Each argument of the table is one lowering reads with the table's type, and
// validation with it too (but validation leaves @skip and @include alone). An
// absent argument means its default: none on a non-null type fails lowering.
TEST(BuiltinDirectives, ValidationAndLoweringReadTheArgumentsAlike) {
    for (const BuiltinDirective& directive : builtin_directives::directives) {
        const OperationDirectiveLocation location = first_selection_location(directive);
        const bool validated =
            &directive != &builtin_directives::skip && &directive != &builtin_directives::include;
        for (const BuiltinArgument& argument : directive.arguments) {
            const auto [fitting, unfitting] = literals_for(argument.type);
            const std::string name(argument.name);
            const std::string fits = query_with(directive_text(directive, name + ": " + fitting), location);
            const std::string does_not_fit = query_with(directive_text(directive, name + ": " + unfitting), location);
            SCOPED_TRACE(does_not_fit);
            EXPECT_TRUE(lower(fits).ok);
            EXPECT_FALSE(lower(does_not_fit).ok);
            EXPECT_TRUE(validates(fits));
            EXPECT_EQ(validates(does_not_fit), !validated);
        }
        EXPECT_EQ(validates(query_with(directive_text(directive, "unlisted: 1"), location)), !validated);

        const std::string bare = query_with(directive_text(directive), location);
        SCOPED_TRACE(bare);
        const Lowered lowered = lower(bare);
        for (const BuiltinArgument& argument : directive.arguments) {
            SCOPED_TRACE(std::string(argument.name));
            if (argument.default_value.empty() && argument.type.ends_with('!')) {
                EXPECT_FALSE(lowered.ok);
                continue;
            }
            ASSERT_TRUE(lowered.ok);
            if (argument.name == builtin_directives::if_argument) {
                EXPECT_EQ(argument.default_value, "true");
                EXPECT_TRUE(lowered.took_effect());
            } else if (argument.name == builtin_directives::label_argument) {
                EXPECT_EQ(argument.default_value, "");
                EXPECT_FALSE(lowered.defer && lowered.defer->label);
                EXPECT_FALSE(lowered.stream && lowered.stream->label);
            } else if (argument.name == builtin_directives::initial_count_argument) {
                ASSERT_TRUE(lowered.stream);
                EXPECT_EQ(std::to_string(lowered.stream->initial_count), argument.default_value);
            } else {
                ADD_FAILURE() << "no check of the default of " << argument.name;
            }
        }
    }
}
