#!/usr/bin/env bash
# The reference host and the command declare everything inside namespaces of
# their own (refhost, cli): a name of theirs can then never mean something else
# in the plug-in code that the same programs link. Fails when a source file of
# refhost/ or cli/ (the main() files aside) declares anything before opening
# its folder's namespace or after closing it.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
while IFS= read -r file; do
  ns=${file%%/*}
  first=$(awk '!/^[[:space:]]*($|\/\/|#)/ { print; exit }' "$file")
  last=$(awk '!/^[[:space:]]*$/ { line = $0 } END { print line }' "$file")
  if ! [[ $first =~ ^namespace\ $ns(::[A-Za-z_]+)?\ \{$ && $last =~ ^\}\ +//\ namespace\ $ns(::[A-Za-z_]+)?$ ]]; then
    echo "$file: declarations outside namespace $ns" >&2
    status=1
  fi
done < <(find refhost cli \( -name '*.h' -o -name '*.cpp' \) ! -name main.cpp ! -path '*/tools/*' | sort)
exit $status
