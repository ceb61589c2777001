// SDL rendering of a compiled schema and the small printers it is built from.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "dovrane_core/json.hpp"
#include "dovrane_core/schema.hpp"

namespace dovrane_core::sdl {

std::string render_sdl(const schema::CompiledSchema& schema);

// How the keys of applied directives print. A key is stored as the directive
// field's explicit GraphQL name, else its Python name; printed, it must be the
// name the directive's definition line gives that field, or other tools reject
// the document. Holds views into the schema it was built from.
//
// A string value at a place the field's type makes an enum (through list and
// non-null wrappers, and into the fields of input objects) that names one of
// the enum's values prints as that bare value, the literal the definition asks
// for; any other value prints as stored.
struct AppliedDirectiveNames {
    using FieldsByKey = std::map<std::string_view, const schema::DirectiveFieldDefinition*, std::less<>>;
    // An input field by its printed GraphQL name, else by its Python name.
    using InputFieldsByKey = std::map<std::string, const schema::FieldDefinition*, std::less<>>;
    using ValueNames = std::set<std::string_view, std::less<>>;
    std::map<std::string_view, FieldsByKey, std::less<>> fields_by_directive;
    // The enums and input objects that directive fields reach through their
    // types and the input objects' fields.
    std::map<std::string_view, ValueNames, std::less<>> enum_values_by_type;
    std::map<std::string_view, InputFieldsByKey, std::less<>> input_fields_by_type;
    bool auto_camel_case = true;
};

// One pass over the schema directives' fields; a field is found by its
// explicit GraphQL name before any field is found by its Python name.
AppliedDirectiveNames index_applied_directive_names(const schema::CompiledSchema& schema);

std::string render_json_value(const json::Value& value);
// Keys as stored.
std::string render_applied_directive(const schema::AppliedDirective& directive);
std::string render_applied_directives(const std::vector<schema::AppliedDirective>& directives);
// Keys as the schema's directive definitions name them; a key of an unknown
// directive or field prints as stored.
std::string render_applied_directive(const schema::AppliedDirective& directive, const AppliedDirectiveNames& names);
std::string render_applied_directives(const std::vector<schema::AppliedDirective>& directives,
                                      const AppliedDirectiveNames& names);
// The argument's own applied directives print with their keys as stored.
std::string render_argument(const schema::ArgumentDefinition& argument, bool auto_camel_case);
std::string render_arguments(const std::vector<schema::ArgumentDefinition>& arguments, bool auto_camel_case);
std::string render_directive_field(const schema::DirectiveFieldDefinition& field, bool auto_camel_case);
// The SDL string quoting (deprecation reasons, string values of directive arguments).
std::string quote_sdl_string(std::string_view text);

}  // namespace dovrane_core::sdl
