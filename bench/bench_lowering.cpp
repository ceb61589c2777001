// Lowering of the dashboard query with the variables a client typically sends,
// and of hostile shapes: small texts whose plans a naive lowering builds many
// times over (bench/bench_hostile.py runs the same shapes from Python, with
// peak memory).
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

#include "bench_data.hpp"
#include "dovrane_core/lowering.hpp"
#include "dovrane_core/parser.hpp"

using namespace dovrane_core;

namespace {

void lower_dashboard(benchmark::State& state) {
    const document::SharedDocument document = parse_data(state, "query.graphql");
    if (!document) return;
    const lowering::VariableMap variables = typical_variables();
    for (auto _ : state) {
        auto lowered = lowering::lower_document(document, variables, std::nullopt);
        benchmark::DoNotOptimize(lowered);
    }
}
BENCHMARK(lower_dashboard);

// "a0: id a1: id ...".
std::string aliased_ids(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += 'a';
        text += std::to_string(i);
        text += ": id ";
    }
    return text;
}

// query { viewer { ...F0 } }, each F_i spreading F_i+1, the last holding the fields.
std::string fragment_chain(std::size_t levels, std::size_t fields, bool defer) {
    std::string text = "query { viewer { ...F0 } }\n";
    for (std::size_t i = 0; i < levels; ++i) {
        text += "fragment F" + std::to_string(i) + " on User { ...F" + std::to_string(i + 1) +
                (defer ? " @defer }\n" : " }\n");
    }
    return text + "fragment F" + std::to_string(levels) + " on User { " + aliased_ids(fields) + "}\n";
}

// Each fragment nests `levels` inline fragments around a spread of the next.
std::string nested_inline_fragments(std::size_t fragments, std::size_t levels, std::size_t fields, bool defer) {
    std::string text = "query { viewer { ...F0 } }\n";
    for (std::size_t i = 0; i < fragments; ++i) {
        text += "fragment F" + std::to_string(i) + " on User { ";
        for (std::size_t level = 0; level < levels; ++level) text += defer ? "... @defer { " : "... { ";
        text += "...F" + std::to_string(i + 1);
        for (std::size_t level = 0; level < levels; ++level) text += " }";
        text += " }\n";
    }
    return text + "fragment F" + std::to_string(fragments) + " on User { " + aliased_ids(fields) + "}\n";
}

// One fragment with many @include directives, spread many times.
std::string fragment_directives(std::size_t spreads, std::size_t directives) {
    std::string text = "query { viewer { ";
    for (std::size_t i = 0; i < spreads; ++i) text += "...F ";
    text += "} }\nfragment F on User ";
    for (std::size_t i = 0; i < directives; ++i) text += "@include(if: true) ";
    return text + "{ id }\n";
}

void lower_text(benchmark::State& state, const std::string& text) {
    auto parsed = parser::parse_document(text);
    if (!parsed) {
        state.SkipWithError("the text does not parse");
        return;
    }
    const document::SharedDocument document = parsed.value();
    for (auto _ : state) {
        auto lowered = lowering::lower_document(document, {}, std::nullopt);
        if (!lowered) {
            state.SkipWithError(lowered.error().message.c_str());
            return;
        }
        benchmark::DoNotOptimize(lowered);
    }
}

void lower_chain(benchmark::State& state) { lower_text(state, fragment_chain(250, 99000, false)); }
void lower_chain_deferred(benchmark::State& state) { lower_text(state, fragment_chain(250, 99000, true)); }
void lower_nested_inline_defers(benchmark::State& state) {
    lower_text(state, nested_inline_fragments(4, 62, 99000, true));
}
void lower_nested_inline_plain(benchmark::State& state) {
    lower_text(state, nested_inline_fragments(4, 62, 99000, false));
}
void lower_fragment_directives(benchmark::State& state) { lower_text(state, fragment_directives(10000, 10000)); }
void lower_fragment_directives_30000(benchmark::State& state) {
    lower_text(state, fragment_directives(30000, 30000));
}

BENCHMARK(lower_chain)->Unit(benchmark::kMillisecond);
BENCHMARK(lower_chain_deferred)->Unit(benchmark::kMillisecond);
BENCHMARK(lower_nested_inline_defers)->Unit(benchmark::kMillisecond);
BENCHMARK(lower_nested_inline_plain)->Unit(benchmark::kMillisecond);
BENCHMARK(lower_fragment_directives)->Unit(benchmark::kMillisecond);
BENCHMARK(lower_fragment_directives_30000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
