#!/bin/sh
# Runs a Windows program of the cross build under wine:
#   wine-run.sh LOADER PREFIX PROGRAM [ARGS...]
# Each build has a wine prefix of its own, made once under a lock so that
# programs started in parallel do not race to create it. The server is kept
# alive for a while between runs: starting one costs seconds, a program
# started beside a live one milliseconds, and ctest starts hundreds.
loader=$1 prefix=$2
shift 2
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}"
# Console programs only: no .NET, browser engine or desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
case "$loader" in
*64) server=/usr/lib/wine/wineserver64 ;;
*) server=/usr/lib/wine/wineserver32; export WINEARCH=win32 ;;
esac
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$(dirname "$prefix")"
    flock "$prefix.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || "$1" wineboot -i >/dev/null 2>&1' sh "$loader"
fi
"$server" -p30 >/dev/null 2>&1
exec "$loader" "$@"
