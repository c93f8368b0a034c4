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
[ -e "$bridge/QV_Chart_5678.txt" ] && fail "the chart's account left behind"
# --orders-only (the road tests launch and snapshot the chart themselves): orders and
# positions alone, no launch request, snapshot nor kill request.
rm -f "$bridge"/QV_Launch_* "$bridge"/QV_AICopilotData* "$bridge"/QV_Kill_*
# --quotes: the paper server takes the price the chart draws (the catalog's gold is 2341.20,
# where a stop at 2640 would be above the bid).
mkdir -p "$root/quotes"
printf '2650.50 2650.68\n' >"$root/quotes/XAUUSD.txt"
"$runner" "$bridge" --chart 5679 --symbol EURUSD --orders-only --quotes "$root/quotes" --symbols PA1,PB2 \
  >"$root/out2.log" 2>&1 &
pid=$!
printf '172,SELL,0.10,EURUSD,20,40' >"$bridge/~QV_Order_172.tmp"
mv "$bridge/~QV_Order_172.tmp" "$bridge/QV_Order_172.csv"
wait_for QV_TradeResult_172.txt "STATUS=EXECUTED" 10 || fail "orders-only: not executed: $(cat "$root/out2.log")"
ticket=$(sed -n 's/^TICKET=//p' "$bridge/QV_TradeResult_172.txt")
wait_for QV_OpenPositions.json "\"ticket\":\"$ticket\"" 5 || fail "orders-only: positions lack $ticket"
grep -q "HWND=5679" "$bridge/QV_Capture_Request_5679_$ticket.txt" || fail "orders-only: no capture request"
printf '173,BUY,0.10,XAUUSD,2640,2670' >"$bridge/~QV_Order_173.tmp"
mv "$bridge/~QV_Order_173.tmp" "$bridge/QV_Order_173.csv"
wait_for QV_TradeResult_173.txt "STATUS=EXECUTED" 10 || fail "quotes: gold at its drawn price not executed: $(cat "$bridge/QV_TradeResult_173.txt")"
printf '2630.00 2630.18\n' >"$root/quotes/~XAUUSD.tmp"
mv "$root/quotes/~XAUUSD.tmp" "$root/quotes/XAUUSD.txt"
sleep 0.5
printf '174,BUY,0.10,XAUUSD,2640,0' >"$bridge/~QV_Order_174.tmp"
mv "$bridge/~QV_Order_174.tmp" "$bridge/QV_Order_174.csv"
wait_for QV_TradeResult_174.txt "REASON=stop loss 2640.00 is not below the bid 2630.00" 10 ||
  fail "quotes: a moved price not followed: $(cat "$bridge/QV_TradeResult_174.txt")"
# --symbols: symbols beyond the catalog trade too, so tests can tell orders apart by symbol;
# one the runner was not given stays unknown.
printf '175,BUY,0.10,PB2,0,0' >"$bridge/~QV_Order_175.tmp"
mv "$bridge/~QV_Order_175.tmp" "$bridge/QV_Order_175.csv"
wait_for QV_TradeResult_175.txt "STATUS=EXECUTED" 10 ||
  fail "symbols: an added symbol not traded: $(cat "$bridge/QV_TradeResult_175.txt")"
printf '176,BUY,0.10,PC3,0,0' >"$bridge/~QV_Order_176.tmp"
mv "$bridge/~QV_Order_176.tmp" "$bridge/QV_Order_176.csv"
wait_for QV_TradeResult_176.txt "STATUS=REJECTED" 10 ||
  fail "symbols: a symbol never added was traded: $(cat "$bridge/QV_TradeResult_176.txt")"
kill -TERM "$pid"
wait "$pid" || fail "orders-only: runner exit status $?"
pid=
for f in "$bridge"/QV_Launch_* "$bridge"/QV_AICopilotData* "$bridge"/QV_Kill_* "$bridge"/QV_Chart_*; do
  [ -e "$f" ] && fail "orders-only left $(basename "$f")"
done
echo "runner smoke: ok"
