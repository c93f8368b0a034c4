#include "websocket.h"

namespace ws {

std::string HandshakeRequest(std::string_view hostPort, std::string_view path,
                             std::string_view keyBase64) {
  std::string r = "GET ";
  r.append(path);
  r += " HTTP/1.1\r\nHost: ";
  r.append(hostPort);
  r += "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: ";
  r.append(keyBase64);
  r += "\r\nSec-WebSocket-Version: 13\r\n\r\n";
  return r;
}

HandshakeStatus ParseHandshakeReply(std::string_view received, std::size_t* headerBytes) {
  const std::size_t end = received.find("\r\n\r\n");
  if (end == std::string_view::npos) {
    // A server that never ends its head must not make us buffer for ever.
    return received.size() > 64 * 1024 ? HandshakeStatus::kRefused : HandshakeStatus::kIncomplete;
  }
  *headerBytes = end + 4;
  const std::string_view status = received.substr(0, received.find("\r\n"));
  // "HTTP/1.1 101 Switching Protocols"
  const std::size_t space = status.find(' ');
  if (status.substr(0, 5) != "HTTP/" || space == std::string_view::npos ||
      status.substr(space + 1, 3) != "101" ||
      (status.size() > space + 4 && status[space + 4] != ' ')) {
    return HandshakeStatus::kRefused;
  }
  return HandshakeStatus::kAccepted;
}

std::string EncodeClientFrame(Opcode opcode, std::string_view payload,
                              const std::array<std::uint8_t, 4>& mask) {
  std::string f;
  f.reserve(payload.size() + 14);
  f.push_back(static_cast<char>(0x80 | opcode));
  const std::uint64_t n = payload.size();
  if (n < 126) {
    f.push_back(static_cast<char>(0x80 | n));
  } else if (n <= 0xFFFF) {
    f.push_back(static_cast<char>(0x80 | 126));
    f.push_back(static_cast<char>((n >> 8) & 0xFF));
    f.push_back(static_cast<char>(n & 0xFF));
  } else {
    f.push_back(static_cast<char>(0x80 | 127));
    for (int shift = 56; shift >= 0; shift -= 8)
      f.push_back(static_cast<char>((n >> shift) & 0xFF));
  }
  for (const std::uint8_t m : mask) f.push_back(static_cast<char>(m));
  for (std::size_t i = 0; i < payload.size(); ++i) {
    f.push_back(static_cast<char>(static_cast<std::uint8_t>(payload[i]) ^ mask[i % 4]));
  }
  return f;
}

void Decoder::Feed(std::string_view bytes) {
  // Drop consumed bytes once they dominate the buffer, so a long stream of small frames
  // stays linear.
  if (offset_ > 0 && offset_ * 2 >= buffer_.size()) {
    buffer_.erase(0, offset_);
    offset_ = 0;
  }
  buffer_.append(bytes);
}

Decoder::Result Decoder::Next(Message* out) {
  for (;;) {
    if (failed_) return Result::kProtocolError;
    const std::size_t avail = buffer_.size() - offset_;
    if (avail < 2) return Result::kNeedMore;
    const auto* p = reinterpret_cast<const std::uint8_t*>(buffer_.data() + offset_);
    const bool fin = (p[0] & 0x80) != 0;
    const auto opcode = static_cast<Opcode>(p[0] & 0x0F);
    const bool masked = (p[1] & 0x80) != 0;
    std::uint64_t length = p[1] & 0x7F;
    std::size_t head = 2;
    if ((p[0] & 0x70) != 0) {  // no extension was negotiated
      failed_ = true;
      continue;
    }
    if (length == 126) {
      if (avail < 4) return Result::kNeedMore;
      length = (static_cast<std::uint64_t>(p[2]) << 8) | p[3];
      head = 4;
    } else if (length == 127) {
      if (avail < 10) return Result::kNeedMore;
      length = 0;
      for (int i = 0; i < 8; ++i) length = (length << 8) | p[2 + i];
      head = 10;
    }
    const bool control = (opcode & 0x8) != 0;
    const bool known = opcode == kContinuation || opcode == kText || opcode == kBinary ||
                       opcode == kClose || opcode == kPing || opcode == kPong;
    if (!known || (control && (!fin || length > 125)) || length > kMaxMessageBytes ||
        fragments_.size() + length > kMaxMessageBytes) {
      failed_ = true;
      continue;
    }
    const std::size_t maskBytes = masked ? 4 : 0;
    if (avail < head + maskBytes + length) return Result::kNeedMore;
    std::string payload(buffer_.data() + offset_ + head + maskBytes,
                        static_cast<std::size_t>(length));
    if (masked) {
      const std::uint8_t* key = p + head;
      for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<char>(static_cast<std::uint8_t>(payload[i]) ^ key[i % 4]);
      }
    }
    offset_ += head + maskBytes + static_cast<std::size_t>(length);

    if (control) {
      out->opcode = opcode;
      out->payload = std::move(payload);
      return Result::kMessage;
    }
    if (opcode == kContinuation) {
      if (!inFragmentedMessage_) {
        failed_ = true;
        continue;
      }
      fragments_ += payload;
      if (!fin) continue;
      out->opcode = fragmentOpcode_;
      out->payload = std::move(fragments_);
      fragments_.clear();
      inFragmentedMessage_ = false;
      return Result::kMessage;
    }
    if (inFragmentedMessage_) {  // a new message before the last one ended
      failed_ = true;
      continue;
    }
    if (!fin) {
      inFragmentedMessage_ = true;
      fragmentOpcode_ = opcode;
      fragments_ = std::move(payload);
      continue;
    }
    out->opcode = opcode;
    out->payload = std::move(payload);
    return Result::kMessage;
  }
}

}  // namespace ws
