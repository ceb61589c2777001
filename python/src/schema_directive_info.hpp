// Schema directives: the default directive name of a directive class and the
// parse of the type-system locations a directive is declared for.
#pragma once

#include <string>
#include <string_view>

#include "dovrane_core/schema.hpp"
#include "errors.hpp"

namespace _dovrane::schema_directive_info {

// The default name of a directive declared by the class `class_name`: its
// first character lower-cased by the full Unicode mapping (MyDirective gives
// myDirective, İ gives "i" + U+0307), the rest unchanged; empty stays empty.
std::string class_name_to_directive_name(std::string_view class_name);

// One of the 11 wire names, "SCHEMA" to "INPUT_FIELD_DEFINITION", matched
// exactly; anything else is SchemaError "unknown schema directive location '{}'".
binding::Result<dovrane_core::schema::SchemaDirectiveLocation> parse_location(std::string_view name);

}  // namespace _dovrane::schema_directive_info
