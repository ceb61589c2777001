#!/usr/bin/env bash
# Builds the _dovrane module and runs the Python example on the host
# stand-in (tests/host):
#   ./scripts/example_python.sh [QUERY_FILE] [--variables JSON] [--operation NAME]
set -euo pipefail
source "$(dirname "$0")/common.sh"

ensure_build_tools

# The example runs under the first CPython 3.10 to 3.13 on the machine; the
# module builds against the 3.10 headers when there are any, else against
# that interpreter's, which Debian ships in python3-dev.
first_interpreter() {
    local interpreters
    interpreters="$(find_interpreters)"
    echo "${interpreters%%$'\n'*}"
}
python="$(first_interpreter)"
if [ -z "$python" ]; then
    ensure_system_packages python3
    python="$(first_interpreter)"
fi
[ -n "$python" ] || { echo "no CPython 3.10-3.13 found" >&2; exit 1; }
"$python" -c 'import os, sysconfig, sys; sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' ||
    ensure_system_packages python3-dev

build="$repo_root/build/example-python"
configure_build "$build"
cmake --build "$build" -j"$jobs" --target _dovrane
PYTHONPATH="$build/python:$repo_root/tests/host${PYTHONPATH:+:$PYTHONPATH}" "$python" "$repo_root/examples/bookshop.py" "$@"
