#!/usr/bin/env bash
# Includes run downward only: a folder may include its own files and those of the folders
# listed before it. Prints every include that runs upward or sideways and fails on any.
set -uo pipefail
cd "$(dirname "$0")/.."
floors=(host bridge webview2 services overlay daemon app)
status=0
for ((i = 0; i < ${#floors[@]}; i++)); do
  dir=${floors[$i]}
  allowed=("${floors[@]:0:$((i + 1))}")
  while IFS=: read -r file _ include; do
    target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$include")
    ok=0
    for a in "${allowed[@]}"; do [ "$a" = "$target" ] && ok=1; done
    case " ${floors[*]} " in *" $target "*) ;; *) ok=1 ;; esac  # generated or tool headers
    if [ $ok -eq 0 ]; then
      echo "layers: $file includes $target/, which sits above $dir/"
      status=1
    fi
  done < <(grep -n '#include "[^/"]*/' "$dir"/*.cpp "$dir"/*.h 2>/dev/null)
done
exit $status
