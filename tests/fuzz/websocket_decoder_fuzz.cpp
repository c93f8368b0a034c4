// Server frames on the DevTools link. The bytes fed in two pieces, cut where the first input
// byte says, give the same messages as fed whole; and a frame the client encoder writes
// decodes to its payload.
#include <vector>

#include "fuzz_support.h"
#include "websocket.h"

namespace {

struct Outcome {
  std::vector<ws::Message> messages;
  ws::Decoder::Result last = ws::Decoder::Result::kNeedMore;
};

void Drain(ws::Decoder& decoder, Outcome* outcome) {
  for (int guard = 0; guard < 100000; ++guard) {
    ws::Message m;
    outcome->last = decoder.Next(&m);
    if (outcome->last != ws::Decoder::Result::kMessage) return;
    outcome->messages.push_back(std::move(m));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string bytes = fuzz::Bytes(data + 1, size - 1);
  const std::size_t cut = bytes.empty() ? 0 : data[0] % (bytes.size() + 1);

  ws::Decoder whole;
  whole.Feed(bytes);
  Outcome a;
  Drain(whole, &a);

  ws::Decoder pieces;
  Outcome b;
  pieces.Feed(std::string_view(bytes).substr(0, cut));
  Drain(pieces, &b);
  if (b.last != ws::Decoder::Result::kProtocolError) {
    pieces.Feed(std::string_view(bytes).substr(cut));
    Drain(pieces, &b);
  }
  FUZZ_CHECK(a.last == b.last);
  FUZZ_CHECK(a.messages.size() == b.messages.size());
  for (std::size_t i = 0; i < a.messages.size(); ++i) {
    FUZZ_CHECK(a.messages[i].opcode == b.messages[i].opcode);
    FUZZ_CHECK(a.messages[i].payload == b.messages[i].payload);
  }

  // The client's own frames (masked) read back by the decoder.
  const std::array<std::uint8_t, 4> mask = {data[0], 0x5A, 0xA5, 0x0F};
  ws::Decoder echo;
  echo.Feed(ws::EncodeClientFrame(ws::kText, bytes, mask));
  ws::Message m;
  FUZZ_CHECK(echo.Next(&m) == ws::Decoder::Result::kMessage);
  FUZZ_CHECK(m.opcode == ws::kText && m.payload == bytes);

  std::size_t head = 0;
  const ws::HandshakeStatus status = ws::ParseHandshakeReply(bytes, &head);
  if (status == ws::HandshakeStatus::kAccepted) FUZZ_CHECK(head >= 4 && head <= bytes.size());
  return 0;
}
