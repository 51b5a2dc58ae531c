#!/usr/bin/env bash
# Peer comparison, run by hand: Velmora in every mode against ffmpeg's yadif,
# bwdif, w3fdif and estdif on the same interlaced input, scored against the
# progressive ground truth.
#
#   bench/compare_peers.sh [CLIP.y4m ...]
#
# Each CLIP is a progressive Y4M clip. Without arguments the clips in
# ../shared/footage are made into Y4M by its make_y4m.sh (into a temporary
# folder). Interlacing is done by `velmora interlace` (hidden subcommand):
# interlaced frame i takes its upper field from progressive frame 2i and its
# lower field from frame 2i + 1, marked It; the ground truth of frame i is
# progressive frame 2i. Every method keeps the upper field and outputs one
# frame per interlaced frame.
#
# Environment:
#   VELMORA   the command (default: build/cli/velmora beside this script's repo)
#   FRAMES    interlaced frames per clip, for every method (default 20: the
#             motion modes are slow; the first FRAMES x 2 progressive frames)
#   MODES     Velmora runs (default: "off fast fast+c better better+c best best+c";
#             +c adds --correct-errors)
#   THREADS   worker threads for Velmora and ffmpeg's filters (default 2)
#   SYNTH1080 if 1, also times "Off" against yadif on a synthesised 1920x1080
#             clip (ffmpeg testsrc2, 4:2:0 8-bit) of SYNTH_FRAMES interlaced
#             frames (default 60)
#   FOOTAGE   0: without CLIP arguments, skip the footage clips (e.g. with
#             SYNTH1080=1 alone)
#   KEEP      a folder to keep the intermediate files in (default: removed)
#
# Columns: seconds per frame (wall clock, end to end: reading, converting,
# filtering and writing the Y4M files), the ratio to yadif's seconds per frame,
# and PSNR-Y and SSIM-Y against the truth over all frames but the first two
# (which lack the earlier fields the motion modes use), from ffmpeg's psnr and
# ssim filters. The machine is shared: times are noisy, compare within a run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
VELMORA=${VELMORA:-$here/build/cli/velmora}
FRAMES=${FRAMES:-20}
MODES=${MODES:-"off fast fast+c better better+c best best+c"}
THREADS=${THREADS:-2}
SYNTH1080=${SYNTH1080:-0}
SYNTH_FRAMES=${SYNTH_FRAMES:-60}
FOOTAGE=${FOOTAGE:-1}

if ! command -v ffmpeg >/dev/null 2>&1; then
  echo "Installing ffmpeg" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq ffmpeg
fi
[ -x "$VELMORA" ] || { echo "no velmora at $VELMORA (build first)" >&2; exit 1; }

work=${KEEP:-$(mktemp -d)}
mkdir -p "$work"
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT

clips=("$@")
if [ ${#clips[@]} -eq 0 ] && [ "$FOOTAGE" = 1 ]; then
  OUT="$work/footage" "$here/../shared/footage/make_y4m.sh" >/dev/null
  clips=("$work"/footage/*.y4m)
fi

now() { date +%s.%N; }

# score OUT TRUTH -> "PSNR SSIM" of luma, frames 2 on.
score() {
  local trim="trim=start_frame=2,setpts=PTS-STARTPTS"
  local psnr ssim
  psnr=$(ffmpeg -nostdin -hide_banner -i "$1" -i "$2" \
    -lavfi "[0:v]$trim[a];[1:v]$trim[b];[a][b]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR y:\([0-9.inf]*\).*/\1/p' | tail -1)
  ssim=$(ffmpeg -nostdin -hide_banner -i "$1" -i "$2" \
    -lavfi "[0:v]$trim[a];[1:v]$trim[b];[a][b]ssim" -f null - 2>&1 |
    sed -n 's/.*SSIM Y:\([0-9.]*\).*/\1/p' | tail -1)
  echo "$psnr $ssim"
}

# run NAME COMMAND... : times the command, which writes $out.
run() {
  local name=$1
  shift
  local t0 t1
  t0=$(now)
  "$@"
  t1=$(now)
  echo "$name $(echo "$t1 - $t0" | bc -l)"
}

ffmpeg_filter() { # IN OUT FILTER
  ffmpeg -nostdin -v error -y -filter_threads "$THREADS" -i "$1" -vf "$3" -f yuv4mpegpipe "$2"
}

velmora_mode() { # IN OUT MODE
  local mode=${3%+c} extra=()
  [ "$3" = "$mode" ] || extra=(--correct-errors)
  "$VELMORA" --quiet --threads "$THREADS" --motion "$mode" "${extra[@]}" "$1" "$2"
}

peers=(
  "yadif yadif=mode=send_frame:parity=tff"
  "bwdif bwdif=mode=send_frame:parity=tff"
  "w3fdif w3fdif=mode=frame:parity=tff"
  "estdif estdif=mode=frame:parity=tff"
)

compare_clip() { # PROGRESSIVE FRAMES MODES
  local src=$1 frames=$2 modes=$3
  local base
  base=$(basename "$src" .y4m)
  local prog="$work/$base.prog.y4m" in="$work/$base.i.y4m" truth="$work/$base.truth.y4m"
  ffmpeg -nostdin -v error -y -i "$src" -frames:v $((frames * 2)) -f yuv4mpegpipe "$prog"
  "$VELMORA" interlace "$prog" "$in" "$truth"
  local size
  size=$(head -c 200 "$in" | head -1 | sed -n 's/.* W\([0-9]*\) H\([0-9]*\).*/\1x\2/p')
  echo
  echo "$base ($size, $frames interlaced frames, $THREADS threads)"
  printf '  %-16s %10s %8s %9s %8s\n' method s/frame ratio PSNR-Y SSIM-Y
  local results=() yadif_spf=""
  for p in "${peers[@]}"; do
    set -- $p
    local line
    line=$(run "$1" ffmpeg_filter "$in" "$work/out.$1.y4m" "$2")
    results+=("$line $(score "$work/out.$1.y4m" "$truth")")
    [ "$1" = yadif ] && yadif_spf=$(echo "${line#* } / $frames" | bc -l)
  done
  for m in $modes; do
    local line
    line=$(run "velmora-$m" velmora_mode "$in" "$work/out.$m.y4m" "$m")
    results+=("$line $(score "$work/out.$m.y4m" "$truth")")
  done
  for r in "${results[@]}"; do
    set -- $r
    local spf
    spf=$(echo "$2 / $frames" | bc -l)
    printf '  %-16s %10.4f %8.2f %9s %8s\n' "$1" "$spf" "$(echo "$spf / $yadif_spf" | bc -l)" "$3" "$4"
  done
  rm -f "$work"/out.*.y4m "$prog"
}

for clip in ${clips[@]+"${clips[@]}"}; do
  compare_clip "$clip" "$FRAMES" "$MODES"
done

if [ "$SYNTH1080" = 1 ]; then
  synth="$work/synth1080.y4m"
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=50" \
    -frames:v $((SYNTH_FRAMES * 2)) -pix_fmt yuv420p -f yuv4mpegpipe "$synth"
  compare_clip "$synth" "$SYNTH_FRAMES" "off"
fi
