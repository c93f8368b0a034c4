#include "testing/webview2-runtime/devtools_link_win.h"
#include <ws2tcpip.h>

#include <array>
#include <thread>

#include "bridge/base64.h"
#include "testing/webview2-runtime/websocket.h"

namespace {

// Masks and keys only need to differ between frames, not to be secret: the link never
// leaves 127.0.0.1.
std::uint64_t NextRandom() {
  static std::mutex m;
  static std::uint64_t state = 0;
  std::lock_guard<std::mutex> lock(m);
  if (state == 0) {
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    state = static_cast<std::uint64_t>(counter.QuadPart) ^
            (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^ 0x9E3779B97F4A7C15ull;
  }
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

HRESULT LastSocketError() {
  const int error = ::WSAGetLastError();
  return error ? HRESULT_FROM_WIN32(static_cast<DWORD>(error)) : E_FAIL;
}

bool SendAll(SOCKET s, std::string_view bytes) {
  while (!bytes.empty()) {
    const int chunk = static_cast<int>(bytes.size() > (1 << 20) ? (1 << 20) : bytes.size());
    const int sent = ::send(s, bytes.data(), chunk, 0);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

std::shared_ptr<CdpIncoming> FailedReply(const char* why) {
  auto reply = std::make_shared<CdpIncoming>();
  reply->isReply = true;
  reply->failed = true;
  reply->error = why;
  return reply;
}

}  // namespace

HRESULT DevToolsLink::Connect(const DevToolsEndpoint& endpoint,
                              std::shared_ptr<DevToolsLink>* out) {
  static const int started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) return HRESULT_FROM_WIN32(static_cast<DWORD>(started));

  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return LastSocketError();
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(endpoint.port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    const HRESULT hr = LastSocketError();
    ::closesocket(s);
    return hr;
  }
  const BOOL noDelay = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof(noDelay));
  // A listener that accepts but never answers the upgrade must not hang the start.
  DWORD timeoutMs = 10000;
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof(timeoutMs));

  std::string key;
  for (int i = 0; i < 2; ++i) {
    const std::uint64_t r = NextRandom();
    key.append(reinterpret_cast<const char*>(&r), sizeof(r));
  }
  const std::string hostPort = "127.0.0.1:" + std::to_string(endpoint.port);
  if (!SendAll(s, ws::HandshakeRequest(hostPort, endpoint.path, Base64Encode(key)))) {
    const HRESULT hr = LastSocketError();
    ::closesocket(s);
    return hr;
  }
  std::string received;
  char buffer[4096];
  for (;;) {
    std::size_t head = 0;
    const ws::HandshakeStatus status = ws::ParseHandshakeReply(received, &head);
    if (status == ws::HandshakeStatus::kAccepted) {
      received.erase(0, head);
      break;
    }
    if (status == ws::HandshakeStatus::kRefused) {
      ::closesocket(s);
      return HRESULT_FROM_WIN32(ERROR_CONNECTION_REFUSED);
    }
    const int n = ::recv(s, buffer, sizeof(buffer), 0);
    if (n <= 0) {
      const HRESULT hr = n == 0 ? HRESULT_FROM_WIN32(ERROR_GRACEFUL_DISCONNECT) : LastSocketError();
      ::closesocket(s);
      return hr;
    }
    received.append(buffer, static_cast<std::size_t>(n));
  }
  timeoutMs = 0;  // from now on replies may take as long as the page needs
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof(timeoutMs));
  std::shared_ptr<DevToolsLink> link(new DevToolsLink(s));
  link->initialBytes_ = std::move(received);
  *out = std::move(link);
  return S_OK;
}

DevToolsLink::~DevToolsLink() {
  if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
}

void DevToolsLink::Start(Handler onEvent, std::function<void()> onClosed) {
  onEvent_ = std::move(onEvent);
  onClosed_ = std::move(onClosed);
  // The thread keeps the link alive until the socket ends, so no join is ever needed (the
  // last owner may well be a callback running on this very thread).
  std::thread(&DevToolsLink::ReadLoop, this, shared_from_this(), std::move(initialBytes_)).detach();
}

bool DevToolsLink::WriteFrame(unsigned char opcode, std::string_view payload) {
  const std::uint64_t r = NextRandom();
  const std::array<std::uint8_t, 4> mask{
      static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(r >> 8),
      static_cast<std::uint8_t>(r >> 16), static_cast<std::uint8_t>(r >> 24)};
  const std::string frame = ws::EncodeClientFrame(static_cast<ws::Opcode>(opcode), payload, mask);
  std::lock_guard<std::mutex> lock(writeMutex_);
  return SendAll(socket_, frame);
}

void DevToolsLink::Send(std::string_view method, std::string_view paramsJson,
                        std::string_view sessionId, Handler onReply) {
  long long id = 0;
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    if (down_) {
      if (onReply) onReply(FailedReply("DevTools link closed"));
      return;
    }
    id = nextId_++;
    // Registered before sending: the reply can arrive before send() returns.
    if (onReply) pending_.emplace(id, std::move(onReply));
  }
  if (!WriteFrame(ws::kText, BuildCdpCommand(id, method, paramsJson, sessionId))) {
    Handler failed;
    {
      std::lock_guard<std::mutex> lock(pendingMutex_);
      auto it = pending_.find(id);
      if (it != pending_.end()) {
        failed = std::move(it->second);
        pending_.erase(it);
      }
    }
    if (failed) failed(FailedReply("DevTools link write failed"));
  }
}

void DevToolsLink::Shutdown() {
  // Wakes the reader out of recv(); it fails the pending commands on its way out.
  ::shutdown(socket_, SD_BOTH);
}

void DevToolsLink::FailPending(const char* why) {
  std::map<long long, Handler> failed;
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    down_ = true;
    failed.swap(pending_);
  }
  for (auto& [id, handler] : failed) handler(FailedReply(why));
}

void DevToolsLink::ReadLoop(std::shared_ptr<DevToolsLink> self, std::string initial) {
  ws::Decoder decoder;
  decoder.Feed(initial);
  std::string buffer(256 * 1024, '\0');
  bool open = true;
  while (open) {
    ws::Message message;
    ws::Decoder::Result result;
    while ((result = decoder.Next(&message)) == ws::Decoder::Result::kMessage) {
      if (message.opcode == ws::kPing) {
        WriteFrame(ws::kPong, message.payload);
        continue;
      }
      if (message.opcode == ws::kClose) {
        WriteFrame(ws::kClose, message.payload.substr(0, 2));
        open = false;
        break;
      }
      if (message.opcode != ws::kText) continue;
      auto incoming = std::make_shared<CdpIncoming>();
      if (!ParseCdpMessage(message.payload, incoming.get())) continue;
      if (incoming->isReply) {
        Handler handler;
        {
          std::lock_guard<std::mutex> lock(pendingMutex_);
          auto it = pending_.find(incoming->id);
          if (it != pending_.end()) {
            handler = std::move(it->second);
            pending_.erase(it);
          }
        }
        if (handler) handler(std::move(incoming));
      } else if (onEvent_) {
        onEvent_(std::move(incoming));
      }
    }
    if (!open || result == ws::Decoder::Result::kProtocolError) break;
    const int n = ::recv(socket_, buffer.data(), static_cast<int>(buffer.size()), 0);
    if (n <= 0) break;
    decoder.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
  }
  FailPending("DevTools link closed");
  if (onClosed_) onClosed_();
  self.reset();
}
