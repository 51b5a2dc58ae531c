#!/usr/bin/env bash
# velmora under wine64 against the Linux build of the same tree, run by hand:
# a 1080i clip (a footage clip scaled to 1920x1080 and woven by `velmora
# interlace`), every mode, both programs interleaved, the minimum of ROUNDS
# runs each; then whether the outputs are byte-identical.
#   bench/compare_wine.sh [LINUX_BUILD] [WINDOWS_BUILD]   (default build, build-win-x64)
# Env: FOOTAGE (default ../shared/footage), CLIP (default gopro-30fps-walk.mp4),
#      FRAMES (interlaced frames, default 12), MODES (default "off fast better
#      best"), ROUNDS (default 3), THREADS (default 2), WORK (scratch folder).
set -euo pipefail
cd "$(dirname "$0")/.."
linux=${1:-build} windows=${2:-build-win-x64}
footage=${FOOTAGE:-../shared/footage} clip=${CLIP:-gopro-30fps-walk.mp4}
frames=${FRAMES:-12} modes=${MODES:-off fast better best} rounds=${ROUNDS:-3} threads=${THREADS:-2}
work=${WORK:-$(mktemp -d)}
wine="cmake/wine-run.sh /usr/lib/wine/wine64 $(cd "$windows" && pwd)/wine"
ffmpeg -nostdin -v error -y -i "$footage/$clip" -frames:v $((frames * 2)) -vf scale=1920:1080 \
  -f yuv4mpegpipe "$work/progressive.y4m"
"$linux/cli/velmora" interlace "$work/progressive.y4m" "$work/in.y4m" "$work/truth.y4m"
$wine "$windows/cli/velmora.exe" --help >/dev/null # starts the wine server
seconds() { # OUTPUT_FILE COMMAND...: elapsed seconds of one run
  local out=$1 start end
  shift
  start=$(date +%s.%N)
  "$@" --quiet --threads "$threads" "$work/in.y4m" "$out"
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
declare -A best
for ((round = 1; round <= rounds; ++round)); do
  for mode in $modes; do
    for side in linux wine; do
      if [ $side = linux ]; then
        t=$(seconds "$work/linux-$mode.y4m" "$linux/cli/velmora" --motion "$mode")
      else
        t=$(seconds "$work/wine-$mode.y4m" $wine "$windows/cli/velmora.exe" --motion "$mode")
      fi
      key=$side-$mode
      if [ -z "${best[$key]:-}" ] || [ "$(echo "$t < ${best[$key]}" | bc)" = 1 ]; then best[$key]=$t; fi
    done
  done
done
echo "1920x1080, $frames interlaced frames, $threads threads, minimum of $rounds (load $(cut -d' ' -f1-3 /proc/loadavg))"
printf '%-7s %9s %9s %6s  %s\n' mode linux wine64 ratio output
for mode in $modes; do
  same=differs; cmp -s "$work/linux-$mode.y4m" "$work/wine-$mode.y4m" && same=identical
  printf '%-7s %8.2fs %8.2fs %6.2f  %s\n' "$mode" "${best[linux-$mode]}" "${best[wine-$mode]}" \
    "$(echo "${best[wine-$mode]} / ${best[linux-$mode]}" | bc -l)" "$same"
done
