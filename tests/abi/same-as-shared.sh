#!/usr/bin/env bash
# The tables and the probe in this folder are copies of the shared layout
# reference kept beside the project; when that is present, every copy must
# equal it byte for byte. Exit 77 (skipped) when it is absent.
# Usage: same-as-shared.sh COPY_DIR SHARED_DIR
set -u
copy="$1" shared="$2"
[ -d "$shared" ] || { echo "no shared layout reference at $shared: skipped"; exit 77; }
status=0
for f in facts.def probe_common.h probe_project.cpp "$shared"/host-*.txt; do
    name="$(basename "$f")"
    if ! cmp -s "$shared/$name" "$copy/$name"; then
        echo "tests/abi/$name differs from $shared/$name"
        status=1
    fi
done
exit $status
