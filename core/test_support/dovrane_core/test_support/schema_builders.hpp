// Test support, never part of the library: short builders of schema records,
// so that the core's tests, the benchmarks, the fuzz harnesses and the Python
// test module write a schema as a few readable lines and all build it alike.
// Names are given as the extension stores them (Python names); nothing here
// camel-cases, checks or registers anything beyond what it is asked.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dovrane_core/schema.hpp"

namespace dovrane_core::test_support {

using TypeMap = std::map<std::string, schema::TypeDefinition, std::less<>>;
using UnionMap = std::map<std::string, schema::UnionDefinition, std::less<>>;

// ---- Type references --------------------------------------------------------------

inline schema::GraphQLType named(std::string name) { return schema::GraphQLType::named(std::move(name)); }
inline schema::GraphQLType list(schema::GraphQLType element) { return schema::GraphQLType::list(std::move(element)); }
inline schema::GraphQLType non_null(schema::GraphQLType wrapped) {
    return schema::GraphQLType::non_null(std::move(wrapped));
}

// A reference from its SDL text: "ID", "[String!]!". Well-formed text only.
inline schema::GraphQLType type_of(std::string_view text) {
    if (!text.empty() && text.back() == '!') return non_null(type_of(text.substr(0, text.size() - 1)));
    if (!text.empty() && text.front() == '[') return list(type_of(text.substr(1, text.size() - 2)));
    return named(std::string(text));
}

// What the builders take for a type: a record, or its SDL text.
struct TypeRef {
    schema::GraphQLType type;

    TypeRef(schema::GraphQLType record) : type(std::move(record)) {}
    TypeRef(const char* text) : type(type_of(text)) {}
};

// ---- Arguments and fields ---------------------------------------------------------

// `has_default` alone stores no literal: a default the SDL cannot print.
inline schema::ArgumentDefinition argument(std::string name, TypeRef type, bool has_default = false) {
    schema::ArgumentDefinition definition;
    definition.name = std::move(name);
    definition.arg_type = std::move(type.type);
    definition.has_default = has_default;
    return definition;
}

// A default with its GraphQL literal text ("10", "\"en\"").
inline schema::ArgumentDefinition argument_with_default(std::string name, TypeRef type, std::string literal) {
    schema::ArgumentDefinition definition = argument(std::move(name), std::move(type), true);
    definition.default_value = std::move(literal);
    return definition;
}

inline schema::FieldDefinition field(std::string name, TypeRef type,
                                     std::vector<schema::ArgumentDefinition> arguments = {}) {
    schema::FieldDefinition definition;
    definition.name = std::move(name);
    definition.field_type = std::move(type.type);
    definition.arguments = std::move(arguments);
    return definition;
}

// An input field with a default, as its GraphQL literal text.
inline schema::FieldDefinition field_with_default(std::string name, TypeRef type, std::string literal) {
    schema::FieldDefinition definition = field(std::move(name), std::move(type));
    definition.default_value = std::move(literal);
    return definition;
}

// ---- Types ------------------------------------------------------------------------

inline schema::TypeDefinition type(schema::TypeKind kind, std::string name,
                                   std::vector<schema::FieldDefinition> fields = {},
                                   std::vector<std::string> interfaces = {}) {
    schema::TypeDefinition definition;
    definition.kind = kind;
    definition.name = std::move(name);
    definition.fields = std::move(fields);
    definition.interfaces = std::move(interfaces);
    return definition;
}

inline schema::EnumValueDefinition enum_value(std::string name) {
    schema::EnumValueDefinition value;
    value.name = std::move(name);
    return value;
}

inline schema::TypeDefinition enum_type(std::string name, const std::vector<std::string>& values) {
    schema::TypeDefinition definition = type(schema::TypeKind::Enum, std::move(name));
    for (const std::string& value : values) definition.enum_values.push_back(enum_value(value));
    return definition;
}

inline schema::UnionDefinition union_type(std::string name, std::vector<std::string> members) {
    schema::UnionDefinition definition;
    definition.name = std::move(name);
    definition.member_names = std::move(members);
    return definition;
}

// ---- Registering, under the definition's own name ---------------------------------
// Like the maps' emplace, a name registered already keeps its first definition.

inline void add(TypeMap& types, schema::TypeDefinition definition) {
    std::string key = definition.name;
    types.emplace(std::move(key), std::move(definition));
}

// Adding to a schema drops its validation index, which no longer covers it.

inline void add(schema::CompiledSchema& schema, schema::TypeDefinition definition) {
    schema.validation_index.reset();
    add(schema.types, std::move(definition));
}

inline void add(schema::CompiledSchema& schema, schema::UnionDefinition definition) {
    schema.validation_index.reset();
    std::string key = definition.name;
    schema.unions.emplace(std::move(key), std::move(definition));
}

inline void add_directive(schema::CompiledSchema& schema, std::string name,
                          std::vector<schema::OperationDirectiveLocation> locations,
                          std::vector<schema::ArgumentDefinition> arguments = {}) {
    schema::OperationDirectiveDefinition directive;
    directive.name = name;
    directive.locations = std::move(locations);
    directive.arguments = std::move(arguments);
    schema.validation_index.reset();
    schema.directives.emplace(std::move(name), std::move(directive));
}

}  // namespace dovrane_core::test_support
