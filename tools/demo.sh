#!/usr/bin/env bash
# The demo a new user runs: builds if needed, then plays a short scenario with the daemon
# under Wine in its own demo prefix and prints each step (tools/demo/demo.mjs).
#   bash tools/demo.sh            the scenario, screenshots into .demo/screenshots, then exit
#   bash tools/demo.sh --watch    the same with the real windows on the display, kept open
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh
bash tools/build.sh >/dev/null

# Wine keeps the display its first program saw, so the screen comes before any wine call.
if [ "${1:-}" = "--watch" ] && [ -z "${DISPLAY:-}" ]; then
  echo "demo: --watch needs a display (DISPLAY is not set)" >&2
  exit 2
fi
if [ -z "${DISPLAY:-}" ]; then
  Xvfb :77 -screen 0 1600x1000x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=:77
  for _ in $(seq 1 50); do [ -e /tmp/.X11-unix/X77 ] && break; sleep 0.1; done
fi

demo=$(pwd)/.demo
export WINEPREFIX=$demo/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: the workspace needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
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
WEBVIEW2_BROWSER_EXECUTABLE_FOLDER=$(winepath -w "$(pwd)/build/windows/testing/webview2-runtime/runtime")

stop_workspace() {
  wineserver -k 2>/dev/null || true
  # The runtime's Chromium is a Linux process outside the Wine prefix's wineserver.
  pkill -f -- "--user-data-dir=$demo" 2>/dev/null || true
}
cleanup() {
  stop_workspace
  if [ -n "${xvfb_pid:-}" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
# A previous run that was cut short may have left its processes behind.
stop_workspace

# The scenario: local stand-ins of the cloud service and of Telegram, the daemon, two chart
# windows and the studio, a BUY from the HUD, the journal picture and a /status reply.
status=0
node tools/demo/demo.mjs "$appdata" "$demo" "$@" || status=$?
exit $status
