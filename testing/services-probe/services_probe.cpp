// Usage (one command per run; bodies and texts are given in hex so any byte survives):
//   services_probe get <url>                 prints "LEN <n>" and "HEX <body bytes>"
//   services_probe post <url> <hex>          PostJson, then prints DONE
//   services_probe postasync <url> <hex>     PostJsonAsync, prints STARTED, waits for stdin
//   services_probe postexit <url> <hex>      PostJsonAsync, then exits as a stopping process
//                                            does (grace for posts in flight), prints EXITING
//   services_probe cot                       runs the COT refresh on this thread
//   services_probe send <token> <chat> <hex> SendTelegramMessage, waits for stdin
//   services_probe worker                    starts the Telegram worker, then reads lines:
//                                            "symbol <s>", "shutdown", "quit"
//   services_probe relay                     moves old configuration files into the store,
//                                            then prints "TOKEN <the stored bot token>"
//   services_probe claim [gated]             claims capture requests, one REQ line each;
//                                            gated: prints READY and waits for a stdin line
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "bridge/text_file.h"
#include "host/workspace_folders.h"
#include "services/capture_requests.h"
#include "services/cot_refresh.h"
#include "services/host_symbol.h"
#include "services/http_client.h"
#include "services/service_threads.h"
#include "services/telegram.h"

namespace {

std::string FromHex(const std::wstring& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(std::wstring(hex, i, 2), nullptr, 16)));
  }
  return bytes;
}

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void WaitForStdinEnd() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line.rfind("quit", 0) == 0) break;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  ResolveWorkspaceFolders();
  const std::wstring command = argv[1];
  if (command == L"get" && argc > 2) {
    const std::string body = HttpGet(argv[2]);
    std::printf("LEN %zu\nHEX ", body.size());
    for (unsigned char c : body) std::printf("%02x", c);
    std::printf("\n");
    return 0;
  }
  if (command == L"post" && argc > 3) {
    PostJson(argv[2], FromHex(argv[3]));
    Say("DONE");
    return 0;
  }
  if (command == L"postasync" && argc > 3) {
    Say(PostJsonAsync(argv[2], FromHex(argv[3])) ? "STARTED" : "FAILED");
    WaitForStdinEnd();
    return 0;
  }
  if (command == L"postexit" && argc > 3) {
    if (!PostJsonAsync(argv[2], FromHex(argv[3]))) {
      Say("FAILED");
      return 1;
    }
    AwaitPostsBeforeExit();
    Say("EXITING");
    ::ExitProcess(0);
  }
  if (command == L"cot") {
    CotRefresh();
    Say("DONE");
    return 0;
  }
  if (command == L"send" && argc > 4) {
    SendTelegramMessage(WideToUtf8(argv[2]), WideToUtf8(argv[3]), FromHex(argv[4]));
    Say("SENT");
    WaitForStdinEnd();
    return 0;
  }
  if (command == L"worker") {
    StartTelegramWorkerThread();
    Say("WORKER");
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("symbol ", 0) == 0) {
        SetHostSymbol(Utf8ToWide(line.substr(7)));
        Say("OK");
      } else if (line == "shutdown") {
        ShuttingDownFlag().store(true);
        Say("OK");
      } else if (line == "quit") {
        break;
      }
    }
    return 0;
  }
  if (command == L"relay") {
    Say("TOKEN " + ReadTelegramConfig().token);
    return 0;
  }
  if (command == L"claim") {
    if (argc > 2 && std::wstring(argv[2]) == L"gated") {
      Say("READY");
      std::string line;
      std::getline(std::cin, line);
    }
    for (const CaptureRequest& r : ClaimCaptureRequests()) {
      Say("REQ " + r.ticket + "|" + r.symbol + "|" + r.action + "|" + r.userId + "|" +
          r.accountNumber + "|" + r.uploadUrl);
    }
    Say("END");
    return 0;
  }
  return 2;
}
