# Shared by the scripts: package checks and the build. Source it, do not run it.
# shellcheck shell=bash

HORAVOX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# What building, running and testing Horavox needs from Debian 12.
HORAVOX_BUILD_PACKAGES=(cmake make g++ pkg-config qt6-base-dev libgl-dev)
# The window's texts are Chinese; a bare machine has no font for them.
# Without a display, scripts/run presses 连接 with xdotool and takes the screenshot with
# ImageMagick.
HORAVOX_RUN_PACKAGES=(fonts-wqy-microhei xvfb xauth x11-utils imagemagick xdotool)
HORAVOX_TEST_PACKAGES=(desktop-file-utils appstream binutils-mingw-w64-x86-64
                       g++-mingw-w64-x86-64-posix dpkg-dev file
                       clang libclang-rt-14-dev)
# scripts/bench: Google Benchmark, the X client library its harness watches windows with,
# and xdotool to press 连接 in the window under Xvfb; lscpu names the machine.
HORAVOX_BENCH_PACKAGES=(libbenchmark-dev libxcb1-dev xdotool util-linux)

log() { printf '==> %s\n' "$*" >&2; }

# Installs the Debian packages that are missing, as root; otherwise names the one command.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        log "installing ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "Horavox needs these Debian packages first:" >&2
        echo "  sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
}

# run_ctest ARGS...: ctest with the given arguments; the tests it ran are added to the
# totals that scripts/test prints last.
HORAVOX_TESTS_PASSED=0
run_ctest() {
    local out
    out=$(mktemp)
    if ! ctest "$@" 2>&1 | tee "$out"; then
        rm -f "$out"
        return 1
    fi
    local ran
    ran=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$out" | tail -n 1)
    rm -f "$out"
    HORAVOX_TESTS_PASSED=$((HORAVOX_TESTS_PASSED + ${ran:-0}))
}

# configure_and_build PRESET: configures (once) and builds with a CMake preset.
configure_and_build() {
    local preset=$1
    shift
    cmake --preset "$preset" -S "$HORAVOX_ROOT" "$@" >/dev/null
    cmake --build --preset "$preset"
}
