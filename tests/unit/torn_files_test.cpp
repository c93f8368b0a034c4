// Torn files: every file the host reads, cut at every length, through the decoding and the
// parser the host uses. A cut file must never crash a reader, and must never lead to an
// action the whole file would not also take. Formats with an end mark (result files) refuse
// every cut; the Telegram configuration is unusable until both values are
// closed; key=value requests without an end mark keep the meaning of every complete line
// (only the cut last line may read differently, which is why their writers replace them
// whole). The table of what was checked is printed.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "bridge/order_files.h"
#include "bridge/text_encoding.h"
#include "daemon/launch_request.h"
#include "overlay/navigation_request.h"
#include "services/telegram_bot.h"
#include "services/visual_journal.h"

namespace {

// The text the host's parsers see: the file's bytes decoded as ReadTextFile does, then
// UTF-8 as WideToUtf8 gives it.
std::string AsHostReadsIt(const std::string& bytes) {
  return EncodeUtf8(
      DecodeTextFileBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

std::vector<std::string> Examples(const std::string& corpus) {
  std::vector<std::string> files;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(QV_FUZZ_CORPUS_DIR) + "/" + corpus)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

// The id line the order corpora put before the file.
std::pair<std::string, std::string> IdAndFile(const std::string& seed) {
  const std::size_t cut = seed.find('\n');
  if (cut == std::string::npos) return {seed, std::string()};
  std::string id = seed.substr(0, cut);
  if (!id.empty() && id.back() == '\r') id.pop_back();
  return {id, seed.substr(cut + 1)};
}

bool MentionsKey(std::string text, std::string key) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text.find(key) != std::string::npos;
}

struct Row {
  std::string file;
  // alone: a cut the reader takes although it refuses the whole file. A file that holds a
  // whole file and then more (lines after END=1, "END=10") has such a cut; no reader can
  // tell it from that whole file, and no writer of ours writes it.
  std::size_t examples = 0, cuts = 0, same = 0, refused = 0, differs = 0, alone = 0;
};

// meaning: what the host would do with the text (nullopt: nothing).
Row Check(const std::string& file, const std::vector<std::string>& wholes,
          const std::function<std::optional<std::string>(const std::string&)>& meaning) {
  Row row{file};
  for (const std::string& whole : wholes) {
    ++row.examples;
    const std::optional<std::string> full = meaning(whole);
    for (std::size_t n = 0; n < whole.size(); ++n) {
      ++row.cuts;
      const std::optional<std::string> half = meaning(whole.substr(0, n));
      if (!half) {
        ++row.refused;
      } else if (!full) {
        ++row.alone;
      } else if (*half == *full) {
        ++row.same;
      } else {
        ++row.differs;
      }
    }
  }
  return row;
}

std::vector<Row>& Table() {
  static std::vector<Row> rows;
  return rows;
}

class TornFiles : public ::testing::Test {
 public:
  static void TearDownTestSuite() {
    std::printf("\n%-26s %8s %6s %6s %8s %8s %6s\n", "file", "examples", "cuts", "same", "refused",
                "differs", "alone");
    for (const Row& r : Table()) {
      std::printf("%-26s %8zu %6zu %6zu %8zu %8zu %6zu\n", r.file.c_str(), r.examples, r.cuts,
                  r.same, r.refused, r.differs, r.alone);
    }
  }
};

TEST_F(TornFiles, ResultFilesAreTakenOnlyWhole) {
  Row sum{"QV_TradeResult_<id>.txt"};
  for (const std::string& seed : Examples("order_result")) {
    const auto [id, whole] = IdAndFile(seed);
    const Row row = Check(sum.file, {whole}, [&, id = id](const std::string& text) {
      std::optional<std::string> meaning;
      if (const std::optional<TradeResult> r = ParseTradeResult(AsHostReadsIt(text), id)) {
        meaning = std::to_string(static_cast<int>(r->status)) + "|" + r->ticket + "|" + r->price +
                  "|" + r->volume + "|" + r->reason;
      }
      return meaning;
    });
    EXPECT_EQ(row.differs, 0u) << "example:\n" << whole;
    sum.examples += row.examples;
    sum.cuts += row.cuts;
    sum.same += row.same;
    sum.refused += row.refused;
    sum.differs += row.differs;
    sum.alone += row.alone;
  }
  Table().push_back(sum);
}

TEST_F(TornFiles, TelegramConfigurationIsUsableOnlyWhole) {
  const Row row = Check("QV_TelegramConfig.json", Examples("telegram_config"),
                        [](const std::string& text) -> std::optional<std::string> {
                          const TelegramConfig c = ParseTelegramConfig(AsHostReadsIt(text));
                          if (!c.usable()) return std::nullopt;
                          return c.token + "|" + c.chatId;
                        });
  EXPECT_EQ(row.differs, 0u);
  Table().push_back(row);
}

// Key=value requests: a field whose key stands only on lines the cut left whole reads as in
// the whole file.
template <typename Request>
void CheckRequests(const std::string& file, const std::string& corpus,
                   const std::function<Request(const std::string&)>& parse,
                   const std::function<std::optional<std::string>(const Request&)>& action,
                   const std::vector<std::pair<std::string, std::string Request::*>>& fields) {
  const std::vector<std::string> wholes = Examples(corpus);
  for (const std::string& whole : wholes) {
    const Request full = parse(AsHostReadsIt(whole));
    for (std::size_t n = 0; n < whole.size(); ++n) {
      const std::string prefix = whole.substr(0, n);
      const Request half = parse(AsHostReadsIt(prefix));
      const std::size_t lastLine = prefix.rfind('\n');
      const std::string rest = whole.substr(lastLine == std::string::npos ? 0 : lastLine + 1);
      for (const auto& [key, member] : fields) {
        if (MentionsKey(rest, key)) continue;
        EXPECT_EQ(half.*member, full.*member) << file << " cut at " << n << ", key " << key;
      }
    }
  }
  Table().push_back(Check(
      file, wholes, [&](const std::string& text) { return action(parse(AsHostReadsIt(text))); }));
}

TEST_F(TornFiles, RequestsKeepTheMeaningOfEveryWholeLine) {
  CheckRequests<LaunchRequest>("QV_Launch_<any>.txt", "launch_request", ParseLaunchRequest,
                               [](const LaunchRequest& r) -> std::optional<std::string> {
                                 // The daemon acts only on a request that names a window.
                                 if (HandleDigits(r.handleText).empty()) return std::nullopt;
                                 return HandleDigits(r.handleText) + "|" + r.symbol + "|" +
                                        r.interval + "|" + r.theme + "|" + r.userId + "|" + r.mode;
                               },
                               {{"HWND", &LaunchRequest::handleText},
                                {"SYMBOL", &LaunchRequest::symbol},
                                {"INTERVAL", &LaunchRequest::interval},
                                {"THEME", &LaunchRequest::theme},
                                {"USER_ID", &LaunchRequest::userId},
                                {"MODE", &LaunchRequest::mode}});
  CheckRequests<CaptureRequest>(
      "QV_Capture_Request_*.txt", "capture_request",
      [](const std::string& text) {
        return ParseCaptureRequest(text, "https://cloud.example/vantrelVisualJournalApi");
      },
      [](const CaptureRequest& r) -> std::optional<std::string> {
        return r.ticket + "|" + r.symbol + "|" + r.action + "|" + r.userId + "|" + r.accountNumber +
               "|" + r.uploadUrl;
      },
      {{"TICKET", &CaptureRequest::ticket},
       {"SYMBOL", &CaptureRequest::symbol},
       {"ACTION", &CaptureRequest::action},
       {"USER_ID", &CaptureRequest::userId},
       {"ACCOUNT_NUM", &CaptureRequest::accountNumber},
       {"FIREBASE_URL", &CaptureRequest::uploadUrl}});
}

// Files without an end mark whose meaning is one or two numbers or a symbol: a cut value
// reads as a shorter one. They are counted here (and must not crash); the companion and
// the workspace replace them whole, and a reader never sees them cut.
TEST_F(TornFiles, OneValueFilesAreCountedAndReadSafely) {
  std::vector<std::string> navigations;
  for (const std::string& seed : Examples("navigation"))
    navigations.push_back(IdAndFile(seed).second);
  Table().push_back(Check(
      "QV_Nav_<hwnd>.txt", navigations, [](const std::string& text) -> std::optional<std::string> {
        const NavigationDecision d = DecideNavigation(
            DecodeTextFileBytes(reinterpret_cast<const unsigned char*>(text.data()), text.size()),
            L"NASDAQ:NDX", L"60", L"dark");
        if (!d.newSymbol) return std::nullopt;
        return d.url;
      }));
  std::vector<std::string> states;
  for (const std::string& seed : Examples("order_record")) {
    if (seed.rfind("LAST=", 0) == 0) states.push_back(IdAndFile(seed).second);
  }
  ASSERT_FALSE(states.empty());
  Table().push_back(
      Check("order_outbox.txt", states, [](const std::string& text) -> std::optional<std::string> {
        const std::optional<std::uint64_t> last = ParseOutboxState(AsHostReadsIt(text));
        if (!last) return std::nullopt;
        return std::to_string(*last);
      }));
  // The bot's state as its writer writes it.
  Table().push_back(
      Check("telegram_state_<token>.txt",
            {TelegramStateBody({1765000123, 0}), TelegramStateBody({88, 87})},
            [](const std::string& text) -> std::optional<std::string> {
              const std::optional<TelegramBotState> state = ParseTelegramState(AsHostReadsIt(text));
              if (!state) return std::nullopt;
              return std::to_string(state->offset) + "|" + std::to_string(state->pending);
            }));
}

}  // namespace
