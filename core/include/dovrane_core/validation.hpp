// Validation of one operation of a parsed document against a compiled schema.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"
#include "dovrane_core/schema.hpp"

namespace dovrane_core::validation {

// Effective nesting (selection sets plus fragment expansions) allowed before
// validation gives up with "query nesting exceeds the limit of 256".
inline constexpr std::size_t max_effective_depth = 256;

// Nothing when the operation passes, else the first rule it breaks.
error::MaybeError validate_query(const document::Document& document, const schema::CompiledSchema& schema,
                                 std::optional<std::string_view> operation_name);

}  // namespace dovrane_core::validation
