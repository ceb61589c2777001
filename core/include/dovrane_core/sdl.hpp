// SDL rendering of a compiled schema and the small printers it is built from.
#pragma once

#include <string>
#include <vector>

#include "dovrane_core/json.hpp"
#include "dovrane_core/schema.hpp"

namespace dovrane_core::sdl {

std::string render_sdl(const schema::CompiledSchema& schema);

std::string render_json_value(const json::Value& value);
std::string render_applied_directive(const schema::AppliedDirective& directive);
std::string render_applied_directives(const std::vector<schema::AppliedDirective>& directives);
std::string render_argument(const schema::ArgumentDefinition& argument, bool auto_camel_case);
std::string render_arguments(const std::vector<schema::ArgumentDefinition>& arguments, bool auto_camel_case);
std::string render_directive_field(const schema::DirectiveFieldDefinition& field, bool auto_camel_case);
// The SDL string quoting (deprecation reasons, string values of directive arguments).
std::string quote_sdl_string(std::string_view text);

}  // namespace dovrane_core::sdl
