// The outbox's id rules and QV_Order_<id>.csv. Input: an id, a line feed, then bytes cut at
// line feeds into the order's fields. Ids name files safely and come back from their names;
// the state file reads back its number; and write -> read: an order file the workspace
// writes for any order it would send is read by the terminal companion's own parser (the
// MQL5 code, built over the shim) as exactly that order.
#include <cstring>

#include "bridge/order_files.h"
#include "fuzz_support.h"
#include "host/ascii_text.h"
#include "mql5_shim.h"
// The shim comes first: the MQL5 include needs its types.
#include "QV_Orders.mqh"

namespace {

std::uint64_t Word(const std::string& bytes, std::size_t at) {
  std::uint64_t value = 0;
  if (at < bytes.size()) {
    std::memcpy(&value, bytes.data() + at, std::min<std::size_t>(8, bytes.size() - at));
  }
  return value;
}

// A field the workspace could send: no comma, no control byte, no blank at either end (the
// companion trims fields, and every sender's fields come without).
bool Sendable(const std::string& field) {
  if (!field.empty() && (field.front() == ' ' || field.back() == ' ')) return false;
  for (const unsigned char c : field) {
    if (c == ',' || c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = fuzz::Bytes(data, size);
  const std::vector<std::string> lines = fuzz::Split(input, '\n');
  const std::string& id = lines[0];

  // An id names files: only the safe characters, and its file name gives it back.
  if (IsValidOrderId(id)) {
    FUZZ_CHECK(id.size() <= 64);
    FUZZ_CHECK(IdFromFileName(OrderFileName(id), L"QV_Order_", L".csv") == id);
    FUZZ_CHECK(IdFromFileName(TradeResultFileName(id), L"QV_TradeResult_", L".txt") == id);
  } else {
    FUZZ_CHECK(!IdFromFileName(OrderFileName(id), L"QV_Order_", L".csv"));
  }

  // Ids only grow and never fall behind the clock; the state file reads back its value.
  const std::uint64_t last = Word(input, 0);
  const std::uint64_t now = Word(input, 8);
  const std::uint64_t next = NextOrderId(last, now);
  FUZZ_CHECK(next >= now && (next > last || last == UINT64_MAX));
  FUZZ_CHECK(ParseOutboxState(OutboxStateBody(next)) == next);
  const std::optional<std::uint64_t> state = ParseOutboxState(input);
  if (state) FUZZ_CHECK(ParseOutboxState(OutboxStateBody(*state)) == state);

  // The order: fields from the lines after the id, added lines from the words.
  const auto line = [&](std::size_t i) { return i < lines.size() ? lines[i] : std::string(); };
  Order sent;
  sent.id = id;
  sent.action = line(1);
  sent.size = line(2);
  sent.symbol = line(3);
  sent.sl = line(4);
  sent.tp = line(5);
  sent.account = DigitsOf(line(6)).substr(0, 20);
  // The companion holds chart and sequence as signed 64-bit numbers.
  sent.chart = Word(input, 16) >> 1;
  sent.seq = Word(input, 24) >> 1;
  static const char* const kKinds[] = {"", "PRICE", "DISTANCE"};
  sent.slKind = kKinds[Word(input, 32) % 3];
  sent.tpKind = kKinds[Word(input, 40) % 3];
  const std::optional<Order> split = SplitOrderRecord(OrderRecordLine(sent));
  const bool sendable = IsValidOrderId(sent.id) && QvOrders::KnownAction(sent.action) &&
                        !sent.symbol.empty() && Sendable(sent.size) && Sendable(sent.symbol) &&
                        Sendable(sent.sl) && Sendable(sent.tp);
  if (sendable) {
    FUZZ_CHECK(split && OrderRecordLine(*split) == OrderRecordLine(sent));
    QvOrder read;
    string why;
    FUZZ_CHECK(QvOrders::ParseFile(OrderFileBody(sent), read, why));
    FUZZ_CHECK(read.id == sent.id && read.action == sent.action && read.size == sent.size &&
               read.symbol == sent.symbol && read.sl == sent.sl && read.tp == sent.tp);
    FUZZ_CHECK(read.account == sent.account);
    FUZZ_CHECK(static_cast<std::uint64_t>(read.chart) == sent.chart);
    FUZZ_CHECK(static_cast<std::uint64_t>(read.seq) == sent.seq);
    FUZZ_CHECK(read.slKind == sent.slKind && read.tpKind == sent.tpKind);
    // The first version's slot: the record line alone.
    FUZZ_CHECK(QvOrders::Parse(OrderRecordLine(sent), read, why) && read.tp == sent.tp);
  }
  return 0;
}
