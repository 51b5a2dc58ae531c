#!/usr/bin/env bash
# Fails on any #include that runs against the layers: a plug-in folder
# includes only itself and the folders below it
#   sdk -> parallel -> image -> motion -> deinterlace -> host
# (resources/, the registration, sits beside host/ and includes only sdk/);
# the reference host and the command reach the plug-in only through
# PluginEntry, so they include sdk/ and themselves (cli/ also refhost/).
# Quoted includes must name their folder: "folder/File.h", never "../".
# Usage: scripts/check-layers.sh [source root]
set -euo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root"

allowed() {
  case $1 in
    sdk) echo "sdk" ;;
    parallel) echo "sdk parallel" ;;
    image) echo "sdk parallel image" ;;
    motion) echo "sdk parallel image motion" ;;
    deinterlace) echo "sdk parallel image motion deinterlace" ;;
    host) echo "sdk parallel image motion deinterlace host resources" ;;
    resources) echo "sdk resources" ;;
    refhost) echo "sdk refhost" ;;
    cli) echo "sdk refhost cli" ;;
  esac
}

status=0
for folder in sdk parallel image motion deinterlace host resources refhost cli; do
  [ -d "$folder" ] || continue
  ok=" $(allowed "$folder") "
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    [[ ${rest#*:} =~ \"([^\"]*)\" ]] && target=${BASH_REMATCH[1]}
    case $target in
      ../* | */../*)
        echo "$file:$line: \"$target\" climbs out of its folder"
        status=1
        continue ;;
      */*) ;;
      *)
        # A bare name is a file of the including folder.
        continue ;;
    esac
    if [[ $ok != *" ${target%%/*} "* ]]; then
      echo "$file:$line: $folder/ may not include \"$target\" (allowed: $(allowed "$folder"))"
      status=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$folder" \
             --include='*.h' --include='*.hpp' --include='*.c' --include='*.cpp' || true)
done
[ $status -eq 0 ] && echo "layers: every include runs downward"
exit $status
