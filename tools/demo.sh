#!/usr/bin/env bash
# The main job: builds if needed, then runs the daemon under Wine with its own demo
# profile, shows where the log and the bridge folder are, and follows the log.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh
bash tools/build.sh >/dev/null

demo=$(pwd)/.demo
export WINEPREFIX=$demo/wineprefix
export WINEDEBUG=-all
mkdir -p "$demo"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "demo: creating the Wine prefix (first run only)"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
appdata_win=$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
appdata=$(winepath -u "$appdata_win" 2>/dev/null)
mkdir -p "$appdata/MetaQuotes/Terminal/Common/Files"

if [ -z "${DISPLAY:-}" ]; then
  Xvfb :77 -screen 0 1600x1000x24 >/dev/null 2>&1 &
  export DISPLAY=:77
fi
wine build/windows/QuorvaleWorkspace.exe >/dev/null 2>&1 &
echo "demo: daemon started under Wine"
echo "demo: debug log     $appdata/Quorvale_Workspace_Debug.log"
echo "demo: bridge folder $appdata/MetaQuotes/Terminal/Common/Files/Quorvale"
log="$appdata/Quorvale_Workspace_Debug.log"
for _ in $(seq 1 100); do [ -f "$log" ] && break; sleep 0.2; done
if [ "${QV_DEMO_SECONDS:-}" != "" ]; then
  timeout "$QV_DEMO_SECONDS" tail -n +1 -f "$log" || true
  wineserver -k || true
else
  tail -n +1 -f "$log"
fi
