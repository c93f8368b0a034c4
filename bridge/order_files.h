#pragma once
// The order files of the bridge, decided without touching the OS: order ids, the names of
// the per-order files, the order file body and the companion's result files. A file is
// acted on only when it is whole, so every rule here refuses a truncated text.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/bridge_names.h"

inline constexpr char kProtocolBody[] = "ORDER_FILES=1";
// The workspace's own record of the last id the outbox issued, in the shared data folder.
inline constexpr wchar_t kOutboxStateFileName[] = L"order_outbox.txt";
// Results and orders nobody collected are removed after this long.
inline constexpr std::uint64_t kStaleOrderFileAgeMs = 60ull * 60ull * 1000ull;

// 1 to 64 characters from A-Z a-z 0-9 _ - .
[[nodiscard]] bool IsValidOrderId(std::string_view id);

// max(last + 1, now): larger than every id issued before and never behind the clock, so
// two senders in one millisecond get two ids and a restart never reuses one.
[[nodiscard]] std::uint64_t NextOrderId(std::uint64_t lastIssued, std::uint64_t nowUnixMs);

// The outbox state file: "LAST=<decimal>". nullopt for anything else (a damaged file is
// reported, never silently taken as 0 while the clock still guards uniqueness).
[[nodiscard]] std::optional<std::uint64_t> ParseOutboxState(std::string_view text);
[[nodiscard]] std::string OutboxStateBody(std::uint64_t lastIssued);

// One order on its whole way: from the page's TRADE message or a Telegram command through
// the outbox into QV_Order_<id>.csv, and matched by its id against the companion's result.
struct Order {
  // The six fields of the record the companion executes.
  std::string id, action, size, symbol, sl, tp;
  // What an order file adds after its record, each on a line of its own: the login that
  // must execute it, the chart it came from, the outbox's sequence (an account executes in
  // this order) and whether the stop and target are a price or a distance. A companion of
  // the second version refuses a file with such lines as unreadable, so they are written
  // only while a current companion (one that keeps QV_Chart_<hwnd>.txt) runs.
  std::string account;
  std::uint64_t chart = 0;
  std::uint64_t seq = 0;
  std::string slKind, tpKind;  // "PRICE", "DISTANCE" or empty
};

// "id,action,size,symbol,sl,tp", no line end: the trade-signal slot's whole body.
[[nodiscard]] std::string OrderRecordLine(const Order& order);

// The six fields of a record line as the companion splits it (every comma separates);
// nullopt unless there are exactly six. Nothing else is checked.
[[nodiscard]] std::optional<Order> SplitOrderRecord(std::string_view line);

// An order file holds the record and one line feed, then the added lines that are set
// (account, chart and sequence only when not empty or 0), as KEY=VALUE lines each ended by
// a line feed, and after them END=1 (a companion takes the added lines only with it).
[[nodiscard]] std::string OrderFileBody(const Order& order);

// QV_TradeResult_<id>.txt as the companion writes it. kUnknown: the companion stopped while
// executing and could not tell whether the order filled (the trader must look).
struct TradeResult {
  enum class Status { kExecuted, kRejected, kUnknown };
  Status status = Status::kRejected;
  std::string ticket;  // for executed
  std::string price;   // optional
  std::string volume;  // optional
  std::string reason;  // for rejected and unknown, at most 200 characters
};
// Whole only with ID equal to the expected id, a known STATUS, a TICKET for EXECUTED and
// the closing line END=1 (the only END line); anything less is a file still being written.
[[nodiscard]] std::optional<TradeResult> ParseTradeResult(std::string_view text,
                                                          std::string_view expectedId);

// The id part of a file name of the given prefix and extension, or nullopt.
[[nodiscard]] std::optional<std::string> IdFromFileName(const std::wstring& name,
                                                        const std::wstring& prefix,
                                                        const std::wstring& extension);
