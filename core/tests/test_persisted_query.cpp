#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include "dovrane_core/parser.hpp"
#include "dovrane_core/persisted_query_cache.hpp"

using namespace dovrane_core;
using persisted_query::CachedDocument;
using persisted_query::PersistedQueryCache;
using persisted_query::sha256_hex;

namespace {

document::SharedDocument new_document() { return std::make_shared<document::Document>(); }

CachedDocument entry(document::SharedDocument document, std::optional<std::size_t> validated = std::nullopt) {
    return CachedDocument{std::move(document), validated};
}

std::string key(std::size_t i) { return sha256_hex(std::to_string(i)).value(); }

// A parsed document of about `fields` thousand fields: roughly 30 bytes of
// text and a node of each per field.
document::SharedDocument large_document(std::size_t fields, std::size_t seed) {
    std::string text = "query Q" + std::to_string(seed) + " { viewer {";
    for (std::size_t i = 0; i < fields * 1000; ++i) text += " f" + std::to_string(i) + ": name";
    text += " } }";
    auto parsed = parser::parse_document(text);
    EXPECT_TRUE(parsed.ok());
    return parsed.ok() ? parsed.value() : new_document();
}

// The cache's byte figure is the sum of the weights of what it holds.
void expect_consistent(const PersistedQueryCache& cache, const std::vector<std::string>& keys) {
    std::size_t present = 0;
    std::size_t bytes = 0;
    for (const std::string& k : keys) {
        if (auto hit = cache.get(k)) {
            ++present;
            bytes += hit->document->memory_bytes();
        }
    }
    EXPECT_EQ(present, cache.size());
    EXPECT_EQ(bytes, cache.bytes());
    EXPECT_LE(cache.bytes(), cache.byte_budget());
}

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
    for (const Case& c : cases) EXPECT_EQ(sha256_hex(c.input).value(), c.digest) << c.input.substr(0, 20);
    EXPECT_EQ(sha256_hex(std::string_view()).value(), cases[0].digest);
}

// The index's hash. SipHash-2-4 against the reference vectors of its paper
// (key 00..0f, messages 00..n-1); SipHash-1-3, the same construction with
// fewer rounds, against CPython's own `siphash13` (its bytes hash under
// PYTHONHASHSEED=0, whose key is all zeros).
TEST(SipHash, ReferenceVectors) {
    std::string message;
    for (int i = 0; i < 64; ++i) message.push_back(static_cast<char>(i));
    const std::uint64_t k0 = 0x0706050403020100ULL;
    const std::uint64_t k1 = 0x0f0e0d0c0b0a0908ULL;
    struct Case {
        std::size_t length;
        std::uint64_t siphash24;
    };
    for (const Case& c : {Case{0, 0x726fdb47dd0e0e31ULL}, Case{1, 0x74f839c593dc67fdULL},
                          Case{15, 0xa129ca6149be45e5ULL}}) {
        EXPECT_EQ(persisted_query::siphash24(k0, k1, std::string_view(message).substr(0, c.length)), c.siphash24)
            << c.length;
    }
    struct Text {
        std::string_view text;
        std::uint64_t siphash13;
    };
    for (const Text& t : {Text{std::string_view("\0", 1), 0x68a914128e01e473ULL},
                          Text{std::string_view(message).substr(0, 8), 0xead411e67ebe2eeaULL},
                          Text{std::string_view(message).substr(0, 15), 0xf30eb725bb91c9eaULL},
                          Text{"abc", 0xc03bc3a0042630f2ULL}, Text{message, 0x75e05fd5bbc870c6ULL}}) {
        EXPECT_EQ(persisted_query::siphash13(0, 0, t.text), t.siphash13) << t.text.size();
    }
}

TEST(PersistedQueryCache, KeysMatchExactly) {
    PersistedQueryCache cache;
    const std::string hash = sha256_hex("{ a }").value();
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

TEST(PersistedQueryCache, ADocumentWeighsItsTextAndNodes) {
    const auto small = large_document(1, 0);
    const auto large = large_document(20, 0);
    EXPECT_GE(small->memory_bytes(), small->source.size());
    // Every node counts besides the text.
    EXPECT_GT(large->memory_bytes(), large->source.size() + 20000 * sizeof(void*));
    EXPECT_GT(large->memory_bytes(), 15 * small->memory_bytes());
    EXPECT_LT(new_document()->memory_bytes(), 1024u);
}

TEST(PersistedQueryCache, StaysWithinItsByteBudget) {
    // Room for about three of these documents, whatever the entry count.
    const std::size_t weight = large_document(20, 0)->memory_bytes();
    PersistedQueryCache cache(3 * weight + weight / 2);
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < 12; ++i) {
        keys.push_back(key(i));
        auto document = large_document(20 + i % 3, i);
        cache.insert(keys.back(), entry(document));
        EXPECT_LE(cache.bytes(), cache.byte_budget()) << "after " << i + 1 << " inserts";
        // The newest entry is kept: the older ones make room for it.
        auto hit = cache.get(keys.back());
        ASSERT_NE(hit, nullptr);
        EXPECT_EQ(hit->document, document);
    }
    EXPECT_GE(cache.size(), 2u);
    EXPECT_LE(cache.size(), 3u);
    expect_consistent(cache, keys);

    // Small documents fill the room the large ones leave, up to the entry bound.
    for (std::size_t i = 12; i < 12 + 2 * persisted_query::cache_capacity; ++i) {
        keys.push_back(key(i));
        cache.insert(keys.back(), entry(new_document()));
    }
    EXPECT_EQ(cache.size(), persisted_query::cache_capacity);
    expect_consistent(cache, keys);
}

TEST(PersistedQueryCache, ByteEvictionKeepsEntriesInUse) {
    const std::size_t weight = large_document(10, 0)->memory_bytes();
    PersistedQueryCache cache(4 * weight);
    auto hot = large_document(10, 1);
    cache.insert("hot", entry(hot));
    std::vector<std::string> keys{"hot"};
    for (std::size_t i = 0; i < 20; ++i) {
        keys.push_back(key(i));
        cache.insert(keys.back(), entry(large_document(10, i + 2)));
        auto hit = cache.get("hot");
        ASSERT_NE(hit, nullptr) << "after " << i + 1 << " inserts";
        EXPECT_EQ(hit->document, hot);
    }
    expect_consistent(cache, keys);
}

TEST(PersistedQueryCache, ADocumentLargerThanTheBudgetIsNotStored) {
    const auto small = large_document(1, 0);
    const auto oversized = large_document(20, 1);
    PersistedQueryCache cache(oversized->memory_bytes() - 1);
    cache.insert("small", entry(small));
    std::weak_ptr<const document::Document> oversized_alive = oversized;

    cache.insert("oversized", entry(oversized));
    EXPECT_EQ(cache.get("oversized"), nullptr);
    ASSERT_NE(cache.get("small"), nullptr);  // nothing was flushed for it
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache.bytes(), small->memory_bytes());

    // Replacing an entry with an oversized document leaves neither.
    cache.insert("small", entry(oversized));
    EXPECT_EQ(cache.get("small"), nullptr);
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.bytes(), 0u);

    // A replacement that grows the entry evicts others, never itself.
    PersistedQueryCache roomy(3 * small->memory_bytes());
    for (std::size_t i = 0; i < 3; ++i) roomy.insert(key(i), entry(small));
    roomy.insert(key(1), entry(large_document(2, 2)));
    ASSERT_NE(roomy.get(key(1)), nullptr);
    EXPECT_LE(roomy.bytes(), roomy.byte_budget());
    expect_consistent(roomy, {key(0), key(1), key(2)});
}

// Run under ThreadSanitizer too (scripts/test.sh), with the default budget
// and with one so small that byte eviction runs on most inserts.
class ConcurrentCache : public ::testing::TestWithParam<std::size_t> {};

INSTANTIATE_TEST_SUITE_P(Budgets, ConcurrentCache,
                         ::testing::Values(persisted_query::default_cache_byte_budget,
                                           100 * sizeof(document::Document)));

TEST_P(ConcurrentCache, ConcurrentGetAndInsert) {
    constexpr int thread_count = 8;
    constexpr std::size_t operations = 20'000;
    constexpr std::size_t key_space = 3 * persisted_query::cache_capacity;
    PersistedQueryCache cache(GetParam());
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
    expect_consistent(cache, keys);
}
