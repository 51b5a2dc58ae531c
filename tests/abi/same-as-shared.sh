#!/usr/bin/env bash
# The probe (in this folder) and the fact list and tables (in sdk/layout/) are
# copies of the shared layout reference kept beside the project; when that is
# present, every copy must equal it byte for byte. Exit 77 (skipped) when it
# is absent.
# Usage: same-as-shared.sh PROBE_DIR TABLE_DIR SHARED_DIR
set -u
probe="$1" tables="$2" shared="$3"
[ -d "$shared" ] || { echo "no shared layout reference at $shared: skipped"; exit 77; }
status=0
for f in "$probe"/probe_common.h "$probe"/probe_project.cpp "$tables"/facts.def "$shared"/host-*.txt; do
    name="$(basename "$f")"
    copy="$probe"; case "$name" in facts.def|host-*) copy="$tables" ;; esac
    if ! cmp -s "$shared/$name" "$copy/$name"; then
        echo "$copy/$name differs from $shared/$name"
        status=1
    fi
done
exit $status
