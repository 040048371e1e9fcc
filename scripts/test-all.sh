#!/bin/bash
# Builds every preset and runs every suite: the native unit and end-to-end
# tests (ASan + UBSan), the ThreadSanitizer build, the Windows programs and
# their tests under Wine, a 60-second fuzz run per target, the benchmark
# build, and the downloads made from those builds (scripts/package.sh), each
# unpacked or installed and serving a client. Installs what it needs on a
# fresh Debian machine (run as root).
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '\n==== %s ====\n' "$*"; }

step "packages"
scripts/install-deps.sh

step "portable core and layer checks"
scripts/check-core-portable.sh
scripts/check-layers.sh

step "native (g++, ASan + UBSan): build"
cmake --preset native
cmake --build --preset native
step "native: tests"
ctest --preset native

step "native-tsan (g++, ThreadSanitizer): build and test"
cmake --preset native-tsan
cmake --build --preset native-tsan
ctest --preset native-tsan -LE e2e

step "windows (mingw-w64): build"
export WINEPREFIX="${WINEPREFIX:-$(mktemp -d /tmp/nimbo-ci-wine.XXXXXX)}"
cmake --preset windows
cmake --build --preset windows
step "windows: tests under Wine"
ctest --preset windows
wineserver -k 2>/dev/null || true

step "fuzz (clang libFuzzer, ASan + UBSan): 60 s per target"
cmake --preset fuzz
cmake --build --preset fuzz
scripts/run-fuzzers.sh 60

step "benchmarks: build"
cmake --preset native-release
cmake --build --preset native-release

step "packages: the downloads from the windows and native-release builds, checked"
scripts/package.sh --windows-build build/windows --linux-build build/native-release
rc=0
tests/package/package_test.sh dist || rc=$?
[ "$rc" = 0 ] || [ "$rc" = 77 ]   # 77: skipped (no network namespaces)

step "all suites passed"
