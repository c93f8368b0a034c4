#!/usr/bin/env bash
# The main job: builds if needed, then runs the daemon under Wine with its own demo
# profile, shows where the log and the bridge folder are, and follows the log.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh
bash tools/build.sh >/dev/null

# Wine keeps the display its first program saw, so the screen comes before any wine call.
if [ -z "${DISPLAY:-}" ]; then
  Xvfb :77 -screen 0 1600x1000x24 >/dev/null 2>&1 &
  export DISPLAY=:77
  for _ in $(seq 1 50); do [ -e /tmp/.X11-unix/X77 ] && break; sleep 0.1; done
fi

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

# The workspace finds our Chromium-backed WebView2 runtime the way it finds Microsoft's.
export WEBVIEW2_BROWSER_EXECUTABLE_FOLDER
WEBVIEW2_BROWSER_EXECUTABLE_FOLDER=$(winepath -w "$(pwd)/build/windows/tools/webview2-runtime/runtime")
[ -n "${QV_DEMO_HEADFUL:-}" ] && export QV_WEBVIEW2_HEADFUL=1
# Without a route to the chart site the fixture chart page stands in for it.
if ! timeout 5 bash -c 'exec 3<>/dev/tcp/www.tradingview.com/443' 2>/dev/null; then
  echo "demo: www.tradingview.com unreachable, showing the fixture chart page"
  export QV_WEBVIEW2_EXTRA_HOSTS="www.tradingview.com=$(winepath -w "$(pwd)/tests/wine/fixtures/chart-site")"
fi
bridge="$appdata/MetaQuotes/Terminal/Common/Files/Quorvale"
log="$appdata/Quorvale_Workspace_Debug.log"

wine build/windows/QuorvaleWorkspace.exe >/dev/null 2>&1 &
echo "demo: daemon started under Wine"
echo "demo: debug log     $log"
echo "demo: bridge folder $bridge"
for _ in $(seq 1 150); do [ -d "$bridge" ] && break; sleep 0.2; done

# A chart window of the "terminal" and the terminal companion that attaches the workspace
# to it, feeds it a snapshot and positions, and executes its trade signals.
coproc CHART { wine build/windows/tools/fake_chart.exe "XAUUSD,H1 (demo chart)" 2>/dev/null; }
read -r hwnd_line <&"${CHART[0]}"
hwnd=${hwnd_line#HWND }
hwnd=${hwnd%$'\r'}
if ! [[ "$hwnd" =~ ^[0-9]+$ ]]; then
  echo "demo: the stand-in chart window could not be created: $hwnd_line" >&2
  exit 1
fi
node tools/companion-sim/companion.mjs "$bridge" launch --hwnd "$hwnd" --symbol XAUUSD --interval 60 >/dev/null
node tools/companion-sim/companion.mjs "$bridge" run --symbol XAUUSD --bar-ms 60000 --tick-ms 2000 --capture-on-fill \
  >"$demo/companion.log" 2>&1 &
echo "demo: chart window $hwnd attached; companion simulator log $demo/companion.log"
node tools/demo-screenshot.mjs "$appdata" "$demo/workspace.png" >/dev/null 2>&1 &

cleanup() {
  wineserver -k 2>/dev/null || true
  kill $(jobs -p) 2>/dev/null || true
  # The runtime's Chromium is a Linux process outside the Wine prefix's wineserver.
  pkill -f -- "--user-data-dir=$demo" 2>/dev/null || true
}
trap cleanup EXIT
if [ "${QV_DEMO_SECONDS:-}" != "" ]; then
  timeout "$QV_DEMO_SECONDS" tail -n +1 -f "$log" || true
else
  tail -n +1 -f "$log"
fi
