// Parsing throughput: the dashboard and schema-types queries, and a
// synthetic ~1 MB query in a readable and a minified layout.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_data.hpp"
#include "dovrane_core/parser.hpp"

using namespace dovrane_core;

namespace {

std::string synthetic_query(bool minified) {
    const char* line_break = minified ? " " : "\n    ";
    std::string text = "query Big($first: Int = 10, $filter: Filter) {";
    for (int i = 0; text.size() < (1u << 20); ++i) {
        const std::string n = std::to_string(i);
        text += line_break;
        text += "f" + n + ": field(id: \"item-" + n + "\", first: $first, filter: {tag: RED, min: " + n +
                ".5, ids: [1, 2, 3]}) @include(if: true) { id name ... on Node { kind } }";
    }
    text += minified ? " }" : "\n}\n";
    return text;
}

void parse_text(benchmark::State& state, const std::string& text) {
    if (!parser::parse_document(text).ok()) {
        state.SkipWithError("the text does not parse");
        return;
    }
    for (auto _ : state) {
        auto parsed = parser::parse_document(text);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

void parse_dashboard(benchmark::State& state) { parse_text(state, read_data("query.graphql")); }
void parse_schema_types(benchmark::State& state) { parse_text(state, read_data("schema_types.graphql")); }
void parse_synthetic(benchmark::State& state) { parse_text(state, synthetic_query(false)); }
void parse_synthetic_minified(benchmark::State& state) { parse_text(state, synthetic_query(true)); }

BENCHMARK(parse_dashboard);
BENCHMARK(parse_schema_types);
BENCHMARK(parse_synthetic);
BENCHMARK(parse_synthetic_minified);

}  // namespace

BENCHMARK_MAIN();
