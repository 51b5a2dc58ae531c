#!/usr/bin/env bash
# Cross-builds Velmora for Windows with mingw-w64 and runs the whole test
# suite under wine:  scripts/windows-test.sh x64|x86
# Installs what it needs. The build goes to build-win-<arch> (BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
velmora_install_windows_deps

arch=${1:-}
case "$arch" in
x64) toolchain=cmake/mingw-x86_64.cmake server=/usr/lib/wine/wineserver64 ;;
x86) toolchain=cmake/mingw-i686.cmake server=/usr/lib/wine/wineserver32 ;;
*) echo "usage: $0 x64|x86" >&2; exit 2 ;;
esac
BUILD_DIR=${BUILD_DIR:-build-win-$arch}

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DVELMORA_BENCH=OFF ${VELMORA_CMAKE_ARGS:-}
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
# The wine server the test runs kept alive ends with them.
trap 'WINEPREFIX="$(cd "$BUILD_DIR" && pwd)/wine" "$server" -k 2>/dev/null || true' EXIT
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$(nproc)" ${VELMORA_CTEST_ARGS:-}
