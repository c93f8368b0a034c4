#include "testing/webview2-runtime/websocket.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// A server frame (servers never mask) with the length encoding a real server would pick.
std::string ServerFrame(std::uint8_t opcode, const std::string& payload, bool fin = true) {
  std::string f;
  f.push_back(static_cast<char>((fin ? 0x80 : 0) | opcode));
  const std::uint64_t n = payload.size();
  if (n < 126) {
    f.push_back(static_cast<char>(n));
  } else if (n <= 0xFFFF) {
    f.push_back(static_cast<char>(126));
    f.push_back(static_cast<char>(n >> 8));
    f.push_back(static_cast<char>(n & 0xFF));
  } else {
    f.push_back(static_cast<char>(127));
    for (int s = 56; s >= 0; s -= 8) f.push_back(static_cast<char>((n >> s) & 0xFF));
  }
  return f + payload;
}

std::string Unmask(const std::string& frame, std::size_t head) {
  std::string out;
  for (std::size_t i = head + 4; i < frame.size(); ++i) {
    out.push_back(static_cast<char>(frame[i] ^ frame[head + (i - head - 4) % 4]));
  }
  return out;
}

TEST(WebSocketClientFrames, AreMaskedAndPickTheLengthEncodingBySize) {
  const std::array<std::uint8_t, 4> mask{0x12, 0x34, 0x56, 0x78};
  const std::string small = ws::EncodeClientFrame(ws::kText, "hello", mask);
  EXPECT_EQ(static_cast<unsigned char>(small[0]), 0x81);
  EXPECT_EQ(static_cast<unsigned char>(small[1]), 0x80 | 5);
  EXPECT_EQ(Unmask(small, 2), "hello");
  EXPECT_NE(small.substr(6), "hello") << "payload must travel masked";

  const std::string medium(126, 'm');  // first size that needs the 16-bit length
  const std::string f16 = ws::EncodeClientFrame(ws::kText, medium, mask);
  EXPECT_EQ(static_cast<unsigned char>(f16[1]), 0x80 | 126);
  EXPECT_EQ((static_cast<unsigned char>(f16[2]) << 8) | static_cast<unsigned char>(f16[3]), 126);
  EXPECT_EQ(Unmask(f16, 4), medium);

  const std::string large(70000, 'L');  // beyond 16 bits
  const std::string f64 = ws::EncodeClientFrame(ws::kBinary, large, mask);
  EXPECT_EQ(static_cast<unsigned char>(f64[1]), 0x80 | 127);
  std::uint64_t n = 0;
  for (int i = 0; i < 8; ++i) n = (n << 8) | static_cast<unsigned char>(f64[2 + i]);
  EXPECT_EQ(n, 70000u);
  EXPECT_EQ(Unmask(f64, 10), large);
}

TEST(WebSocketDecoder, ReadsAllThreeLengthEncodingsSplitAcrossReads) {
  const std::string a = "x";
  const std::string b(300, 'b');
  const std::string c(1 << 17, 'c');
  const std::string stream =
      ServerFrame(ws::kText, a) + ServerFrame(ws::kText, b) + ServerFrame(ws::kText, c);
  ws::Decoder d;
  ws::Message m;
  // Feed in awkward pieces: one byte, then the rest of headers split mid-length.
  std::size_t fed = 0;
  std::vector<std::string> got;
  for (const std::size_t step : {1u, 2u, 3u, 7u, 1000u, 200000u}) {
    const std::size_t n = std::min(step, stream.size() - fed);
    d.Feed(std::string_view(stream).substr(fed, n));
    fed += n;
    while (d.Next(&m) == ws::Decoder::Result::kMessage) got.push_back(m.payload);
  }
  ASSERT_EQ(fed, stream.size());
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], a);
  EXPECT_EQ(got[1], b);
  EXPECT_EQ(got[2], c);
}

TEST(WebSocketDecoder, ReassemblesFragmentsAroundAnInterleavedPing) {
  ws::Decoder d;
  d.Feed(ServerFrame(ws::kText, "{\"id\":", false) + ServerFrame(ws::kPing, "p") +
         ServerFrame(ws::kContinuation, "1,", false) + ServerFrame(ws::kContinuation, "\"x\":2}"));
  ws::Message m;
  ASSERT_EQ(d.Next(&m), ws::Decoder::Result::kMessage);
  EXPECT_EQ(m.opcode, ws::kPing);
  EXPECT_EQ(m.payload, "p");
  ASSERT_EQ(d.Next(&m), ws::Decoder::Result::kMessage);
  EXPECT_EQ(m.opcode, ws::kText);
  EXPECT_EQ(m.payload, "{\"id\":1,\"x\":2}");
  EXPECT_EQ(d.Next(&m), ws::Decoder::Result::kNeedMore);
}

TEST(WebSocketDecoder, UnmasksAMaskedServerFrame) {
  const std::array<std::uint8_t, 4> mask{1, 2, 3, 4};
  ws::Decoder d;
  d.Feed(ws::EncodeClientFrame(ws::kText, "masked anyway", mask));
  ws::Message m;
  ASSERT_EQ(d.Next(&m), ws::Decoder::Result::kMessage);
  EXPECT_EQ(m.payload, "masked anyway");
}

TEST(WebSocketDecoder, RejectsFramesThatBreakTheProtocol) {
  const struct {
    const char* fault;
    std::string bytes;
  } cases[] = {
      {"continuation without a start", ServerFrame(ws::kContinuation, "x")},
      {"new message inside a fragmented one",
       ServerFrame(ws::kText, "a", false) + ServerFrame(ws::kText, "b")},
      {"fragmented control frame", ServerFrame(ws::kPing, "p", false)},
      {"control frame over 125 bytes", ServerFrame(ws::kPing, std::string(126, 'p'))},
      {"unknown opcode", ServerFrame(0x3, "x")},
      {"reserved bit without extension", std::string("\xC1\x01x", 3)},
      {"64-bit length beyond the limit",
       std::string("\x81\x7F\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 10)},
  };
  for (const auto& c : cases) {
    ws::Decoder d;
    d.Feed(c.bytes);
    ws::Message m;
    EXPECT_EQ(d.Next(&m), ws::Decoder::Result::kProtocolError) << c.fault;
    EXPECT_EQ(d.Next(&m), ws::Decoder::Result::kProtocolError) << "stays failed: " << c.fault;
  }
}

TEST(WebSocketHandshake, RequestCarriesTheUpgradeHeadersAndNoOrigin) {
  const std::string r = ws::HandshakeRequest("127.0.0.1:9222", "/devtools/browser/abc", "a2V5");
  EXPECT_EQ(r.rfind("GET /devtools/browser/abc HTTP/1.1\r\n", 0), 0u);
  for (const char* header :
       {"Host: 127.0.0.1:9222\r\n", "Upgrade: websocket\r\n", "Connection: Upgrade\r\n",
        "Sec-WebSocket-Key: a2V5\r\n", "Sec-WebSocket-Version: 13\r\n"}) {
    EXPECT_NE(r.find(header), std::string::npos) << header;
  }
  EXPECT_EQ(r.find("Origin"), std::string::npos);
  EXPECT_EQ(r.substr(r.size() - 4), "\r\n\r\n");
}

TEST(WebSocketHandshake, AcceptsOnly101AndReportsWhereFramesBegin) {
  std::size_t head = 0;
  const std::string ok = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n\r\n";
  EXPECT_EQ(ws::ParseHandshakeReply(ok.substr(0, 20), &head), ws::HandshakeStatus::kIncomplete);
  EXPECT_EQ(ws::ParseHandshakeReply(ok + "\x81\x01x", &head), ws::HandshakeStatus::kAccepted);
  EXPECT_EQ(head, ok.size());
  EXPECT_EQ(ws::ParseHandshakeReply("HTTP/1.1 403 Forbidden\r\n\r\n", &head),
            ws::HandshakeStatus::kRefused);
  EXPECT_EQ(ws::ParseHandshakeReply("HTTP/1.1 1010 X\r\n\r\n", &head),
            ws::HandshakeStatus::kRefused);
  EXPECT_EQ(ws::ParseHandshakeReply(std::string(70000, 'h'), &head), ws::HandshakeStatus::kRefused)
      << "an endless head is refused, not buffered for ever";
}

}  // namespace
