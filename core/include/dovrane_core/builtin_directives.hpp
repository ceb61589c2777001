// The directives every operation may use without the schema declaring them:
// @skip and @include, which lowering applies, and @defer and @stream, which
// mark fields for incremental delivery. Validation checks @defer and @stream
// against this table and leaves @skip and @include to lowering; lowering reads
// all four and carries every other directive into the plan.
#pragma once

#include <span>
#include <string_view>

#include "dovrane_core/schema.hpp"

namespace dovrane_core::builtin_directives {

struct BuiltinArgument {
    std::string_view name;
    std::string_view type;           // SDL type text; every one is a named type
    std::string_view default_value;  // GraphQL literal text; empty when there is none
};

struct BuiltinDirective {
    std::string_view name;  // without "@"
    std::span<const BuiltinArgument> arguments;
    // Where it may stand. Validation checks no location of @skip and
    // @include; lowering applies them on fragment definitions too.
    std::span<const schema::OperationDirectiveLocation> locations;
};

inline constexpr std::string_view if_argument = "if";
inline constexpr std::string_view label_argument = "label";
inline constexpr std::string_view initial_count_argument = "initialCount";

// `if` is required of @skip and @include; an absent `if` leaves @defer and
// @stream active, and nullable types let lowering report a null itself.
inline constexpr BuiltinArgument condition_arguments[] = {{if_argument, "Boolean!", ""}};
inline constexpr BuiltinArgument defer_arguments[] = {{if_argument, "Boolean", "true"},
                                                      {label_argument, "String", ""}};
inline constexpr BuiltinArgument stream_arguments[] = {{if_argument, "Boolean", "true"},
                                                       {label_argument, "String", ""},
                                                       {initial_count_argument, "Int", "0"}};

inline constexpr schema::OperationDirectiveLocation condition_locations[] = {
    schema::OperationDirectiveLocation::Field, schema::OperationDirectiveLocation::FragmentDefinition,
    schema::OperationDirectiveLocation::FragmentSpread, schema::OperationDirectiveLocation::InlineFragment};
inline constexpr schema::OperationDirectiveLocation fragment_locations[] = {
    schema::OperationDirectiveLocation::FragmentSpread, schema::OperationDirectiveLocation::InlineFragment};
inline constexpr schema::OperationDirectiveLocation field_locations[] = {schema::OperationDirectiveLocation::Field};

inline constexpr BuiltinDirective directives[] = {
    {"skip", condition_arguments, condition_locations},
    {"include", condition_arguments, condition_locations},
    {"defer", defer_arguments, fragment_locations},
    {"stream", stream_arguments, field_locations},
};

inline constexpr const BuiltinDirective& skip = directives[0];
inline constexpr const BuiltinDirective& include = directives[1];
inline constexpr const BuiltinDirective& defer = directives[2];
inline constexpr const BuiltinDirective& stream = directives[3];

// The built-in directive of that name, compared byte for byte, or null.
constexpr const BuiltinDirective* find(std::string_view name) {
    for (const BuiltinDirective& directive : directives) {
        if (directive.name == name) return &directive;
    }
    return nullptr;
}

constexpr const BuiltinArgument* find_argument(const BuiltinDirective& directive, std::string_view name) {
    for (const BuiltinArgument& argument : directive.arguments) {
        if (argument.name == name) return &argument;
    }
    return nullptr;
}

constexpr bool allows(const BuiltinDirective& directive, schema::OperationDirectiveLocation location) {
    for (schema::OperationDirectiveLocation candidate : directive.locations) {
        if (candidate == location) return true;
    }
    return false;
}

}  // namespace dovrane_core::builtin_directives
