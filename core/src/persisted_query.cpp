#include "dovrane_core/persisted_query.hpp"

#include "dovrane_core/parser.hpp"
#include "dovrane_core/schema.hpp"
#include "dovrane_core/validation.hpp"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace dovrane_core::persisted_query {

// ---- sha256_hex ----------------------------------------------------------------

std::string sha256_hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digest_length = 0;
    // Never hand OpenSSL a null pointer, even for zero bytes.
    const char* data = bytes.empty() ? "" : bytes.data();
    if (EVP_Digest(data, bytes.size(), digest, &digest_length, EVP_sha256(), nullptr) != 1 || digest_length != 32) {
        return {};  // no 64-digit request hash equals the empty string
    }
    static constexpr char hex_digits[] = "0123456789abcdef";
    std::string out(64, '\0');
    for (std::size_t i = 0; i < 32; ++i) {
        out[2 * i] = hex_digits[digest[i] >> 4];
        out[2 * i + 1] = hex_digits[digest[i] & 0x0F];
    }
    return out;
}

// ---- PersistedQueryCache -----------------------------------------------------------
//
// Policy: CLOCK (second chance) over a fixed array of `cache_capacity` slots,
// indexed by a hash map, all under one reader-writer lock.
// - get takes the lock shared: one map lookup, one shared_ptr copy (the
//   reference-count increment) and, when not already set, a relaxed store to
//   the slot's atomic reference bit. Readers never write shared state besides
//   that bit, so hits scale across threads.
// - insert takes the lock exclusively. A hash already present is replaced in
//   place. Otherwise a free slot is used, or the clock hand sweeps, clearing
//   reference bits, to the first slot not used since its last pass, and that
//   entry is evicted. The bound is exact: the cache never holds more than
//   `cache_capacity` entries, even briefly.
// - Replaced and evicted documents (and evicted keys) are moved out and
//   released after the lock is dropped, so freeing a large document never
//   stalls other threads.
// Keys are untrusted client input: the index hashes them with SipHash-1-3
// under a random per-cache key, so colliding keys cannot be precomputed.

namespace {

struct SipKey {
    std::uint64_t k0 = 0;
    std::uint64_t k1 = 0;
};

inline std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct SipState {
    std::uint64_t v0, v1, v2, v3;

    void round() {
        v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
        v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
        v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
        v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
    }
};

inline std::uint64_t load_le64(const unsigned char* p) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

// SipHash-1-3: one compression round per block and three finalisation rounds.
std::uint64_t siphash13(const SipKey& key, std::string_view text) {
    SipState s{key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL, key.k0 ^ 0x6c7967656e657261ULL,
               key.k1 ^ 0x7465646279746573ULL};
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t length = text.size();
    const std::size_t full = length & ~std::size_t{7};
    for (std::size_t i = 0; i < full; i += 8) {
        const std::uint64_t m = load_le64(data + i);
        s.v3 ^= m;
        s.round();
        s.v0 ^= m;
    }
    std::uint64_t last = static_cast<std::uint64_t>(length & 0xFF) << 56;
    for (std::size_t i = 0; i < (length & 7); ++i) last |= static_cast<std::uint64_t>(data[full + i]) << (8 * i);
    s.v3 ^= last;
    s.round();
    s.v0 ^= last;
    s.v2 ^= 0xFF;
    s.round();
    s.round();
    s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

SipKey random_sip_key(const void* salt) {
    SipKey key;
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) == 1) {
        std::memcpy(&key.k0, bytes, 8);
        std::memcpy(&key.k1, bytes + 8, 8);
        return key;
    }
    // No random source: still differ per cache and per run, if predictably.
    key.k0 = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(salt)) * 0x9E3779B97F4A7C15ULL;
    key.k1 = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return key;
}

struct KeyHasher {
    SipKey key;
    std::size_t operator()(std::string_view text) const { return static_cast<std::size_t>(siphash13(key, text)); }
};

struct Slot {
    std::string key;  // the index holds a view of it; never modified while indexed
    std::shared_ptr<const CachedDocument> value;
    std::atomic<bool> referenced{false};
};

}  // namespace

struct CacheState {
    mutable std::shared_mutex mutex;
    std::vector<Slot> slots;  // sized once; slots never move
    std::size_t used = 0;     // slots [0, used) hold entries
    std::size_t hand = 0;     // the clock hand
    std::unordered_map<std::string_view, std::size_t, KeyHasher> index;

    explicit CacheState(const void* salt)
        : slots(cache_capacity), index(cache_capacity * 2, KeyHasher{random_sip_key(salt)}) {}
};

PersistedQueryCache::PersistedQueryCache() : state_(std::make_unique<CacheState>(this)) {}

PersistedQueryCache::~PersistedQueryCache() = default;

std::shared_ptr<const CachedDocument> PersistedQueryCache::get(std::string_view hash) const {
    std::shared_lock lock(state_->mutex);
    auto it = state_->index.find(hash);
    if (it == state_->index.end()) return nullptr;
    Slot& slot = state_->slots[it->second];
    // Skip the store when the bit is already set: no cache-line write on hot entries.
    if (!slot.referenced.load(std::memory_order_relaxed)) slot.referenced.store(true, std::memory_order_relaxed);
    return slot.value;
}

void PersistedQueryCache::insert(std::string hash, CachedDocument entry) {
    auto value = std::make_shared<const CachedDocument>(std::move(entry));
    // Released after the lock is dropped (declared before the lock, destroyed after it).
    std::shared_ptr<const CachedDocument> released;
    std::string released_key;

    std::unique_lock lock(state_->mutex);
    CacheState& state = *state_;
    if (auto it = state.index.find(hash); it != state.index.end()) {
        Slot& slot = state.slots[it->second];
        released = std::exchange(slot.value, std::move(value));
        slot.referenced.store(true, std::memory_order_relaxed);
        return;
    }

    std::size_t victim;
    if (state.used < state.slots.size()) {
        victim = state.used++;
    } else {
        // Second chance: a slot read since the hand last passed keeps its entry
        // once. The sweep ends within one turn, as it clears every bit it passes.
        while (state.slots[state.hand].referenced.load(std::memory_order_relaxed)) {
            state.slots[state.hand].referenced.store(false, std::memory_order_relaxed);
            state.hand = (state.hand + 1) % state.slots.size();
        }
        victim = state.hand;
        state.hand = (state.hand + 1) % state.slots.size();
    }

    Slot& slot = state.slots[victim];
    if (slot.value) {
        // Reuse the evicted entry's map node: no allocation under the lock.
        auto node = state.index.extract(slot.key);
        released = std::move(slot.value);
        released_key = std::move(slot.key);
        slot.key = std::move(hash);
        node.key() = slot.key;
        node.mapped() = victim;
        state.index.insert(std::move(node));
    } else {
        slot.key = std::move(hash);
        state.index.emplace(slot.key, victim);
    }
    slot.value = std::move(value);
    slot.referenced.store(false, std::memory_order_relaxed);
}

std::size_t PersistedQueryCache::size() const {
    std::shared_lock lock(state_->mutex);
    return state_->used;
}

// ---- resolve_persisted_query ------------------------------------------------------

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

    // Case-sensitive on purpose: only the lowercase digest is a key.
    if (sha256_hex(*query) != sha256_hash) {
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
