#!/bin/sh
# The velmora program end to end on raw bytes: standard input and output carry
# frames unchanged (bytes 0x0A, 0x0D and 0x1A included), a file output
# replaces an existing file whole and leaves no temporary file, also when
# Ctrl+C ends the run, and the plug-in is found beside the program.
#   EndToEnd.sh WORK_FOLDER VELMORA_COMMAND...
set -eu
work=$1
shift
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# Three 16x8 4:4:4 frames whose samples run through every byte value.
i=0
{
    printf 'YUV4MPEG2 W16 H8 F25:1 It A1:1 C444\n'
    for frame in 1 2 3; do
        printf 'FRAME\n'
        n=0
        while [ $n -lt 384 ]; do
            printf "\\$(printf %03o $(((i * 37 + 11) % 256)))"
            i=$((i + 1))
            n=$((n + 1))
        done
    done
} >in.y4m

"$@" --quiet --motion fast in.y4m file.y4m
"$@" --quiet --motion fast - - <in.y4m >piped.y4m
cmp file.y4m piped.y4m
[ "$(wc -c <file.y4m)" -eq "$(wc -c <in.y4m)" ]

echo "an older output" >replaced.y4m
"$@" --quiet --motion fast in.y4m replaced.y4m
cmp file.y4m replaced.y4m

# A failed run (a header that is not Y4M) keeps the old file as it was.
echo "not a stream" >bad.y4m
if "$@" --quiet bad.y4m replaced.y4m 2>/dev/null; then
    echo "a malformed input was accepted" >&2
    exit 1
fi
cmp file.y4m replaced.y4m

# Ctrl+C while the output is being written (SIGINT, which wine hands to the
# program as a console control event): the run ends without touching the old
# file. The input stays open after one frame, so the run is still going when
# its temporary file shows. A background job would ignore SIGINT.
poll() { # poll TRIES COMMAND...: until COMMAND succeeds, 0.1 s apart
    tries=$1
    shift
    until "$@"; do
        tries=$((tries - 1))
        [ $tries -gt 0 ] || return 1
        sleep 0.1
    done
}
temporaryShows() { ls -A | grep -q '^\.replaced\.y4m\.tmp-'; }
temporaryGone() { ! temporaryShows; }
mkfifo feed
env --default-signal=INT "$@" --quiet --motion fast - replaced.y4m <feed &
run=$!
exec 3>feed
head -c $(($(head -n 1 in.y4m | wc -c) + 6 + 384)) in.y4m >&3
if ! poll 3000 temporaryShows; then
    kill $run
    echo "no temporary output file appeared" >&2
    exit 1
fi
kill -INT $run
status=0
wait $run || status=$?
exec 3>&-
rm feed
# 1 and 2 are the program's own failures; Linux gives 130, wine 0.
[ $status -ne 1 ] && [ $status -ne 2 ] || { echo "the run failed instead (status $status)" >&2; exit 1; }
cmp file.y4m replaced.y4m
# Under wine the file goes when the server closes the ended process's handles.
poll 300 temporaryGone || { echo "Ctrl+C left the temporary file" >&2; exit 1; }

leftovers=$(ls -A | grep -c tmp || true)
[ "$leftovers" -eq 0 ] || { ls -A >&2; exit 1; }
echo "velmora end to end: passed"
