// Schema directives.
//
// Python equivalent of what is here so far (internal helpers, no Python entry):
//
//     def class_name_to_directive_name(class_name: str) -> str:
//         return class_name[:1].lower() + class_name[1:]   # one character, no context rules
//
//     def parse_location(name: str) -> SchemaDirectiveLocation: ...  # exact wire name or SchemaError
#include "schema_directive_info.hpp"

#include "dovrane_core/naming.hpp"
#include "type_info.hpp"

namespace _dovrane::schema_directive_info {

std::string class_name_to_directive_name(std::string_view class_name) {
    return dovrane_core::naming::lower_case_first_character(class_name);
}

binding::Result<dovrane_core::schema::SchemaDirectiveLocation> parse_location(std::string_view name) {
    auto location = dovrane_core::schema::parse_schema_directive_location(name);
    if (!location) {
        std::string message = "unknown schema directive location '";
        message.append(name).append("'");
        return type_info::SchemaError::new_err(std::move(message));
    }
    return *location;
}

}  // namespace _dovrane::schema_directive_info
