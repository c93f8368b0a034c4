// QV_TradeResult_<id>.txt from the companion. Input: the id its file name carries, a line
// feed, the file's bytes. A result is taken only whole: its last line is END=1, and no
// prefix of a file means anything but what the whole file means. And write -> read: the
// result the companion's own MQL5 code writes for any outcome is read back as that outcome.
#include <cstring>

#include "bridge/order_files.h"
#include "fuzz_support.h"
#include "mql5_shim.h"
// The shim comes first: the MQL5 include needs its types.
#include "QV_Orders.mqh"

namespace {

bool Same(const TradeResult& a, const TradeResult& b) {
  return a.status == b.status && a.ticket == b.ticket && a.price == b.price &&
         a.volume == b.volume && a.reason == b.reason;
}

std::string LastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  const std::size_t at = text.find_last_of('\n');
  std::string line = at == std::string::npos ? text : text.substr(at + 1);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
    line.pop_back();
  std::size_t lead = 0;
  while (lead < line.size() && (line[lead] == ' ' || line[lead] == '\t')) ++lead;
  return line.substr(lead);
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  std::size_t lead = 0;
  while (lead < text.size() && (text[lead] == ' ' || text[lead] == '\t')) ++lead;
  return text.substr(lead);
}

// The companion writes a result for every outcome it reaches; the workspace must read each.
void CompanionResultReadsBack(const std::string& id, const std::string& bytes) {
  if (!IsValidOrderId(id)) return;
  QvOutcome out;
  QvOrders::ClearOutcome(out);
  const unsigned char pick = bytes.empty() ? 0 : static_cast<unsigned char>(bytes[0]);
  out.status = pick % 3 == 0 ? QV_REJECTED : pick % 3 == 1 ? QV_EXECUTED : QV_UNKNOWN;
  out.ok = out.status == QV_EXECUTED;
  std::uint64_t ticket = 0;
  std::memcpy(&ticket, bytes.data() + std::min<std::size_t>(1, bytes.size()),
              std::min<std::size_t>(8, bytes.size() > 1 ? bytes.size() - 1 : 0));
  out.ticket = ticket >> 1;
  out.price = static_cast<double>(ticket % 100000) / 8;
  out.volume = static_cast<double>(ticket % 1000) / 100;
  out.reason = bytes.size() > 9 ? bytes.substr(9) : std::string();
  const std::string body = "ID=" + id + "\n" + QvOrders::OutcomeLines(out) + "\nEND=1";
  const std::optional<TradeResult> read = ParseTradeResult(body, id);
  FUZZ_CHECK(read.has_value());
  if (!read) return;
  if (out.status == QV_EXECUTED) {
    FUZZ_CHECK(read->status == TradeResult::Status::kExecuted);
    FUZZ_CHECK(read->ticket == std::to_string(out.ticket));
    FUZZ_CHECK(read->price == (out.price > 0 ? QvText::Num(out.price, 8) : std::string()));
    FUZZ_CHECK(read->volume == (out.volume > 0 ? QvText::Num(out.volume, 2) : std::string()));
    return;
  }
  FUZZ_CHECK(read->status == (out.status == QV_UNKNOWN ? TradeResult::Status::kUnknown
                                                       : TradeResult::Status::kRejected));
  std::string reason = out.reason.substr(0, 200);
  for (char& c : reason) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  reason = Trimmed(reason);
  for (char& c : reason) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  FUZZ_CHECK(read->reason == reason);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = fuzz::Bytes(data, size);
  const std::size_t cut = input.find('\n');
  const std::string id = cut == std::string::npos ? input : input.substr(0, cut);
  const std::string text = cut == std::string::npos ? std::string() : input.substr(cut + 1);

  CompanionResultReadsBack(id, text);
  const std::optional<TradeResult> result = ParseTradeResult(text, id);
  if (!result) return 0;
  FUZZ_CHECK(LastLine(text) == "END=1");
  FUZZ_CHECK(result->reason.size() <= 200);
  if (result->status == TradeResult::Status::kExecuted) FUZZ_CHECK(!result->ticket.empty());
  for (unsigned char c : result->ticket + result->reason) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
  for (const std::size_t n : fuzz::CutPoints(text)) {
    const std::optional<TradeResult> half = ParseTradeResult(text.substr(0, n), id);
    FUZZ_CHECK(!half || Same(*half, *result));
  }
  return 0;
}
