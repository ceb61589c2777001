// Automatic persisted queries: a request's hash, and perhaps its text,
// resolved against a compiled schema's cache.
#pragma once

#include <optional>
#include <string_view>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"
#include "dovrane_core/persisted_query_cache.hpp"
#include "dovrane_core/schema.hpp"

namespace dovrane_core::persisted_query {

struct ResolvedQuery {
    document::SharedDocument document;
    bool registered = false;  // true: the text was given, checked and stored
};

// Hash and text: check the hash, parse, validate when asked, store.
// Hash alone: look the document up.
error::Result<ResolvedQuery> resolve_persisted_query(const schema::CompiledSchema& schema,
                                                      std::string_view sha256_hash,
                                                      std::optional<std::string_view> query,
                                                      std::optional<std::string_view> operation_name,
                                                      bool validate);

}  // namespace dovrane_core::persisted_query
