#pragma once
// One WebSocket connection to Chromium's browser endpoint: commands out (any thread),
// replies and events in on a reader thread of its own.
#include <winsock2.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "testing/webview2-runtime/browser_launch.h"
#include "testing/webview2-runtime/cdp_message.h"

class DevToolsLink : public std::enable_shared_from_this<DevToolsLink> {
 public:
  using Handler = std::function<void(std::shared_ptr<CdpIncoming>)>;

  // Connects to 127.0.0.1:<port> and completes the upgrade; blocking, so never called on
  // the window thread. HRESULT_FROM_WIN32(WSAECONNREFUSED) means nobody listens (a stale
  // DevToolsActivePort).
  [[nodiscard]] static HRESULT Connect(const DevToolsEndpoint& endpoint,
                                       std::shared_ptr<DevToolsLink>* out);
  ~DevToolsLink();
  DevToolsLink(const DevToolsLink&) = delete;
  DevToolsLink& operator=(const DevToolsLink&) = delete;

  // Starts reading. onEvent gets every event, on the reader thread; onClosed runs there once
  // when the link ends.
  void Start(Handler onEvent, std::function<void()> onClosed);

  // Sends a command. onReply (may be empty) runs on the reader thread with the reply, or
  // with a failed reply at once on this thread when the link is already down.
  void Send(std::string_view method, std::string_view paramsJson, std::string_view sessionId,
            Handler onReply);

  // Ends the connection; pending commands get failed replies.
  void Shutdown();

 private:
  explicit DevToolsLink(SOCKET s) : socket_(s) {}
  bool WriteFrame(unsigned char opcode, std::string_view payload);
  void ReadLoop(std::shared_ptr<DevToolsLink> self, std::string initial);
  void FailPending(const char* why);

  SOCKET socket_;
  std::mutex writeMutex_;
  std::mutex pendingMutex_;
  std::map<long long, Handler> pending_;
  long long nextId_ = 1;
  bool down_ = false;  // under pendingMutex_
  std::string initialBytes_;
  Handler onEvent_;
  std::function<void()> onClosed_;
};
