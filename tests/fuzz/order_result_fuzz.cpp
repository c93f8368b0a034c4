// QV_TradeResult_<id>.txt from the companion. Input: the id its file name carries, a line
// feed, the file's bytes. A result is taken only whole: its last line is END=1, and no
// prefix of a file means anything but what the whole file means.
#include "bridge/order_files.h"
#include "fuzz_support.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = fuzz::Bytes(data, size);
  const std::size_t cut = input.find('\n');
  const std::string id = cut == std::string::npos ? input : input.substr(0, cut);
  const std::string text = cut == std::string::npos ? std::string() : input.substr(cut + 1);

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
