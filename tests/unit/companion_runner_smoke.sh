#!/usr/bin/env bash
# qv_companion over a real bridge folder: launch request at start, an order file executed
# with its result and capture request, positions published, the kill request at the end.
set -uo pipefail
runner=$1
root=$(mktemp -d)
bridge=$root/Common/Files/Quorvale
mkdir -p "$bridge"
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$root"; }
trap cleanup EXIT
fail() { echo "runner smoke: $*"; ls -l "$bridge"; exit 1; }
wait_for() {  # file, text, seconds
  local deadline=$((SECONDS + $3))
  while [ $SECONDS -lt $deadline ]; do
    grep -q -- "$2" "$bridge/$1" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}
printf 'ORDER_FILES=1' >"$bridge/QV_Protocol.txt"
"$runner" "$bridge" --chart 5678 --symbol EURUSD --requotes 1 >"$root/out.log" 2>&1 &
pid=$!
wait_for QV_Launch_5678.txt "HWND=5678" 10 || fail "no launch request"
printf '171,BUY,0.10,EURUSD,20,40' >"$bridge/~QV_Order_171.tmp"
mv "$bridge/~QV_Order_171.tmp" "$bridge/QV_Order_171.csv"
wait_for QV_TradeResult_171.txt "STATUS=EXECUTED" 10 || fail "order not executed: $(cat "$root/out.log")"
ticket=$(sed -n 's/^TICKET=//p' "$bridge/QV_TradeResult_171.txt")
[ -n "$ticket" ] || fail "result without ticket"
wait_for QV_OpenPositions.json "\"ticket\":\"$ticket\"" 5 || fail "positions lack $ticket"
grep -q "HWND=5678" "$bridge/QV_Capture_Request_5678_$ticket.txt" || fail "no capture request"
grep -q "requote" "$root/out.log" || fail "the scripted requote was not retried"
[ -e "$bridge/QV_Order_171.csv" ] && fail "order file left behind"
kill -TERM "$pid"
wait "$pid" || fail "runner exit status $?"
pid=
[ -e "$bridge/QV_Kill_5678.txt" ] || fail "no kill request at the end"
echo "runner smoke: ok"
