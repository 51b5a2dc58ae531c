#!/usr/bin/env bash
# Prints one SHA-256 line per velmora output over a matrix of modes, pixel
# formats, protocols and inputs, so that two builds can be compared for
# bit-identical results:
#   scripts/output-digests.sh build > before.txt   # on the old tree
#   scripts/output-digests.sh build > after.txt    # on the new tree
#   diff before.txt after.txt
# Inputs: short, downscaled cuts of the footage clips, woven into interlaced
# streams (8-bit and 16-bit, both field orders). Needs ffmpeg.
# Env: FOOTAGE (default ../shared/footage), WORK (scratch folder),
#      CLIPS (names, default "bbb-25fps-wakeup friday-30fps-faces"),
#      FRAMES (progressive frames per cut, default 12), WIDTH (default 256).
set -euo pipefail
BUILD=${1:?usage: output-digests.sh BUILD_DIR}
VELMORA=("$BUILD/cli/velmora")
# A Windows build's velmora.exe runs under wine, in the build's own prefix.
if [ -f "$BUILD/cli/velmora.exe" ]; then
  loader=/usr/lib/wine/wine
  file "$BUILD/cli/velmora.exe" | grep -q 'PE32+' && loader=/usr/lib/wine/wine64
  VELMORA=("$(cd "$(dirname "$0")/.." && pwd)/cmake/wine-run.sh" "$loader" "$(cd "$BUILD" && pwd)/wine"
           "$BUILD/cli/velmora.exe")
elif [ ! -x "$VELMORA" ]; then
  echo "no $VELMORA" >&2; exit 2
fi
FOOTAGE=${FOOTAGE:-$(cd "$(dirname "$0")/../.." && pwd)/shared/footage}
WORK=${WORK:-$(mktemp -d)}
CLIPS=${CLIPS:-"bbb-25fps-wakeup friday-30fps-faces"}
FRAMES=${FRAMES:-12}
WIDTH=${WIDTH:-256}
mkdir -p "$WORK"

inputs=()
for clip in $CLIPS; do
  for depth in 8 16; do
    pix=yuv420p; [ "$depth" = 16 ] && pix=yuv420p16le
    prog="$WORK/$clip-$depth-prog.y4m"
    if [ ! -s "$prog" ]; then
      ffmpeg -nostdin -v error -y -i "$FOOTAGE/$clip.mp4" -frames:v "$FRAMES" -an \
        -vf "scale=$WIDTH:-4:flags=bicubic,format=$pix,setfield=prog" \
        -strict -1 -f yuv4mpegpipe "$prog"
    fi
    woven="$WORK/$clip-$depth-upper.y4m"
    [ -s "$woven" ] || "${VELMORA[@]}" interlace "$prog" "$woven" >/dev/null
    lower="$WORK/$clip-$depth-lower.y4m"
    [ -s "$lower" ] || sed '1s/ It / Ib /' "$woven" >"$lower"
    inputs+=("$woven" "$lower")
  done
done

digest() { sha256sum "$1" | cut -c1-16; }
for input in "${inputs[@]}"; do
  name=$(basename "$input" .y4m)
  for motion in off fast better best; do
    for format in argb bgra vuya ae16 Argb Bgra Vuya ae32 ARgb BGra VUya; do
      for protocol in smart legacy; do
        [ "$motion" = best ] && [ "$protocol" = legacy ] && continue
        out="$WORK/out.y4m"
        "${VELMORA[@]}" --quiet --threads 2 --motion "$motion" --format "$format" \
          --protocol "$protocol" "$input" "$out"
        echo "$name $motion $format $protocol $(digest "$out")"
      done
    done
    out="$WORK/out.y4m"
    "${VELMORA[@]}" --quiet --threads 2 --motion "$motion" --correct-errors "$input" "$out"
    echo "$name $motion correct-errors smart $(digest "$out")"
  done
done
