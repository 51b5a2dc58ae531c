#!/usr/bin/env bash
# Builds every libFuzzer target with clang (ASan + UBSan) and runs each for a
# bounded time on its corpus in fuzz/corpus/<target>/ (units it finds go to a
# scratch folder, not into the repository). Any crash, leak, hang or sanitizer
# report fails the run and leaves the input in build-fuzz/artifacts/.
# Env: FUZZ_SECONDS per target (default 50), BUILD_DIR (default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
velmora_install_deps
BUILD_DIR=${BUILD_DIR:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-50}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DVELMORA_FUZZ=ON -DVELMORA_BENCH=OFF >/dev/null
mapfile -t targets < "$BUILD_DIR/fuzz/fuzz-targets.txt"
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target "${targets[@]}"
mkdir -p "$BUILD_DIR/artifacts"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  [ -n "$target" ] || continue
  corpus="fuzz/corpus/$target"
  mkdir -p "$corpus"
  scratch=$(mktemp -d)
  echo "fuzz: $target for ${SECONDS_EACH}s" >&2
  "$BUILD_DIR/fuzz/$target" -max_total_time="$SECONDS_EACH" -max_len=4096 -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$BUILD_DIR/artifacts/$target-" "$scratch" "$corpus" 2>&1 | grep -v '^#' | tail -n 12
  status=${PIPESTATUS[0]}
  rm -rf "$scratch"
  [ "$status" -eq 0 ] || { echo "fuzz: $target failed" >&2; exit 1; }
done
