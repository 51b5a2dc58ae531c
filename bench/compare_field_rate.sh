#!/usr/bin/env bash
# Field-rate peer comparison, run by hand: `velmora --rate field` in every mode
# against ffmpeg's yadif and bwdif with mode=send_field, scored against the
# progressive truth: output frame k against progressive frame k, every k.
#
#   bench/compare_field_rate.sh [CLIP.y4m ...]   (default: /tmp/footage/*.y4m)
#
# Each clip is cut to its first FRAMES progressive frames (default 32),
# scaled to WIDTH pixels wide (default 640), and woven by `velmora interlace`
# (upper field from frame 2i, lower from 2i + 1). Prints one line per clip
# and method: clip, method, output frames, PSNR-Y, SSIM-Y (ffmpeg's psnr and
# ssim filters). VELMORA: the command (default build/cli/velmora).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
V=${VELMORA:-$here/build/cli/velmora}
FRAMES=${FRAMES:-32}; WIDTH=${WIDTH:-640}
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
score() { # truth candidate
  local p s
  p=$(ffmpeg -nostdin -i "$2" -i "$1" -lavfi "[0:v][1:v]psnr" -f null - 2>&1 | grep -o 'y:[0-9.inf]*' | tail -1 | cut -c3-)
  s=$(ffmpeg -nostdin -i "$2" -i "$1" -lavfi "[0:v][1:v]ssim" -f null - 2>&1 | grep -o 'Y:[0-9.]*' | tail -1 | cut -c3-)
  echo "$p $s"
}
frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
[ $# -gt 0 ] || set -- /tmp/footage/*.y4m
for input in "$@"; do
  clip=$(basename "$input" .y4m)
  prog=$work/prog.y4m; woven=$work/woven.y4m
  ffmpeg -nostdin -v error -y -i "$input" -frames:v "$FRAMES" -vf "scale=$WIDTH:-4:flags=bicubic" \
    -f yuv4mpegpipe "$prog"
  "$V" interlace "$prog" "$woven" >/dev/null
  for m in off fast better best; do
    "$V" --quiet --rate field --motion "$m" "$woven" "$work/out.y4m"
    echo "$clip velmora-$m $(frames "$work/out.y4m") $(score "$prog" "$work/out.y4m")"
  done
  for f in yadif bwdif; do
    ffmpeg -nostdin -v error -y -i "$woven" -vf "$f=mode=send_field:parity=tff" -f yuv4mpegpipe "$work/out.y4m"
    echo "$clip $f $(frames "$work/out.y4m") $(score "$prog" "$work/out.y4m")"
  done
done
