// Persisted queries against one schema's cache, kept across inputs and given
// a small byte budget so that eviction by entries and by bytes both run.
//
// Input: records split by 0xFF bytes; the first byte of each picks the
// request, the rest is its payload:
//   0  register the payload under its own hash (validated or not: bit 3)
//   1  ask by the hash of a text registered earlier in this input (bit 3:
//      validate)
//   2  ask by a fuzzed hash, the payload (bit 3: validate)
//   3  send a fuzzed hash (the first 64 bytes) with a text (the rest)
//   4  register the payload under its hash in upper case
// What must hold: a hit returns a document whose text has the hash asked for;
// a registration returns the text's own document and stores it unless it is
// larger than the whole budget; a hash that is not the text's is a mismatch
// and changes nothing; the cache stays within its bounds.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dovrane_core/persisted_query.hpp"
#include "dovrane_core/test_support/fixture_schemas.hpp"
#include "fuzz_support.hpp"

using namespace dovrane_core;
using error::ErrorCode;
using fuzz_support::require;
using persisted_query::resolve_persisted_query;

namespace {

schema::CompiledSchema& fuzz_schema() {
    static schema::CompiledSchema schema = [] {
        schema::CompiledSchema built = test_support::dashboard_schema();
        built.persisted_query_cache = std::make_unique<persisted_query::PersistedQueryCache>(256 * 1024);
        return built;
    }();
    return schema;
}

std::string hash_of(std::string_view text) {
    auto digest = persisted_query::sha256_hex(text);
    require(digest.ok(), "digest failed");
    require(digest.value().size() == 64, "digest not 64 digits");
    return std::move(digest).value();
}

void check_hit(const persisted_query::ResolvedQuery& resolved, std::string_view hash) {
    require(!resolved.registered, "a hash-only request registered");
    require(resolved.document != nullptr, "a hit without a document");
    require(hash_of(resolved.document->source) == hash, "a hit returned another text's document");
}

void check_cache(const persisted_query::PersistedQueryCache& cache) {
    require(cache.size() <= persisted_query::cache_capacity, "cache over its entry bound");
    require(cache.bytes() <= cache.byte_budget(), "cache over its byte budget");
}

void register_text(std::string_view text, std::string_view hash, bool validate) {
    schema::CompiledSchema& schema = fuzz_schema();
    auto resolved = resolve_persisted_query(schema, hash, text, std::nullopt, validate);
    if (hash != hash_of(text)) {
        require(!resolved.ok() && resolved.error().code == ErrorCode::PersistedQueryMismatch,
                "a wrong hash was not a mismatch");
        return;
    }
    if (!resolved) {
        require(resolved.error().code != ErrorCode::PersistedQueryMismatch &&
                    resolved.error().code != ErrorCode::PersistedQueryNotFound,
                "registration failed with a cache error", resolved.error().message);
        return;
    }
    require(resolved->registered, "a registration did not say so");
    require(resolved->document != nullptr && resolved->document->source == text,
            "a registration returned another document");
    // Stored, unless larger than the whole budget: older entries make room.
    auto entry = schema.persisted_query_cache->get(hash);
    const persisted_query::PersistedQueryCache& cache = *schema.persisted_query_cache;
    if (resolved->document->memory_bytes() > cache.byte_budget()) {
        require(entry == nullptr, "a document larger than the budget was stored");
    } else {
        require(entry != nullptr && entry->document == resolved->document, "a registration was not stored");
    }
}

// Validation, when asked, may refuse a hit that was registered unvalidated.
void ask(std::string_view hash, bool validate) {
    auto resolved = resolve_persisted_query(fuzz_schema(), hash, std::nullopt, std::nullopt, validate);
    if (resolved) {
        check_hit(resolved.value(), hash);
    } else if (resolved.error().code == ErrorCode::PersistedQueryNotFound) {
        require(resolved.error().message == "PersistedQueryNotFound", "a miss with another message");
    } else {
        require(validate && resolved.error().code != ErrorCode::PersistedQueryMismatch &&
                    resolved.error().code != ErrorCode::GraphqlParseFailed,
                "a hash-only request failed otherwise than by a miss", resolved.error().message);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> registered;
    for (std::string_view record : fuzz_support::split_records(input)) {
        if (record.empty()) continue;
        const auto op = static_cast<std::uint8_t>(record.front());
        const std::string_view payload = record.substr(1);
        switch (op % 5) {
            case 0: {
                std::string hash = hash_of(payload);
                register_text(payload, hash, (op & 8) != 0);
                registered.push_back(std::move(hash));
                break;
            }
            case 1:
                if (registered.empty()) break;
                ask(registered[(payload.empty() ? 0 : static_cast<std::uint8_t>(payload.front())) % registered.size()],
                    (op & 8) != 0);
                break;
            case 2: ask(payload, (op & 8) != 0); break;
            case 3: {
                const std::string_view hash = payload.substr(0, 64);
                const std::string hash_copy(hash);
                auto before = fuzz_schema().persisted_query_cache->get(hash);
                register_text(payload.substr(hash.size()), hash, (op & 8) != 0);
                if (hash_copy != hash_of(payload.substr(hash.size()))) {
                    require(fuzz_schema().persisted_query_cache->get(hash) == before, "a mismatch changed the cache");
                }
                break;
            }
            default: {
                std::string upper = hash_of(payload);
                for (char& c : upper) {
                    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
                }
                register_text(payload, upper, false);
                break;
            }
        }
        check_cache(*fuzz_schema().persisted_query_cache);
    }
    return 0;
}
