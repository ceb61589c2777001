#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test: the
# GoogleTest suites (the cache's also under ThreadSanitizer), the abi3 checks
# of the module, and pytest under every CPython 3.10 to 3.13 found on the
# machine.
set -euo pipefail
source "$(dirname "$0")/common.sh"

ensure_build_tools
ensure_system_packages libgtest-dev libbenchmark-dev

build="$repo_root/build/test"
configure_build "$build" -DDOVRANE_WERROR=ON -DDOVRANE_BUILD_TESTS=ON -DDOVRANE_BUILD_EXAMPLES=ON -DDOVRANE_BUILD_BENCH=ON
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" --output-on-failure -j"$jobs"

# The persisted-query cache is the one structure threads share: its tests run
# again under ThreadSanitizer.
tsan_build="$repo_root/build/test-tsan"
configure_build "$tsan_build" -DDOVRANE_WERROR=ON -DDOVRANE_SANITIZE=thread -DDOVRANE_BUILD_PYTHON=OFF -DDOVRANE_BUILD_TESTS=ON
cmake --build "$tsan_build" -j"$jobs" --target test_persisted_query
"$tsan_build/core/test_persisted_query"

module="$build/python/_dovrane.abi3.so"
python3 "$repo_root/tools/check_abi3.py" "$module"

interpreters="$(find_interpreters)"
[ -n "$interpreters" ] || { echo "no CPython 3.10-3.13 found" >&2; exit 1; }
for python in $interpreters; do
    # graphql-core reads back the SDL we print (tests/test_schema_sdl.py).
    ensure_python_packages "$python" pytest graphql-core:graphql
    echo "== pytest under $("$python" -V 2>&1)"
    DOVRANE_MODULE_DIR="$build/python" "$python" -m pytest -q -p no:cacheprovider "$repo_root/tests"
done
