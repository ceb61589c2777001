#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test:
# - the GoogleTest suites (the cache's also under ThreadSanitizer), the abi3
#   checks of the module;
# - the GoogleTest suites again under AddressSanitizer and UndefinedBehavior-
#   Sanitizer, and pytest once against that sanitized module;
# - each libFuzzer harness over its committed corpus, then for a bounded time
#   (FUZZ_SECONDS each, 30 by default; 0 skips the timed runs);
# - pytest under every CPython 3.10 to 3.13 found on the machine.
set -euo pipefail
source "$(dirname "$0")/common.sh"

fuzz_seconds="${FUZZ_SECONDS:-30}"
started=$SECONDS
stage() { echo "== $* ($((SECONDS - started)) s)"; }

ensure_build_tools
# libFuzzer and the sanitizer runtimes come with clang and libclang-rt-14-dev.
ensure_system_packages libgtest-dev libbenchmark-dev clang libclang-rt-14-dev

stage "release build and GoogleTest"
build="$repo_root/build/test"
configure_build "$build" -DDOVRANE_WERROR=ON -DDOVRANE_BUILD_TESTS=ON -DDOVRANE_BUILD_EXAMPLES=ON -DDOVRANE_BUILD_BENCH=ON
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

interpreters="$(find_interpreters)"
[ -n "$interpreters" ] || { echo "no CPython 3.10-3.13 found" >&2; exit 1; }
for python in $interpreters; do
    # graphql-core reads back the SDL we print (tests/test_schema_sdl.py).
    ensure_python_packages "$python" pytest graphql-core:graphql
done

# Every sanitizer report aborts the run (-fno-sanitize-recover=all).
stage "GoogleTest under ASan and UBSan"
asan_build="$repo_root/build/test-asan"
configure_build "$asan_build" -DDOVRANE_WERROR=ON -DDOVRANE_SANITIZE=address,undefined -DDOVRANE_BUILD_TESTS=ON
cmake --build "$asan_build" -j"$jobs"
ctest --test-dir "$asan_build" --output-on-failure -j"$jobs"

# The interpreter is not built with ASan, so the runtime is preloaded into it;
# CPython's own allocations at exit look like leaks, so leak checks are off,
# and its small-object allocator is bypassed so ASan sees every block.
asan_runtime="$(gcc -print-file-name=libasan.so)"
ubsan_runtime="$(gcc -print-file-name=libubsan.so)"
if [ -f "$asan_runtime" ] && [ -f "$ubsan_runtime" ]; then
    python="$(echo "$interpreters" | tail -n 1)"
    stage "pytest under $("$python" -V 2>&1) against the ASan and UBSan module"
    LD_PRELOAD="$asan_runtime $ubsan_runtime" ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
        PYTHONMALLOC=malloc \
        DOVRANE_MODULE_DIR="$asan_build/python" "$python" -m pytest -q -p no:cacheprovider "$repo_root/tests"
else
    echo "no shared ASan/UBSan runtime from gcc: pytest against a sanitized module skipped"
fi

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

for python in $interpreters; do
    stage "pytest under $("$python" -V 2>&1)"
    DOVRANE_MODULE_DIR="$build/python" "$python" -m pytest -q -p no:cacheprovider "$repo_root/tests"
done
