// Validation of one operation of a parsed document against a compiled schema.
#pragma once

#include <optional>
#include <string_view>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"
#include "dovrane_core/schema.hpp"

namespace dovrane_core::validation {

// Nothing when the operation passes, else the first rule it breaks. Effective
// nesting past `limits::max_effective_depth` is one of them.
error::MaybeError validate_query(const document::Document& document, const schema::CompiledSchema& schema,
                                 std::optional<std::string_view> operation_name);

}  // namespace dovrane_core::validation
