// Validation of the dashboard query against the schema that
// bench/data/schema.graphql describes (test_support::dashboard_schema).
#include <benchmark/benchmark.h>

#include <string>

#include "bench_data.hpp"
#include "dovrane_core/parser.hpp"
#include "dovrane_core/test_support/fixture_schemas.hpp"
#include "dovrane_core/validation.hpp"

using namespace dovrane_core;

namespace {

void validate_dashboard(benchmark::State& state) {
    const document::SharedDocument document = parse_data(state, "query.graphql");
    if (!document) return;
    const schema::CompiledSchema schema = test_support::dashboard_schema();
    if (error::MaybeError error = validation::validate_query(*document, schema, std::nullopt)) {
        state.SkipWithError(("query.graphql does not validate: " + error->message).c_str());
        return;
    }
    for (auto _ : state) {
        error::MaybeError error = validation::validate_query(*document, schema, std::nullopt);
        benchmark::DoNotOptimize(error);
    }
}
BENCHMARK(validate_dashboard)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
