#!/usr/bin/env bash
# Builds the example program and runs it on a sample query.
set -euo pipefail
source "$(dirname "$0")/common.sh"

ensure_build_tools

build="$repo_root/build/example"
configure_build "$build" -DDOVRANE_BUILD_EXAMPLES=ON -DDOVRANE_BUILD_PYTHON=OFF
cmake --build "$build" -j"$jobs" --target parse_query
"$build/examples/parse_query" "$repo_root/bench/data/query.graphql"
