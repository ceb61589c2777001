// Schema directives: a directive class described as the core's
// SchemaDirectiveDefinition, the Python objects that show it, the default
// directive name of a class and the parse of type-system locations.
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

namespace _dovrane::schema_directive_info {

// `SchemaDirectiveInfo`: what the host stores under `__dovrane_directive_info__`
// and compile_schema takes the definition back from.
struct PySchemaDirectiveInfo {
    std::string name;  // without "@"
    std::optional<std::string> description;
    std::vector<std::string> locations;  // wire names, in the given order
    bool repeatable = false;
    dovrane_core::schema::SchemaDirectiveDefinition definition;  // hidden; `fields` is made from it

    template <class Visit>
    void for_each_ref(Visit&&) {}
};

// `DirectiveFieldInfo`: one argument of a schema directive.
struct PyDirectiveFieldInfo {
    std::string name;
    std::optional<std::string> graphql_name;
    std::string graphql_type;  // SDL text

    template <class Visit>
    void for_each_ref(Visit&&) {}
};

extern binding::Class<PySchemaDirectiveInfo> schema_directive_info_class;
extern binding::Class<PyDirectiveFieldInfo> directive_field_info_class;

// describe_schema_directive(cls, *, locations, name=None, description=None, repeatable=False)
extern const binding::Function describe_schema_directive_function;

// The hidden definition of a SchemaDirectiveInfo; the layer's TypeError for any other object.
binding::Result<const dovrane_core::schema::SchemaDirectiveDefinition*> schema_directive_definition_of(
    PyObject* object);

// The default name of a directive declared by the class `class_name`: its
// first character lower-cased by the full Unicode mapping (MyDirective gives
// myDirective, İ gives "i" + U+0307), the rest unchanged; empty stays empty.
std::string class_name_to_directive_name(std::string_view class_name);

// One of the 11 wire names, "SCHEMA" to "INPUT_FIELD_DEFINITION", matched
// exactly; anything else is SchemaError "unknown schema directive location '{}'".
binding::Result<dovrane_core::schema::SchemaDirectiveLocation> parse_location(std::string_view name);

}  // namespace _dovrane::schema_directive_info
