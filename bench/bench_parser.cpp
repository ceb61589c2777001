// Parsing throughput: the dashboard and schema-types queries, a synthetic
// query just over 1 MiB in a readable and a minified layout, just under it
// (the size once read twice) and with non-ASCII strings and comments (the
// UTF-8 checks off the ASCII path), and a 10 MB selection set of 3.5 million
// fields, valid and with one "}" too many at the end.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

#include "bench_data.hpp"
#include "dovrane_core/parser.hpp"

using namespace dovrane_core;

namespace {

std::string synthetic_query(bool minified, std::size_t size = std::size_t{1} << 20, bool non_ascii = false) {
    const char* line_break = minified ? " " : "\n    ";
    const char* item = non_ascii ? "\"\u00e9l\u00e9ment-\u65e5\u672c-\U0001F680-" : "\"item-";
    std::string text = "query Big($first: Int = 10, $filter: Filter) {";
    for (int i = 0; text.size() < size; ++i) {
        const std::string n = std::to_string(i);
        text += line_break;
        if (non_ascii) text += "# caf\u00e9 \u2615 na\u00efve" + std::string(line_break);
        text += "f" + n + ": field(id: " + item + n + "\", first: $first, filter: {tag: RED, min: " + n +
                ".5, ids: [1, 2, 3]}) @include(if: true) { id name ... on Node { kind } }";
    }
    text += minified ? " }" : "\n}\n";
    return text;
}

// The text must parse, or with `expect_error` must fail.
void parse_text(benchmark::State& state, const std::string& text, bool expect_error = false) {
    if (parser::parse_document(text).ok() == expect_error) {
        state.SkipWithError(expect_error ? "the text parses" : "the text does not parse");
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
void parse_synthetic_read_once(benchmark::State& state) {
    parse_text(state, synthetic_query(false, (std::size_t{1} << 20) - 4096));
}
void parse_synthetic_non_ascii(benchmark::State& state) {
    parse_text(state, synthetic_query(false, std::size_t{1} << 20, true));
}

std::string flat_selection_set(bool stray_brace) {
    std::string text = "{ viewer { ";
    for (int i = 0; i < 3495253; ++i) text += "id ";
    return text + (stray_brace ? "} } }" : "} }");
}

void parse_flat_10mb(benchmark::State& state) { parse_text(state, flat_selection_set(false)); }
void parse_flat_10mb_stray_brace(benchmark::State& state) { parse_text(state, flat_selection_set(true), true); }

BENCHMARK(parse_dashboard);
BENCHMARK(parse_schema_types);
BENCHMARK(parse_synthetic);
BENCHMARK(parse_synthetic_minified);
BENCHMARK(parse_synthetic_read_once);
BENCHMARK(parse_synthetic_non_ascii);
BENCHMARK(parse_flat_10mb)->Unit(benchmark::kMillisecond);
BENCHMARK(parse_flat_10mb_stray_brace)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
