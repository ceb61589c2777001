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

// What validation asks of a schema, answered from tables built once: each
// type's fields and their arguments by GraphQL name, what every named type is
// (leaf, composite, what values it takes) and the possible types of each
// type. Immutable once built, so any number of threads read it without a lock.
struct SchemaIndex;

// Indexes a complete schema and keeps the index with it, in
// `validation_index`. The index points into the schema's records, so a schema
// changed afterwards must be indexed again. A schema without an index is
// validated all the same, by indexing it for each call.
void index_schema(schema::CompiledSchema& schema);

}  // namespace dovrane_core::validation
