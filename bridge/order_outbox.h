#pragma once
// The order outbox: every order of every workspace process goes through it, so ids are
// unique across processes and restarts and the terminal companion gets each order once.
#include <optional>
#include <string>

#include "bridge/order_files.h"
#include "bridge/write_status.h"

struct OrderSend {
  WriteStatus status;  // ok: the order file is in place (and QV_TradeSignal.csv holds it)
  std::string id;      // the id the order went out with (empty when none was assigned)
  std::string record;  // the record as written
  std::string step;    // what could not be done, for the log line (also set on a success
                       // whose QV_TradeSignal.csv copy failed)
};

// Takes the outbox lock shared by every process of the log-on, assigns the next id (or
// keeps the record's own id when keepRecordId, for deterministic AutoTrader ids), records
// it in the outbox state file, writes QV_Order_<id>.csv and then replaces
// QV_TradeSignal.csv with the same record. Blocks up to several seconds: worker threads
// only. When the signal file cannot be replaced the order file is taken back (unless a
// companion already claimed it), so a failure means no companion got the order.
[[nodiscard]] OrderSend SendOrder(const std::string& record, bool keepRecordId);

// The companion's result for the order when it is there and whole; the file is deleted
// once read. nullopt while there is none (yet).
[[nodiscard]] std::optional<TradeResult> TakeTradeResult(const std::string& id);

// QV_Protocol.txt, so a companion knows to take orders from order files.
[[nodiscard]] WriteStatus WriteProtocolFile();

// Removes results, order files and taken order files older than an hour; the daemon
// calls it now and then.
void SweepStaleOrderFiles();
