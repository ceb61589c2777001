// The query texts the benchmarks share, from bench/data/.
#pragma once

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>

#include "dovrane_core/lowering.hpp"
#include "dovrane_core/parser.hpp"

inline std::string read_data(const char* name) {
    std::ifstream in(std::string(DOVRANE_BENCH_DATA) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The parsed text, or null after marking the benchmark skipped.
inline dovrane_core::document::SharedDocument parse_data(benchmark::State& state, const char* name) {
    auto parsed = dovrane_core::parser::parse_document(read_data(name));
    if (!parsed) {
        state.SkipWithError((std::string(name) + " does not parse").c_str());
        return nullptr;
    }
    return parsed.value();
}

// The variables a client typically sends with the dashboard query.
inline dovrane_core::lowering::VariableMap typical_variables() {
    using dovrane_core::json::Number;
    dovrane_core::lowering::VariableMap variables;
    variables["viewerPostsFirst"] = Number::from_unsigned(20);
    variables["withComments"] = true;
    variables["skipFollowers"] = false;
    variables["avatarSize"] = Number::from_unsigned(128);
    variables["searchText"] = std::string("graphql");
    variables["userId"] = std::string("user-42");
    return variables;
}
