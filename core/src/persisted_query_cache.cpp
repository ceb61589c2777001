#include "dovrane_core/persisted_query_cache.hpp"

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

error::Result<std::string> sha256_hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digest_length = 0;
    // Never hand OpenSSL a null pointer, even for zero bytes.
    const char* data = bytes.empty() ? "" : bytes.data();
    if (EVP_Digest(data, bytes.size(), digest, &digest_length, EVP_sha256(), nullptr) != 1 || digest_length != 32) {
        // The hash cannot be checked, so the text cannot be taken for it.
        return error::make_error("could not compute the SHA-256 of the query",
                                 error::ErrorCode::PersistedQueryMismatch);
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
// indexed by a hash map, all under one reader-writer lock. Two bounds hold
// after every insert: the entry count and the bytes of the cached documents.
// - get takes the lock shared: one map lookup, one shared_ptr copy (the
//   reference-count increment) and, when not already set, a relaxed store to
//   the slot's atomic reference bit. Readers never write shared state besides
//   that bit, so hits scale across threads.
// - insert takes the lock exclusively. A hash already present is replaced in
//   place. Otherwise the clock hand sweeps, clearing reference bits, to the
//   first entry not used since its last pass and evicts it, as often as needed
//   for the new entry to fit both bounds; then a free slot takes it. The bounds
//   are exact: the cache never holds more than `cache_capacity` entries or
//   `byte_budget` bytes, even briefly. A document larger than the whole budget
//   is not stored (it would only flush every other entry and then itself).
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

// SipHash-c-d: `CompressionRounds` rounds per 8-byte block, `FinalizationRounds` at the end.
template <int CompressionRounds, int FinalizationRounds>
std::uint64_t siphash(const SipKey& key, std::string_view text) {
    SipState s{key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL, key.k0 ^ 0x6c7967656e657261ULL,
               key.k1 ^ 0x7465646279746573ULL};
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t length = text.size();
    const std::size_t full = length & ~std::size_t{7};
    for (std::size_t i = 0; i < full; i += 8) {
        const std::uint64_t m = load_le64(data + i);
        s.v3 ^= m;
        for (int r = 0; r < CompressionRounds; ++r) s.round();
        s.v0 ^= m;
    }
    std::uint64_t last = static_cast<std::uint64_t>(length & 0xFF) << 56;
    for (std::size_t i = 0; i < (length & 7); ++i) last |= static_cast<std::uint64_t>(data[full + i]) << (8 * i);
    s.v3 ^= last;
    for (int r = 0; r < CompressionRounds; ++r) s.round();
    s.v0 ^= last;
    s.v2 ^= 0xFF;
    for (int r = 0; r < FinalizationRounds; ++r) s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace

std::uint64_t siphash13(std::uint64_t k0, std::uint64_t k1, std::string_view text) {
    return siphash<1, 3>(SipKey{k0, k1}, text);
}

std::uint64_t siphash24(std::uint64_t k0, std::uint64_t k1, std::string_view text) {
    return siphash<2, 4>(SipKey{k0, k1}, text);
}

namespace {

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
    std::size_t operator()(std::string_view text) const { return static_cast<std::size_t>(siphash13(key.k0, key.k1, text)); }
};

struct Slot {
    std::string key;  // the index holds a view of it; never modified while indexed
    std::shared_ptr<const CachedDocument> value;  // null: the slot is free
    std::size_t bytes = 0;                        // the document's weight
    std::atomic<bool> referenced{false};
};

std::size_t weight_of(const CachedDocument& entry) { return entry.document ? entry.document->memory_bytes() : 0; }

using Index = std::unordered_map<std::string_view, std::size_t, KeyHasher>;

// What an insert takes out of the cache, freed once the lock is dropped. An
// index node taken out may be reused for the new entry instead.
struct Released {
    std::vector<std::shared_ptr<const CachedDocument>> values;
    std::vector<std::string> keys;
    std::vector<Index::node_type> nodes;
};

}  // namespace

struct CacheState {
    mutable std::shared_mutex mutex;
    std::vector<Slot> slots;              // sized once; slots never move
    std::vector<std::size_t> free_slots;  // slots holding no entry, taken from the back
    std::size_t count = 0;                // entries held
    std::size_t bytes = 0;                // their weights, summed
    std::size_t byte_budget;
    std::size_t hand = 0;                 // the clock hand
    Index index;

    CacheState(const void* salt, std::size_t budget)
        : slots(cache_capacity), byte_budget(budget), index(cache_capacity * 2, KeyHasher{random_sip_key(salt)}) {
        free_slots.reserve(cache_capacity);
        for (std::size_t i = cache_capacity; i-- > 0;) free_slots.push_back(i);
    }

    // Empties an occupied slot; its key and value go to `released`.
    void remove(std::size_t victim, Released& released) {
        Slot& slot = slots[victim];
        released.nodes.push_back(index.extract(std::string_view(slot.key)));
        released.values.push_back(std::move(slot.value));
        released.keys.push_back(std::move(slot.key));
        slot.value = nullptr;
        bytes -= slot.bytes;
        slot.bytes = 0;
        --count;
        free_slots.push_back(victim);
    }

    // Evicts the next entry the clock picks, never `kept`. Needs an entry
    // other than `kept`; ends within two turns, as it clears every bit it
    // passes.
    void evict_one(std::size_t kept, Released& released) {
        for (;;) {
            const std::size_t at = hand;
            hand = (hand + 1) % slots.size();
            Slot& slot = slots[at];
            if (!slot.value || at == kept) continue;
            if (slot.referenced.load(std::memory_order_relaxed)) {
                slot.referenced.store(false, std::memory_order_relaxed);
                continue;
            }
            remove(at, released);
            return;
        }
    }
};

PersistedQueryCache::PersistedQueryCache(std::size_t byte_budget)
    : state_(std::make_unique<CacheState>(this, byte_budget)) {}

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
    const std::size_t weight = weight_of(entry);
    auto value = std::make_shared<const CachedDocument>(std::move(entry));
    // Released after the lock is dropped (declared before the lock, destroyed
    // after it). One eviction is the common case: no allocation for it under
    // the lock.
    Released released;
    released.values.reserve(2);
    released.keys.reserve(1);
    released.nodes.reserve(1);
    constexpr std::size_t no_slot = static_cast<std::size_t>(-1);

    std::unique_lock lock(state_->mutex);
    CacheState& state = *state_;
    if (auto it = state.index.find(hash); it != state.index.end()) {
        const std::size_t at = it->second;
        if (weight > state.byte_budget) {
            // Not stored; nor may the entry it replaces stay.
            state.remove(at, released);
            return;
        }
        Slot& slot = state.slots[at];
        released.values.push_back(std::exchange(slot.value, std::move(value)));
        state.bytes = state.bytes - slot.bytes + weight;
        slot.bytes = weight;
        slot.referenced.store(true, std::memory_order_relaxed);
        while (state.bytes > state.byte_budget) state.evict_one(at, released);
        return;
    }
    if (weight > state.byte_budget) return;  // `value` is freed after the lock too
    // Both bounds hold with the entry counted in; an empty cache always fits it.
    while (state.count >= state.slots.size() || state.bytes + weight > state.byte_budget) {
        state.evict_one(no_slot, released);
    }

    const std::size_t at = state.free_slots.back();
    state.free_slots.pop_back();
    Slot& slot = state.slots[at];
    slot.key = std::move(hash);
    slot.value = std::move(value);
    slot.bytes = weight;
    slot.referenced.store(false, std::memory_order_relaxed);
    if (released.nodes.empty()) {
        state.index.emplace(slot.key, at);
    } else {
        Index::node_type node = std::move(released.nodes.back());
        released.nodes.pop_back();
        node.key() = slot.key;
        node.mapped() = at;
        state.index.insert(std::move(node));
    }
    ++state.count;
    state.bytes += weight;
}

std::size_t PersistedQueryCache::size() const {
    std::shared_lock lock(state_->mutex);
    return state_->count;
}

std::size_t PersistedQueryCache::bytes() const {
    std::shared_lock lock(state_->mutex);
    return state_->bytes;
}

std::size_t PersistedQueryCache::byte_budget() const { return state_->byte_budget; }

}  // namespace dovrane_core::persisted_query
