#!/usr/bin/env bash
# Builds Velmora and runs every test. Installs missing build dependencies.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
velmora_install_deps

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release ${VELMORA_CMAKE_ARGS:-}
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$(nproc)" ${VELMORA_CTEST_ARGS:-}
