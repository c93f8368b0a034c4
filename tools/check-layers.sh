#!/usr/bin/env bash
# Includes run downward only: a floor folder may include its own files and those of the
# floors listed before it. No product file includes test infrastructure (testing/) or
# maintainer tools (tools/). An include this check cannot place (another folder, a path
# that climbs out with "..", a bare name) fails as well unless it is a generated header
# named below, so a new folder has to be put on a floor before product code may use it.
# Prints every offending include and fails on any.
#   bash tools/check-layers.sh               checks this tree
#   bash tools/check-layers.sh --self-test   checks that trees with one bad include fail
set -uo pipefail
cd "$(dirname "$0")/.."

floors=(host bridge webview2 services overlay daemon app)
# Product folders that are not floors: they include only their own files, never the ones
# of the folders that only tests and maintainers use.
others=(companion hud installer)
forbidden=(testing tools)
# Headers the build writes into its own generated/ folder, reached by bare name.
generated=(version.h)

in_list() {
  local needle=$1 item
  shift
  for item in "$@"; do [ "$item" = "$needle" ] && return 0; done
  return 1
}

# Quoted and angle includes of C++, MQL5 and resource files, NSIS !include and File lines
# and script imports, as "file:line:kind:target" where kind is < for an angle include.
includes_of() {
  local dir=$1
  [ -d "$dir" ] || return 0
  grep -rnE --include='*.cpp' --include='*.h' --include='*.rc' --include='*.mqh' \
    --include='*.mq5' --include='*.nsi' --include='*.nsh' --include='*.js' \
    '^[[:space:]]*(#[[:space:]]*include|!include|File)[[:space:]]|^[[:space:]]*import[[:space:]].*from[[:space:]]' \
    "$dir" 2>/dev/null |
    sed -nE -e 's/^([^:]*:[0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*<([^>]+)>.*$/\1:<:\2/p' \
      -e 't' -e 's/^([^:]*:[0-9]+):.*["'"'"']([^"'"'"']+)["'"'"'][^"'"'"']*$/\1:":\2/p'
}

check_tree() {
  local status=0 i dir file line kind target top
  for ((i = 0; i < ${#floors[@]}; i++)); do
    dir=${floors[$i]}
    local allowed=("${floors[@]:0:$((i + 1))}")
    while IFS=: read -r file line kind target; do
      [ -n "$file" ] || continue
      case "$target" in
        */*) top=${target%%/*} ;;
        *)
          [ "$kind" = "<" ] && continue  # a system header such as <windows.h>
          if ! in_list "$target" "${generated[@]}"; then
            echo "layers: $file:$line includes \"$target\", which names no floor and no generated header"
            status=1
          fi
          continue
          ;;
      esac
      if in_list "$top" "${forbidden[@]}"; then
        echo "layers: $file:$line includes $target, which is not product code"
        status=1
      elif in_list "$top" "${allowed[@]}"; then
        :
      elif in_list "$top" "${floors[@]}"; then
        echo "layers: $file:$line includes $top/, which sits above $dir/"
        status=1
      elif [ "$kind" = "<" ]; then
        :  # a system header such as <sys/stat.h>
      else
        echo "layers: $file:$line includes $target, which is on no floor"
        status=1
      fi
    done < <(includes_of "$dir")
  done
  for dir in "${others[@]}"; do
    while IFS=: read -r file line _ target; do
      [ -n "$file" ] || continue
      # The path as written, with any leading "./" or "../" steps dropped.
      top=$(sed -E 's#^(\.\.?/)+##; s#/.*##' <<<"$target")
      if in_list "$top" "${forbidden[@]}"; then
        echo "layers: $file:$line includes $target, which is not product code"
        status=1
      fi
    done < <(includes_of "$dir")
  done
  return $status
}

if [ "${1:-}" = "--self-test" ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  # Each case: a file of the temp tree and the one include line it gets.
  bad=('host/a.cpp|#include "bridge/b.h"'
       'overlay/a.cpp|#include "testing/webview2-runtime/json.h"'
       'app/a.cpp|#include "tools/x.h"'
       'services/a.cpp|#include "somewhere/x.h"'
       'daemon/a.cpp|#include "../testing/x.h"'
       'bridge/a.h|#include "unlisted.h"'
       'webview2/a.cpp|#include <testing/x.h>'
       'companion/native/a.cpp|#include "../../testing/terminal-sim/x.h"'
       'companion/mql5/A.mqh|#include "tools/x.mqh"'
       'installer/a.nsi|!include "../testing/x.nsh"')
  good=('host/a.cpp|#include "host/a.h"'
        'app/a.cpp|#include "overlay/window.h"'
        'app/a.rc|#include "version.h"'
        'services/a.cpp|#include <sys/stat.h>'
        'overlay/a.cpp|#include <windows.h>'
        'companion/native/a.cpp|#include "mql5_shim.h"'
        'installer/a.nsi|!include "MUI2.nsh"')
  run_case() {
    local path=${1%%|*} text=${1#*|}
    rm -rf "$tmp/tree" && mkdir -p "$tmp/tree/$(dirname "$path")"
    printf '%s\n' "$text" >"$tmp/tree/$path"
    (cd "$tmp/tree" && check_tree >/dev/null)
  }
  for c in "${bad[@]}"; do
    if run_case "$c"; then echo "layers self-test: missed: $c"; exit 1; fi
  done
  for c in "${good[@]}"; do
    if ! run_case "$c"; then echo "layers self-test: false alarm: $c"; exit 1; fi
  done
  exit 0
fi

check_tree
