// The scalars a schema has without registering them: GraphQL's five, which
// every schema holds and the SDL never prints, and the library's five, which
// compilation adds to a schema that references them (`schema::add_library_scalars`)
// with the descriptions below. Validation, the shape check, compilation and
// annotation resolution all read their names here.
#pragma once

#include <string_view>

namespace dovrane_core::builtin_scalars {

inline constexpr std::string_view boolean_name = "Boolean";
inline constexpr std::string_view float_name = "Float";
inline constexpr std::string_view id_name = "ID";
inline constexpr std::string_view int_name = "Int";
inline constexpr std::string_view string_name = "String";

inline constexpr std::string_view date_name = "Date";
inline constexpr std::string_view date_time_name = "DateTime";
inline constexpr std::string_view decimal_name = "Decimal";
inline constexpr std::string_view time_name = "Time";
inline constexpr std::string_view uuid_name = "UUID";

// GraphQL's own scalars, sorted by name.
inline constexpr std::string_view standard[] = {boolean_name, float_name, id_name, int_name, string_name};

struct LibraryScalar {
    std::string_view name;
    std::string_view description;
};

// The library's scalars, sorted by name: the order compilation adds them in.
inline constexpr LibraryScalar library[] = {
    {date_name, "Date (isoformat)"},
    {date_time_name, "Date with time (isoformat)"},
    {decimal_name, "Decimal (fixed-point)"},
    {time_name, "Time (isoformat)"},
    {uuid_name, "UUID"},
};

// One of GraphQL's own scalars, compared byte for byte.
constexpr bool is_standard(std::string_view name) {
    for (std::string_view scalar : standard) {
        if (scalar == name) return true;
    }
    return false;
}

}  // namespace dovrane_core::builtin_scalars
