// The read-only description objects of types, fields, arguments, enum values
// and type references, and type and enum processing.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/classes.hpp"
#include "binding/errors.hpp"
#include "binding/refs.hpp"
#include "dovrane_core/schema.hpp"

namespace _dovrane::type_info {

// `GraphQLTypeInfo`: a type reference in structured form.
struct PyGraphQLType {
    std::string_view kind;            // "NAMED", "LIST" or "NON_NULL"
    std::optional<std::string> name;  // NAMED only
    binding::Ref of_type;             // LIST and NON_NULL: the wrapped GraphQLTypeInfo

    template <class Visit>
    void for_each_ref(Visit&& visit) {
        visit(of_type);
    }
    // Wrapper chains can be long: dealloc unlinks them level by level.
    binding::Ref detach_chain() { return std::move(of_type); }
};

struct PyArgumentInfo {
    std::string name;
    std::optional<std::string> graphql_name;
    std::string graphql_type;  // SDL text
    binding::Ref type_info;    // GraphQLTypeInfo
    bool is_nullable = true;
    bool has_default = false;
    std::optional<std::string> default_value;
    std::optional<std::string> description;
    std::optional<std::string> deprecation_reason;
    bool is_maybe = false;

    template <class Visit>
    void for_each_ref(Visit&& visit) {
        visit(type_info);
    }
};

struct PyFieldInfo {
    std::string name;
    std::optional<std::string> graphql_name;
    std::string graphql_type;  // SDL text
    binding::Ref type_info;    // GraphQLTypeInfo
    std::optional<std::string> description;
    std::optional<std::string> deprecation_reason;
    std::optional<std::string> default_value;
    bool is_maybe = false;
    bool is_nullable = true;
    bool has_resolver = false;
    std::optional<std::string> parent_parameter;
    std::optional<std::string> info_parameter;
    std::vector<binding::Ref> arguments;  // ArgumentInfo objects

    template <class Visit>
    void for_each_ref(Visit&& visit) {
        binding::visit_refs(visit, type_info, arguments);
    }
};

struct PyEnumValueInfo {
    std::string name;
    std::optional<std::string> graphql_name;
    std::optional<std::string> description;
    std::optional<std::string> deprecation_reason;

    template <class Visit>
    void for_each_ref(Visit&&) {}
};

struct PyTypeInfo {
    std::string_view kind;  // "type", "interface", "input" or "enum"
    std::string name;
    std::optional<std::string> description;
    bool one_of = false;
    std::vector<binding::Ref> fields;       // FieldInfo objects
    std::vector<binding::Ref> enum_values;  // EnumValueInfo objects
    dovrane_core::schema::TypeDefinition definition;  // hidden; compile_schema takes it back

    template <class Visit>
    void for_each_ref(Visit&& visit) {
        binding::visit_refs(visit, fields, enum_values);
    }
};

extern binding::Class<PyTypeInfo> type_info_class;
extern binding::Class<PyFieldInfo> field_info_class;
extern binding::Class<PyArgumentInfo> argument_info_class;
extern binding::Class<PyEnumValueInfo> enum_value_info_class;
extern binding::Class<PyGraphQLType> graphql_type_class;

binding::Result<PyGraphQLType> convert_graphql_type(const dovrane_core::schema::GraphQLType& type);
binding::Result<PyArgumentInfo> convert_argument(dovrane_core::schema::ArgumentDefinition argument);

// A new TypeInfo over `definition`: its fields (from copies of the field
// definitions) or its enum values, by kind.
binding::Result<binding::Ref> new_type_info(dovrane_core::schema::TypeDefinition definition);

// The hidden definition of a TypeInfo; the layer's TypeError for any other object.
binding::Result<const dovrane_core::schema::TypeDefinition*> type_definition_of(PyObject* object);

// process_type(cls, *, kind, name=None, description=None, directives, one_of=False,
//              allow_unresolved_annotations=False)
extern const binding::Function process_type_function;

// process_enum(cls, *, name=None, description=None, directives)
extern const binding::Function process_enum_function;

}  // namespace _dovrane::type_info
