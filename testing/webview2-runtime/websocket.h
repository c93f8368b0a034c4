#pragma once
// Client side of RFC 6455 as the DevTools link needs it: the upgrade request, the reply
// check, masked client frames, and a decoder for the server's frames (16- and 64-bit
// lengths, fragmented messages, interleaved control frames).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ws {

enum Opcode : std::uint8_t {
  kContinuation = 0x0,
  kText = 0x1,
  kBinary = 0x2,
  kClose = 0x8,
  kPing = 0x9,
  kPong = 0xA,
};

// Upgrade request for ws://<hostPort><path>. No Origin header: Chromium then needs no
// --remote-allow-origins.
[[nodiscard]] std::string HandshakeRequest(std::string_view hostPort, std::string_view path,
                                           std::string_view keyBase64);

enum class HandshakeStatus { kIncomplete, kAccepted, kRefused };
// Looks at the bytes received so far. On kAccepted, *headerBytes is the length of the reply
// head; bytes after it already belong to the first frames.
[[nodiscard]] HandshakeStatus ParseHandshakeReply(std::string_view received,
                                                  std::size_t* headerBytes);

// One final client frame, masked with the given key.
[[nodiscard]] std::string EncodeClientFrame(Opcode opcode, std::string_view payload,
                                            const std::array<std::uint8_t, 4>& mask);

struct Message {
  Opcode opcode = kText;  // kText, kBinary, kPing, kPong or kClose
  std::string payload;
};

class Decoder {
 public:
  // Messages larger than this end the link instead of growing without bound.
  static constexpr std::uint64_t kMaxMessageBytes = 512ull * 1024 * 1024;

  void Feed(std::string_view bytes);
  enum class Result { kMessage, kNeedMore, kProtocolError };
  // Takes the next complete message (data messages reassembled from their fragments).
  [[nodiscard]] Result Next(Message* out);

 private:
  std::string buffer_;
  std::size_t offset_ = 0;
  std::string fragments_;
  Opcode fragmentOpcode_ = kText;
  bool inFragmentedMessage_ = false;
  bool failed_ = false;
};

}  // namespace ws
