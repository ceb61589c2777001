#include "dovrane_core/persisted_query.hpp"

#include <memory>
#include <utility>

#include "dovrane_core/parser.hpp"
#include "dovrane_core/validation.hpp"

namespace dovrane_core::persisted_query {

namespace {

// Index of the operation that `operation_name` selects; the selection has
// already succeeded when this is asked.
std::optional<std::size_t> selected_operation_index(const document::Document& document,
                                                    std::optional<std::string_view> operation_name) {
    auto selected = document::select_operation(document, operation_name);
    if (!selected) return std::nullopt;
    return static_cast<std::size_t>(selected.value() - document.operations.data());
}

}  // namespace

error::Result<ResolvedQuery> resolve_persisted_query(const schema::CompiledSchema& schema,
                                                      std::string_view sha256_hash,
                                                      std::optional<std::string_view> query,
                                                      std::optional<std::string_view> operation_name,
                                                      bool validate) {
    using error::ErrorCode;
    PersistedQueryCache& cache = *schema.persisted_query_cache;

    if (!query) {
        std::shared_ptr<const CachedDocument> entry = cache.get(sha256_hash);
        if (!entry) return error::make_error("PersistedQueryNotFound", ErrorCode::PersistedQueryNotFound);
        // Registration validated at most one operation of the document; any
        // other one that this request names is validated now, so naming it on
        // a hash-only request never lets it run unchecked.
        if (validate) {
            const document::Document& document = *entry->document;
            std::optional<std::size_t> selected = selected_operation_index(document, operation_name);
            if (!selected || selected != entry->validated_operation) {
                if (error::MaybeError failure = validation::validate_query(document, schema, operation_name)) {
                    return failure;
                }
            }
        }
        return ResolvedQuery{entry->document, false};
    }

    auto digest = sha256_hex(*query);
    if (!digest) return digest.take_error();
    // Case-sensitive on purpose: only the lowercase digest is a key.
    if (digest.value() != sha256_hash) {
        return error::make_error("provided sha256Hash does not match the hash of the query",
                                 ErrorCode::PersistedQueryMismatch);
    }
    auto parsed = parser::parse_document(*query);
    if (!parsed) return parsed.take_error();
    document::SharedDocument document = std::move(parsed).value();

    CachedDocument entry{document, std::nullopt};
    if (validate) {
        if (error::MaybeError failure = validation::validate_query(*document, schema, operation_name)) {
            return failure;
        }
        entry.validated_operation = selected_operation_index(*document, operation_name);
    }
    cache.insert(std::string(sha256_hash), std::move(entry));
    return ResolvedQuery{std::move(document), true};
}

}  // namespace dovrane_core::persisted_query
