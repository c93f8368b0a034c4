// The outbox's id rules and QV_Order_<id>.csv. Input: the id its file name carries, a line
// feed, the file's bytes. An order is taken only whole: a record that parses has exactly six
// clean fields, writes back to the same bytes' meaning, and no prefix of a file means
// anything but what the whole file means.
#include <cstring>

#include "bridge/order_files.h"
#include "fuzz_support.h"

namespace {

bool Same(const OrderRecord& a, const OrderRecord& b) {
  return a.id == b.id && a.action == b.action && a.size == b.size && a.symbol == b.symbol &&
         a.sl == b.sl && a.tp == b.tp;
}

std::uint64_t Word(const std::string& bytes, std::size_t at) {
  std::uint64_t value = 0;
  std::memcpy(&value, bytes.data() + at, std::min<std::size_t>(8, bytes.size() - at));
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = fuzz::Bytes(data, size);
  const std::size_t cut = input.find('\n');
  const std::string id = cut == std::string::npos ? input : input.substr(0, cut);
  const std::string text = cut == std::string::npos ? std::string() : input.substr(cut + 1);

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
  const std::uint64_t now = input.size() > 8 ? Word(input, 8) : 0;
  const std::uint64_t next = NextOrderId(last, now);
  FUZZ_CHECK(next >= now && (next > last || last == UINT64_MAX));
  FUZZ_CHECK(ParseOutboxState(OutboxStateBody(next)) == next);
  const std::optional<std::uint64_t> state = ParseOutboxState(text);
  if (state) FUZZ_CHECK(ParseOutboxState(OutboxStateBody(*state)) == state);

  const std::optional<OrderRecord> record = ParseOrderFile(text, id);
  if (record) {
    const std::string line = record->id + "," + record->action + "," + record->size + "," +
                             record->symbol + "," + record->sl + "," + record->tp;
    for (unsigned char c : line) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
    FUZZ_CHECK(fuzz::Split(line, ',').size() == 6 && record->id == id);
    const std::optional<OrderRecord> again = ParseOrderFile(OrderFileBody(line), id);
    FUZZ_CHECK(again && Same(*again, *record));
    FUZZ_CHECK(RecordId(line) == id);
    FUZZ_CHECK(RecordWithId(line, "7") == "7" + line.substr(id.size()));
    for (const std::size_t n : fuzz::CutPoints(text)) {
      const std::optional<OrderRecord> half = ParseOrderFile(text.substr(0, n), id);
      FUZZ_CHECK(!half || Same(*half, *record));
    }
  }
  return 0;
}
