#pragma once
// The order outbox: every order of every workspace process goes through it, so ids are
// unique across processes and restarts and the terminal companion gets each order once.
#include <cstdint>
#include <optional>
#include <string>

#include "bridge/order_files.h"
#include "bridge/write_status.h"

struct OrderSend {
  WriteStatus status;   // ok: the order file is in place (and QV_TradeSignal.csv holds it)
  std::string id;       // the id the order went out with (empty when none was assigned)
  std::string record;   // the record as written
  std::string step;     // what could not be done, for the log line (also set on a success
                        // whose QV_TradeSignal.csv copy failed)
  std::string refusal;  // why it was not sent when no Windows error is the reason
  std::string account;  // the login the order names (empty: any companion may take it)
};

// Where an order comes from and what its levels are, as far as the sender knows.
struct OrderRoute {
  std::uint64_t chart = 0;     // the chart whose page sent it; 0 for Telegram
  std::string slKind, tpKind;  // "PRICE", "DISTANCE" or empty (unmarked)
};

// Takes the outbox lock shared by every process of the log-on, assigns the next id (or
// keeps the record's own id when keepRecordId, for deterministic AutoTrader ids) and the
// next sequence number, records them in the outbox state file, and writes
// QV_Order_<id>.csv. While current companions run (QV_Chart_<hwnd>.txt) the order names
// its account (the chart's, or for route.chart 0 the one chosen for Telegram), its chart,
// its sequence and the levels' kinds in added lines, and QV_TradeSignal.csv is left alone;
// otherwise the slot is replaced with the same record, as before. An account with no
// running companion refuses the order (refusal). Blocks up to several seconds: worker
// threads only. When the signal file cannot be replaced the order file is taken back
// (unless a companion already claimed it), so a failure means no companion got the order.
[[nodiscard]] OrderSend SendOrder(const std::string& record, bool keepRecordId,
                                  const OrderRoute& route = {});

// The companion's result for the order when it is there and whole; the file is deleted
// once read. nullopt while there is none (yet).
[[nodiscard]] std::optional<TradeResult> TakeTradeResult(const std::string& id);

// QV_Protocol.txt, so a companion knows to take orders from order files.
[[nodiscard]] WriteStatus WriteProtocolFile();

// Removes results, order files and taken order files older than an hour; the daemon
// calls it now and then.
void SweepStaleOrderFiles();
