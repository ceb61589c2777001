// GraphQL naming: snake_case Python names to camelCase GraphQL names, and
// class names to directive names.
#pragma once

#include <string>
#include <string_view>

namespace dovrane_core::naming {

// Drops every "_" and replaces the character after it by its full Unicode
// upper-case mapping (ß becomes SS); nothing is ever lower-cased.
std::string to_camel_case(std::string_view name);

// The same, appended to `out` (no allocation of its own for the result).
void append_camel_case(std::string& out, std::string_view name);

// Replaces the first character by its full Unicode lower-case mapping, without
// context rules (İ U+0130 becomes "i" + U+0307); the rest is copied as it is.
// An empty text stays empty; a first byte that is not UTF-8 is kept.
std::string lower_case_first_character(std::string_view text);

// Whether `name` is a GraphQL name: [_A-Za-z][_0-9A-Za-z]*, ASCII only.
bool is_graphql_name(std::string_view name);

// The Unicode version the case mappings come from.
const char* unicode_version();

}  // namespace dovrane_core::naming
