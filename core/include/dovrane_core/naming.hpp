// GraphQL naming: snake_case Python names to camelCase GraphQL names.
#pragma once

#include <string>
#include <string_view>

namespace dovrane_core::naming {

// Drops every "_" and replaces the character after it by its full Unicode
// upper-case mapping (ß becomes SS); nothing is ever lower-cased.
std::string to_camel_case(std::string_view name);

// The same, appended to `out` (no allocation of its own for the result).
void append_camel_case(std::string& out, std::string_view name);

}  // namespace dovrane_core::naming
