// Persisted-query cache throughput: hits, and a mix of hits and inserts, from
// one and from eight threads sharing one cache.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "dovrane_core/persisted_query.hpp"

using namespace dovrane_core;
using persisted_query::CachedDocument;
using persisted_query::PersistedQueryCache;

namespace {

// Twice the capacity, so the mixed run keeps evicting.
const std::vector<std::string>& keys() {
    static const std::vector<std::string> all = [] {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < 2 * persisted_query::cache_capacity; ++i) {
            out.push_back(persisted_query::sha256_hex("query Q" + std::to_string(i) + " { field }").value());
        }
        return out;
    }();
    return all;
}

const document::SharedDocument& shared_document() {
    static const document::SharedDocument document = std::make_shared<document::Document>();
    return document;
}

// One cache per benchmark, shared by its threads; filled with the first
// `capacity` keys.
PersistedQueryCache& filled_cache(int which) {
    static PersistedQueryCache caches[2];
    static const bool filled = [] {
        for (PersistedQueryCache& cache : caches) {
            for (std::size_t i = 0; i < persisted_query::cache_capacity; ++i) {
                cache.insert(keys()[i], CachedDocument{shared_document(), 0});
            }
        }
        return true;
    }();
    (void)filled;
    return caches[which];
}

void cache_get_hit(benchmark::State& state) {
    PersistedQueryCache& cache = filled_cache(0);
    const auto& all = keys();
    std::size_t i = static_cast<std::size_t>(state.thread_index()) * 131;
    for (auto _ : state) {
        auto hit = cache.get(all[i % persisted_query::cache_capacity]);
        benchmark::DoNotOptimize(hit);
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(cache_get_hit)->Threads(1)->Threads(8)->UseRealTime();

// Nine lookups to one insert over twice the capacity: misses, evictions and
// replacements all happen.
void cache_mixed(benchmark::State& state) {
    PersistedQueryCache& cache = filled_cache(1);
    const auto& all = keys();
    std::size_t i = static_cast<std::size_t>(state.thread_index()) * 977;
    for (auto _ : state) {
        const std::string& key = all[(i * 7919) % all.size()];
        if (i % 10 == 0) {
            cache.insert(key, CachedDocument{shared_document(), 0});
        } else {
            auto hit = cache.get(key);
            benchmark::DoNotOptimize(hit);
        }
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(cache_mixed)->Threads(1)->Threads(8)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
