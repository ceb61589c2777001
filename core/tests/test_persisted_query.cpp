#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include "dovrane_core/persisted_query.hpp"

using namespace dovrane_core;
using persisted_query::CachedDocument;
using persisted_query::PersistedQueryCache;
using persisted_query::sha256_hex;

namespace {

document::SharedDocument new_document() { return std::make_shared<document::Document>(); }

CachedDocument entry(document::SharedDocument document, std::optional<std::size_t> validated = std::nullopt) {
    return CachedDocument{std::move(document), validated};
}

std::string key(std::size_t i) { return sha256_hex(std::to_string(i)); }

}  // namespace

TEST(Sha256Hex, KnownDigests) {
    struct Case {
        std::string input;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"{ hello }", "001c3174e099bd72b729d0c0a529ba9f5a740c446e2a6e1d71b283cb84ec3065"},
        // UTF-8 bytes exactly as given, line ends included.
        {"query Q { caf\u00E9(x: \"\u00DF\") }\r\n", "c0a92416b180cf997264d1f218a06d7ae5eea5a6f9f9c98bfc67a191d0c4aea3"},
        {std::string("a\0b", 3), "59b271ae1bbcb1d31d41929817f4b16fb439eb4f31520b5ad1d5ce98920a7138"},
        {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) EXPECT_EQ(sha256_hex(c.input), c.digest) << c.input.substr(0, 20);
    EXPECT_EQ(sha256_hex(std::string_view()), cases[0].digest);
}

TEST(PersistedQueryCache, KeysMatchExactly) {
    PersistedQueryCache cache;
    const std::string hash = sha256_hex("{ a }");
    auto document = new_document();
    cache.insert(hash, entry(document, 0));

    auto hit = cache.get(hash);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->document, document);  // shared, not copied
    EXPECT_EQ(hit->validated_operation, 0u);

    std::string upper = hash;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    EXPECT_EQ(cache.get(upper), nullptr);
    EXPECT_EQ(cache.get(hash.substr(0, 63)), nullptr);
    EXPECT_EQ(cache.get(hash + "0"), nullptr);
    EXPECT_EQ(cache.get(""), nullptr);
    EXPECT_EQ(PersistedQueryCache().get(hash), nullptr);
}

TEST(PersistedQueryCache, InsertReplacesAndReleasesTheOldDocument) {
    PersistedQueryCache cache;
    auto first = new_document();
    std::weak_ptr<const document::Document> first_alive = first;
    cache.insert("h", entry(std::move(first)));
    auto second = new_document();
    cache.insert("h", entry(second, 3));

    EXPECT_EQ(cache.size(), 1u);
    auto hit = cache.get("h");
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->document, second);
    EXPECT_EQ(hit->validated_operation, 3u);
    EXPECT_TRUE(first_alive.expired());
}

TEST(PersistedQueryCache, StaysWithinItsCapacity) {
    PersistedQueryCache cache;
    for (std::size_t i = 0; i < persisted_query::cache_capacity; ++i) cache.insert(key(i), entry(new_document()));
    EXPECT_EQ(cache.size(), persisted_query::cache_capacity);
    cache.insert(key(persisted_query::cache_capacity), entry(new_document()));
    EXPECT_LE(cache.size(), persisted_query::cache_capacity);

    for (std::size_t i = 0; i < 10 * persisted_query::cache_capacity; ++i) cache.insert(key(i), entry(new_document()));
    EXPECT_LE(cache.size(), persisted_query::cache_capacity);
    std::size_t present = 0;
    for (std::size_t i = 0; i < 10 * persisted_query::cache_capacity; ++i) present += cache.get(key(i)) != nullptr;
    EXPECT_EQ(present, cache.size());
}

TEST(PersistedQueryCache, EvictedDocumentsAreReleasedUnlessStillHeld) {
    PersistedQueryCache cache;
    auto held = new_document();
    std::weak_ptr<const document::Document> dropped_alive;
    {
        auto dropped = new_document();
        dropped_alive = dropped;
        cache.insert("held", entry(held));
        cache.insert("dropped", entry(std::move(dropped)));
    }
    auto lookup = cache.get("held");  // a caller still holds this entry
    for (std::size_t i = 0; i < 3 * persisted_query::cache_capacity; ++i) cache.insert(key(i), entry(new_document()));
    EXPECT_EQ(cache.get("dropped"), nullptr);
    EXPECT_TRUE(dropped_alive.expired());
    ASSERT_NE(lookup, nullptr);
    EXPECT_EQ(lookup->document, held);
}

TEST(PersistedQueryCache, EntriesInUseSurviveAStreamOfNewOnes) {
    PersistedQueryCache cache;
    auto hot = new_document();
    cache.insert("hot", entry(hot));
    for (std::size_t i = 0; i < 5 * persisted_query::cache_capacity; ++i) {
        cache.insert(key(i), entry(new_document()));
        ASSERT_NE(cache.get("hot"), nullptr) << "after " << i << " inserts";
    }
}

// Run under ThreadSanitizer too (scripts/test.sh).
TEST(PersistedQueryCache, ConcurrentGetAndInsert) {
    constexpr int thread_count = 8;
    constexpr std::size_t operations = 20'000;
    constexpr std::size_t key_space = 3 * persisted_query::cache_capacity;
    PersistedQueryCache cache;
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < key_space; ++i) keys.push_back(key(i));

    std::atomic<std::size_t> hits{0};
    std::atomic<std::size_t> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([&, t] {
            std::uint64_t state = 0x9E3779B97F4A7C15ULL * static_cast<std::uint64_t>(t + 1);
            for (std::size_t n = 0; n < operations; ++n) {
                state ^= state << 13;
                state ^= state >> 7;
                state ^= state << 17;
                // Skewed towards a hot tenth of the keys, like real traffic.
                const std::size_t i = (state % 4 != 0) ? (state >> 8) % (key_space / 10) : (state >> 8) % key_space;
                if (state % 3 == 0) {
                    // Each key's entries carry its index, so a hit can be checked.
                    cache.insert(keys[i], entry(new_document(), i));
                } else if (auto hit = cache.get(keys[i])) {
                    hits.fetch_add(1, std::memory_order_relaxed);
                    if (hit->validated_operation != i || hit->document == nullptr) {
                        wrong.fetch_add(1, std::memory_order_relaxed);
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0u);
    EXPECT_GT(hits.load(), 0u);
    EXPECT_LE(cache.size(), persisted_query::cache_capacity);
    for (std::size_t i = 0; i < key_space; ++i) {
        if (auto hit = cache.get(keys[i])) {
            EXPECT_EQ(hit->validated_operation, i);
        }
    }
}
