#!/usr/bin/env bash
# Runs the layout probe built over sdk/ and compares every fact it prints with
# the host's published table for the target: sizes, alignments, offsets,
# member types, constants and callback signatures. Every difference is
# printed; any difference, a fact the probe missed or one the table lacks
# fails.
# Usage: compare-layout.sh TABLE PROBE [RUNNER...]  (RUNNER: e.g. wine for
# the Windows targets)
set -u -o pipefail
table="$1" probe="$2"
shift 2
[ -s "$table" ] || { echo "no layout table $table" >&2; exit 2; }
facts="$(mktemp)"
trap 'rm -f "$facts"' EXIT
"$@" "$probe" | tr -d '\r' >"$facts" || { echo "probe $probe failed" >&2; exit 2; }
awk '
    NR == FNR { k = $1 " " $2; v = $0; sub(/^[^ ]+ [^ ]+ /, "", v); want[k] = v; order[++n] = k; next }
    {
        k = $1 " " $2; v = $0; sub(/^[^ ]+ [^ ]+ /, "", v); seen[k] = 1
        if (!(k in want))           { printf "NOT-IN-TABLE  %-60s sdk=%s\n", k, v; bad++ }
        else if (want[k] == "NONE") { only++ }
        else if (want[k] != v)      { printf "MISMATCH      %-60s host=%s sdk=%s\n", k, want[k], v; bad++ }
    }
    END {
        for (i = 1; i <= n; i++) if (!(order[i] in seen)) { printf "NOT-PROBED    %s\n", order[i]; bad++ }
        printf "%d facts, %d mismatches, %d declared here only\n", FNR, bad + 0, only + 0
        exit bad > 0 || FNR == 0 ? 1 : 0
    }' "$table" "$facts"
