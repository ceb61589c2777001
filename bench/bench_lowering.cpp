// Lowering of the dashboard query with the variables a client typically sends.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_data.hpp"
#include "dovrane_core/lowering.hpp"
#include "dovrane_core/parser.hpp"

using namespace dovrane_core;

namespace {

lowering::VariableMap typical_variables() {
    lowering::VariableMap variables;
    variables["viewerPostsFirst"] = json::Number::from_unsigned(20);
    variables["withComments"] = true;
    variables["skipFollowers"] = false;
    variables["avatarSize"] = json::Number::from_unsigned(128);
    variables["searchText"] = std::string("graphql");
    variables["userId"] = std::string("user-42");
    return variables;
}

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

}  // namespace

BENCHMARK_MAIN();
