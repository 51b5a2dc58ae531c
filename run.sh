#!/usr/bin/env bash
# Builds Velmora and runs its main job on the embedded default.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
velmora_install_deps

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
if [ -x "$BUILD_DIR/cli/velmora" ]; then
  exec "$BUILD_DIR/cli/velmora" demo "$@"
fi
exec "$BUILD_DIR/refhost/velmora_refhost_info" "$BUILD_DIR/Velmora.so"
