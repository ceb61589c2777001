// The schema model: plain records built by the Python extension and read by
// the core (shape check, validation, SDL, persisted queries).
//
// Maps are ordered by name: deterministic, and the byte order the SDL and the
// shape check print and walk in.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dovrane_core/json.hpp"
#include "dovrane_core/persisted_query_cache.hpp"

namespace dovrane_core::validation {
struct SchemaIndex;  // validation.hpp
}  // namespace dovrane_core::validation

namespace dovrane_core::schema {

// A type reference: a name, a list of a type, or a non-null type.
struct GraphQLType {
    enum class Kind : std::uint8_t { Named, List, NonNull };

    Kind kind = Kind::Named;
    std::string name;                     // Named
    std::unique_ptr<GraphQLType> inner;   // List, NonNull

    GraphQLType() = default;
    GraphQLType(const GraphQLType& other);  // deep copy
    GraphQLType& operator=(const GraphQLType& other);
    GraphQLType(GraphQLType&&) noexcept = default;
    GraphQLType& operator=(GraphQLType&&) noexcept = default;
    ~GraphQLType();  // iterative: wrapper chains may be long

    static GraphQLType named(std::string name);
    static GraphQLType list(GraphQLType element);
    static GraphQLType non_null(GraphQLType wrapped);

    bool is_non_null() const { return kind == Kind::NonNull; }
    // The Named payload under every List and NonNull wrapper.
    const std::string& named_type() const;
    // "String", "[String]!", "[Int!]!".
    std::string to_sdl_string() const;
};

enum class TypeKind : std::uint8_t { Object, Interface, InputObject, Enum };

// "type", "interface", "input", "enum": the Python kind strings and SDL keywords.
std::string_view type_kind_keyword(TypeKind kind);

enum class SchemaDirectiveLocation : std::uint8_t {
    Schema,
    Scalar,
    Object,
    FieldDefinition,
    ArgumentDefinition,
    Interface,
    Union,
    Enum,
    EnumValue,
    InputObject,
    InputFieldDefinition,
};
inline constexpr std::size_t schema_directive_location_count = 11;

enum class OperationDirectiveLocation : std::uint8_t {
    Query,
    Mutation,
    Subscription,
    Field,
    FragmentDefinition,
    FragmentSpread,
    InlineFragment,
};
inline constexpr std::size_t operation_directive_location_count = 7;

// Wire names: "SCHEMA" ... "INPUT_FIELD_DEFINITION"; "QUERY" ... "INLINE_FRAGMENT".
std::string_view schema_directive_location_name(SchemaDirectiveLocation location);
std::string_view operation_directive_location_name(OperationDirectiveLocation location);
// Exact, case-sensitive parse of a wire name.
std::optional<SchemaDirectiveLocation> parse_schema_directive_location(std::string_view name);
std::optional<OperationDirectiveLocation> parse_operation_directive_location(std::string_view name);

// One use of a schema directive: arguments as (key, value) in the directive's field order.
struct AppliedDirective {
    std::string name;  // without "@"
    std::vector<std::pair<std::string, json::Value>> arguments;
};

struct ArgumentDefinition {
    std::string name;  // the Python parameter name
    std::optional<std::string> graphql_name;
    GraphQLType arg_type;
    bool has_default = false;
    std::optional<std::string> default_value;  // GraphQL literal text
    std::optional<std::string> description;
    std::optional<std::string> deprecation_reason;
    bool is_maybe = false;
    std::vector<AppliedDirective> directives;

    // NonNull at the outermost level and no default.
    bool is_required() const { return arg_type.is_non_null() && !has_default; }
};

struct FieldDefinition {
    std::string name;  // the Python attribute name
    std::optional<std::string> graphql_name;
    GraphQLType field_type;
    std::optional<std::string> description;
    std::optional<std::string> deprecation_reason;
    std::optional<std::string> default_value;  // GraphQL literal text
    bool is_maybe = false;
    bool has_resolver = false;
    std::optional<std::string> parent_parameter;
    std::optional<std::string> info_parameter;
    std::vector<ArgumentDefinition> arguments;
    std::vector<AppliedDirective> directives;
};

struct EnumValueDefinition {
    std::string name;  // the Python member name
    std::optional<std::string> graphql_name;
    std::optional<std::string> description;
    std::optional<std::string> deprecation_reason;
    std::vector<AppliedDirective> directives;

    // Enum values are never camel-cased.
    const std::string& graphql_name_or_name() const { return graphql_name ? *graphql_name : name; }
};

struct TypeDefinition {
    TypeKind kind = TypeKind::Object;
    std::string name;
    std::optional<std::string> description;
    bool one_of = false;
    std::vector<FieldDefinition> fields;
    std::vector<AppliedDirective> directives;
    std::vector<std::string> interfaces;
    std::vector<EnumValueDefinition> enum_values;
};

struct UnionDefinition {
    std::string name;
    std::optional<std::string> description;
    std::vector<std::string> member_names;
    bool has_custom_resolve_type = false;
};

struct DirectiveFieldDefinition {
    std::string name;  // the Python field name
    std::optional<std::string> graphql_name;
    GraphQLType field_type;
};

struct SchemaDirectiveDefinition {
    std::string name;  // without "@"
    std::optional<std::string> description;
    std::vector<SchemaDirectiveLocation> locations;
    std::vector<DirectiveFieldDefinition> fields;
    bool repeatable = false;
};

struct OperationDirectiveDefinition {
    std::string name;  // without "@"
    std::optional<std::string> description;
    std::vector<OperationDirectiveLocation> locations;
    std::optional<std::string> value_parameter;
    std::optional<std::string> info_parameter;
    std::vector<ArgumentDefinition> arguments;
};

// The assembled schema. Owns copies of every definition and its own
// persisted-query cache; move-only because the cache is shared mutable state.
struct CompiledSchema {
    std::map<std::string, TypeDefinition, std::less<>> types;
    std::map<std::string, UnionDefinition, std::less<>> unions;
    std::string query_type_name;
    std::optional<std::string> mutation_type_name;
    std::optional<std::string> subscription_type_name;
    std::map<std::string, OperationDirectiveDefinition, std::less<>> directives;
    std::map<std::string, SchemaDirectiveDefinition, std::less<>> schema_directives;
    std::vector<AppliedDirective> schema_applied_directives;
    std::set<std::string, std::less<>> scalar_names;
    std::map<std::string, std::vector<AppliedDirective>, std::less<>> scalar_directives;
    std::map<std::string, std::string, std::less<>> scalar_descriptions;
    std::map<std::string, std::string, std::less<>> scalar_specified_by_urls;
    bool auto_camel_case = true;
    std::unique_ptr<persisted_query::PersistedQueryCache> persisted_query_cache =
        std::make_unique<persisted_query::PersistedQueryCache>(persisted_query::default_cache_byte_budget);
    // What validation reads of the records above, indexed once they are
    // complete (validation::index_schema); null until then.
    std::shared_ptr<const validation::SchemaIndex> validation_index;

    CompiledSchema() = default;
    CompiledSchema(const CompiledSchema&) = delete;
    CompiledSchema& operator=(const CompiledSchema&) = delete;
    CompiledSchema(CompiledSchema&&) noexcept = default;
    CompiledSchema& operator=(CompiledSchema&&) noexcept = default;
};

// The GraphQL name of a field, argument or schema-directive field: the explicit
// name, else the camel-cased Python name when `auto_camel_case`, else the name.
std::string graphql_name_of(const std::optional<std::string>& graphql_name, const std::string& name,
                            bool auto_camel_case);

// A name that starts with "__": a type or field so named is left out of the SDL.
bool is_introspection_name(std::string_view name);

// Every named type that a field or a field argument refers to.
std::set<std::string, std::less<>> referenced_type_names(
    const std::map<std::string, TypeDefinition, std::less<>>& types);

// Registers each library scalar (`builtin_scalars::library`) that a field, a
// field argument, an operation directive's argument or a schema directive's
// field names, unless a type or a union has its name: a library scalar that
// only a directive names must still be declared, or the SDL would name an
// undeclared type. One the caller registered keeps the caller's description,
// or none; one it did not gets the library's.
void add_library_scalars(CompiledSchema& schema);

// The first shape problem, as a plain message (no empty types, interfaces
// implemented, union members registered), or nothing.
std::optional<std::string> validate_schema_shape(
    const std::map<std::string, TypeDefinition, std::less<>>& types,
    const std::map<std::string, UnionDefinition, std::less<>>& unions,
    const std::set<std::string, std::less<>>& scalars);

// The whole check of an assembled schema: the three passes above, then what
// GraphQL forbids in the schema as its SDL prints it, each pass over the
// sections in the SDL's order and sorted by name, so the same schema always
// reports the same first problem:
// 4. names: every printed name is a GraphQL name and does not start with "__",
//    no enum value is named true, false or null, no two members of one
//    element print the same name, and no name stands for two kinds of thing
//    (a type, union, scalar or built-in scalar; an operation and a schema
//    directive);
// 5. references: the root types are object types, interfaces are interfaces,
//    union members object types, and every field, argument, input field and
//    directive argument names a registered type of a kind allowed there
//    (output or input); the built-in scalars count as registered;
// 6. something to print: a type with fields prints at least one, a union has
//    members, a directive has locations;
// 7. implementations as GraphQL reads them: by GraphQL names, with field
//    types that are subtypes of the interface's, the interface's arguments
//    taken with the same types, no interface listed twice or by itself, and
//    the interfaces of an interface listed too;
// 8. input rules: one-of fields nullable and without defaults, nothing
//    required deprecated, no input type that holds itself through non-null
//    fields;
// 9. applied directives: registered as schema directives, allowed at their
//    location, not repeated unless repeatable, with the arguments their
//    definition declares and every non-null one given.
std::optional<std::string> validate_schema_shape(const CompiledSchema& schema);

}  // namespace dovrane_core::schema
