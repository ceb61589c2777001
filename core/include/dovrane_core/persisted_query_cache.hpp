// The persisted-query cache and its keys: SHA-256 of the query text, and the
// bounded per-schema map from key to shared document. It knows documents
// only; resolving a request against a schema is persisted_query.hpp's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"

namespace dovrane_core::persisted_query {

// 64 lowercase hex digits of the SHA-256 of the bytes, or an error should the
// digest ever fail (no string stands in for it: a client could send that one).
error::Result<std::string> sha256_hex(std::string_view bytes);

// SipHash-1-3 of `text` under the key (k0, k1): the cache's index hashes
// client-sent keys with it under a random per-cache key.
std::uint64_t siphash13(std::uint64_t k0, std::uint64_t k1, std::string_view text);
// SipHash-2-4, the same construction with the rounds of its published
// reference vectors; only the tests use it.
std::uint64_t siphash24(std::uint64_t k0, std::uint64_t k1, std::string_view text);

inline constexpr std::size_t cache_capacity = 1000;
// What the cached documents may hold in all (`Document::memory_bytes`), so that
// registering large queries cannot exhaust memory; 1000 entries of a few MB
// each would otherwise be several GB.
inline constexpr std::size_t default_cache_byte_budget = std::size_t{64} << 20;

// What a cache entry remembers besides the document: which operation, if any,
// passed validation when it was registered.
struct CachedDocument {
    document::SharedDocument document;
    std::optional<std::size_t> validated_operation;  // index into document->operations
};

struct CacheState;  // defined in persisted_query_cache.cpp

// Bounded, thread-safe map from hash to shared document: at most
// `cache_capacity` entries and `byte_budget` bytes of documents. Any entry may
// be evicted at any later call, even one just inserted, and a document larger
// than the whole budget is never stored; callers handle misses.
class PersistedQueryCache {
public:
    explicit PersistedQueryCache(std::size_t byte_budget = default_cache_byte_budget);
    ~PersistedQueryCache();
    PersistedQueryCache(const PersistedQueryCache&) = delete;
    PersistedQueryCache& operator=(const PersistedQueryCache&) = delete;

    // A hit is one lookup and one reference-count increment; null on a miss.
    std::shared_ptr<const CachedDocument> get(std::string_view hash) const;
    // Replaces an existing entry for the same hash.
    void insert(std::string hash, CachedDocument entry);
    std::size_t size() const;
    // What the cached documents hold, by `Document::memory_bytes`.
    std::size_t bytes() const;
    std::size_t byte_budget() const;

private:
    std::unique_ptr<CacheState> state_;
};

}  // namespace dovrane_core::persisted_query
