#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test:
# - the GoogleTest suites and pytest under every CPython 3.10 to 3.13 found on
#   the machine, all through CTest; the cache's suite also under ThreadSanitizer;
#   the abi3 checks of the module;
# - the GoogleTest suites again under AddressSanitizer and UndefinedBehavior-
#   Sanitizer, and pytest once against that sanitized module, through CTest;
# - each libFuzzer harness over its committed corpus, then for a bounded time
#   (FUZZ_SECONDS each, 30 by default; 0 skips the timed runs).
set -euo pipefail
source "$(dirname "$0")/common.sh"

fuzz_seconds="${FUZZ_SECONDS:-30}"
started=$SECONDS
stage() { echo "== $* ($((SECONDS - started)) s)"; }

ensure_build_tools
# libFuzzer and the sanitizer runtimes come with clang and libclang-rt-14-dev.
ensure_system_packages libgtest-dev libbenchmark-dev clang libclang-rt-14-dev

interpreters="$(find_interpreters)"
[ -n "$interpreters" ] || { echo "no CPython 3.10-3.13 found" >&2; exit 1; }
for python in $interpreters; do
    # graphql-core reads back the SDL we print (tests/test_schema_sdl.py).
    ensure_python_packages "$python" pytest graphql-core:graphql
done
all_interpreters="$(echo "$interpreters" | paste -sd ';')"
last_interpreter="$(echo "$interpreters" | tail -n 1)"

stage "release build, GoogleTest and pytest under $(echo "$interpreters" | wc -l) interpreters"
build="$repo_root/build/test"
configure_build "$build" -DDOVRANE_WERROR=ON -DDOVRANE_BUILD_TESTS=ON -DDOVRANE_BUILD_EXAMPLES=ON -DDOVRANE_BUILD_BENCH=ON \
    -DDOVRANE_PYTEST_INTERPRETERS="$all_interpreters"
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" --output-on-failure -j"$jobs"

# The persisted-query cache is the one structure threads share: its tests run
# again under ThreadSanitizer.
stage "persisted-query cache under ThreadSanitizer"
tsan_build="$repo_root/build/test-tsan"
configure_build "$tsan_build" -DDOVRANE_WERROR=ON -DDOVRANE_SANITIZE=thread -DDOVRANE_BUILD_PYTHON=OFF -DDOVRANE_BUILD_TESTS=ON
cmake --build "$tsan_build" -j"$jobs" --target test_persisted_query
"$tsan_build/core/test_persisted_query"

stage "abi3 and exported symbols"
module="$build/python/_dovrane.abi3.so"
python3 "$repo_root/tools/check_abi3.py" "$module"
# The check itself must refuse a module that exports anything besides its init.
leaky_dir="$(mktemp -d)"
printf 'void* PyInit_leaky(void) { return 0; }\nint leaked_helper(void) { return 1; }\n' >"$leaky_dir/leaky.c"
cc -shared -fPIC -o "$leaky_dir/leaky.abi3.so" "$leaky_dir/leaky.c"
if python3 "$repo_root/tools/check_abi3.py" "$leaky_dir/leaky.abi3.so" 2>/dev/null; then
    echo "check_abi3.py accepted a module that exports leaked_helper" >&2
    exit 1
fi
rm -rf "$leaky_dir"

# Every sanitizer report aborts the run (-fno-sanitize-recover=all). pytest
# runs once, under the last interpreter, against the sanitized module (the
# CTest entry preloads the sanitizer runtimes into the interpreter).
stage "GoogleTest and pytest under $("$last_interpreter" -V 2>&1), ASan and UBSan"
asan_build="$repo_root/build/test-asan"
configure_build "$asan_build" -DDOVRANE_WERROR=ON -DDOVRANE_SANITIZE=address,undefined -DDOVRANE_BUILD_TESTS=ON \
    -DDOVRANE_PYTEST_INTERPRETERS="$last_interpreter"
cmake --build "$asan_build" -j"$jobs"
ctest --test-dir "$asan_build" --output-on-failure -j"$jobs"

stage "fuzz harnesses (clang, ASan, UBSan)"
fuzz_build="$repo_root/build/fuzz"
configure_build "$fuzz_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DDOVRANE_WERROR=ON \
    -DDOVRANE_BUILD_FUZZERS=ON -DDOVRANE_BUILD_PYTHON=OFF
cmake --build "$fuzz_build" -j"$jobs"
fuzz_work="$(mktemp -d)"
trap 'rm -rf "$fuzz_work"' EXIT
for corpus in "$repo_root"/fuzz/corpus/*/; do
    name="$(basename "$corpus")"
    harness="$fuzz_build/fuzz/fuzz_$name"
    echo "-- fuzz_$name: replaying $(ls "$corpus" | wc -l) corpus inputs"
    "$harness" -runs=0 -artifact_prefix="$fuzz_work/" "$corpus" >"$fuzz_work/$name.log" 2>&1 ||
        { tail -n 40 "$fuzz_work/$name.log"; exit 1; }
    if [ "$fuzz_seconds" -gt 0 ]; then
        # New inputs go to a scratch corpus; the committed one is only read.
        mkdir -p "$fuzz_work/$name"
        "$harness" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=4096 -max_len=16384 \
            -artifact_prefix="$fuzz_work/" "$fuzz_work/$name" "$corpus" >"$fuzz_work/$name.log" 2>&1 ||
            { tail -n 40 "$fuzz_work/$name.log"; echo "fuzz_$name found a failing input (above)" >&2; exit 1; }
        echo "-- fuzz_$name: ${fuzz_seconds} s clean: $(grep -E '^#[0-9]+' "$fuzz_work/$name.log" | tail -n 1 |
            grep -oE '^#[0-9]+|cov: [0-9]+ ft: [0-9]+|exec/s: [0-9]+' | tr '\n' ' ')"
    fi
done

