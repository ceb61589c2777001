# Shared by the build scripts: installs what a fresh machine lacks and finds
# the interpreters. Sourced, not run.

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"

# Debian packages the C++ build and its tests need.
ensure_system_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "installing ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null 2>&1 ||
            { $sudo apt-get update >/dev/null && $sudo apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; }
    fi
}

# Python packages for one interpreter: ensure_python_packages python3 pytest ...
# A package imported under another name is given as package:module
# (graphql-core:graphql).
ensure_python_packages() {
    local python="$1"
    shift
    local missing=()
    local entry package module
    for entry in "$@"; do
        package="${entry%%:*}"
        module="${entry#*:}"
        [ "$entry" != "$package" ] || module="${package//-/_}"
        "$python" -c "import $module" 2>/dev/null || missing+=("$package")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "installing ${missing[*]} for $("$python" -V 2>&1)"
        pip_install "$python" "${missing[@]}"
    fi
}

# pip_install python package...: a system interpreter may lack pip, or refuse
# to install into itself (PEP 668) unless told to.
pip_install() {
    local python="$1"
    shift
    if ! "$python" -m pip --version >/dev/null 2>&1; then
        ensure_system_packages python3-pip
    fi
    "$python" -m pip install --quiet --disable-pip-version-check "$@" 2>/dev/null ||
        "$python" -m pip install --quiet --disable-pip-version-check --break-system-packages "$@"
}

# The build needs CMake 3.26 (Debian 12 ships 3.25) and Ninja: from pip when
# the machine lacks them or has an older CMake.
ensure_build_tools() {
    ensure_system_packages g++ libssl-dev pkg-config
    local version
    version="$(cmake --version 2>/dev/null | head -n 1 | awk '{print $3}')"
    if [ -z "$version" ] || [ "$(printf '%s\n3.26\n' "$version" | sort -V | head -n 1)" != "3.26" ]; then
        echo "installing cmake from pip (found: ${version:-none})"
        pip_install python3 cmake
        hash -r
    fi
    if ! command -v ninja >/dev/null 2>&1; then
        echo "installing ninja from pip"
        pip_install python3 ninja
        hash -r
    fi
}

# Every CPython 3.10 to 3.13 on the machine, one path per line.
find_interpreters() {
    local pyenv_root="${PYENV_ROOT:-$HOME/.pyenv}"
    local minor candidate
    for minor in 10 11 12 13; do
        for candidate in "$pyenv_root"/versions/3."$minor".*/bin/python3."$minor" /usr/bin/python3."$minor" /usr/local/bin/python3."$minor"; do
            if [ -x "$candidate" ] && "$candidate" -c "" 2>/dev/null; then
                echo "$candidate"
                break
            fi
        done
    done
}

# configure_build DIR [cmake options...]
configure_build() {
    local dir="$1"
    shift
    cmake -S "$repo_root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}
