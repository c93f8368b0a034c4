#pragma once
// The order outbox: every order of every workspace process goes through it, so ids are
// unique across processes and restarts and the terminal companion gets each order once.
#include <cstdint>
#include <optional>
#include <string>

#include "bridge/file_replace.h"
#include "bridge/order_files.h"

struct OrderSend {
  WriteStatus status;   // ok: the order file is in place (and QV_TradeSignal.csv holds it)
  Order order;          // the order as it went out: its id (empty when none was assigned)
                        // and, once sent, the account, chart, sequence and kinds it names
  std::string record;   // the record as written
  std::string step;     // what could not be done, for the log line (also set on a success
                        // whose QV_TradeSignal.csv copy failed)
  std::string refusal;  // why it was not sent when no Windows error is the reason
};

// Takes the outbox lock shared by every process of the log-on, assigns the next id (or
// keeps the order's own id when keepOrderId, for deterministic AutoTrader ids) and the
// next sequence number, records them in the outbox state file, and writes
// QV_Order_<id>.csv. While current companions run (QV_Chart_<hwnd>.txt) the order names
// its account (that of order.chart, the chart whose page sent it, or for chart 0, Telegram,
// the one chosen for Telegram), its chart, its sequence and the levels' kinds in added
// lines, and QV_TradeSignal.csv is left alone; otherwise the slot is replaced with the same
// record, as before. An account with no running companion refuses the order (refusal).
// Blocks up to several seconds: worker threads only. When the signal file cannot be
// replaced the order file is taken back (unless a companion already claimed it), so a
// failure means no companion got the order.
[[nodiscard]] OrderSend SendOrder(const Order& order, bool keepOrderId);

// The companion's result for the order when it is there and whole; the file is deleted
// once read. nullopt while there is none (yet).
[[nodiscard]] std::optional<TradeResult> TakeTradeResult(const std::string& id);

// QV_Protocol.txt, so a companion knows to take orders from order files.
[[nodiscard]] WriteStatus WriteProtocolFile();

// Removes results, order files and taken order files older than an hour; the daemon
// calls it now and then.
void SweepStaleOrderFiles();
