// Lowering of the dashboard query with the variables a client typically sends.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>

#include "dovrane_core/lowering.hpp"
#include "dovrane_core/parser.hpp"

using namespace dovrane_core;

namespace {

std::string read_data(const char* name) {
    std::ifstream in(std::string(DOVRANE_BENCH_DATA) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

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
    const std::string text = read_data("query.graphql");
    auto parsed = parser::parse_document(text);
    if (!parsed) {
        state.SkipWithError("query.graphql does not parse");
        return;
    }
    const document::SharedDocument document = parsed.value();
    const lowering::VariableMap variables = typical_variables();
    for (auto _ : state) {
        auto lowered = lowering::lower_document(document, variables, std::nullopt);
        benchmark::DoNotOptimize(lowered);
    }
}
BENCHMARK(lower_dashboard);

}  // namespace

BENCHMARK_MAIN();
