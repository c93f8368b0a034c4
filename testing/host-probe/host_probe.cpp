// Usage (one command per run):
//   host_probe read <path>          prints the UTF-16 code units ReadTextFile returns, in hex
//   host_probe write <path> <hex>   ReplaceFileWhole (patient) with the given bytes; prints OK
//                                   or "FAILED <Windows error>"
//   host_probe hold <path>          opens the file for reading with read sharing only (as a
//                                   terminal that holds it without write sharing), prints HELD,
//                                   closes it at the first stdin line
//   host_probe order <record>       SendOrder through the outbox (folders resolved); prints
//                                   "SENT <id> <record>" or "NOTSENT <error> <step>"
//   host_probe log <hex>            LogDebug with the given bytes
//   host_probe race <path> <hexA> <hexB> <writes>
//                                   one thread replaces the file whole (patient) with A
//                                   and B in turn while this one reads it with
//                                   ReadTextFile; prints
//                                   "WRITES n FAILED f READS r WHOLE k MISSING m TORN t"
//   host_probe crash                installs CrashFilter, then dereferences a bad pointer
//   host_probe version              GetAvailableCoreWebView2BrowserVersionString
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "bridge/file_replace.h"
#include "bridge/order_outbox.h"
#include "bridge/text_file.h"
#include "host/crash_filter.h"
#include "host/debug_log.h"
#include "host/win_handles.h"
#include "host/workspace_folders.h"
#include "webview2/webview2_loader.h"

namespace {
std::string FromHex(const std::wstring& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(std::wstring(hex, i, 2), nullptr, 16)));
  }
  return bytes;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  if (command == L"read" && argc > 2) {
    FILETIME written{};
    const std::wstring text = ReadTextFile(argv[2], &written);
    std::printf("LEN %zu\nUNITS", text.size());
    for (wchar_t c : text) std::printf(" %04X", static_cast<unsigned>(c));
    std::printf("\nTIME %lu\n", static_cast<unsigned long>(written.dwHighDateTime));
    return 0;
  }
  if (command == L"write" && argc > 3) {
    const WriteStatus status = ReplaceFileWhole(argv[2], FromHex(argv[3]), WriteRetry::kPatient);
    if (status.ok()) {
      std::puts("OK");
    } else {
      std::printf("FAILED %lu\n", static_cast<unsigned long>(status.error));
    }
    return 0;
  }
  if (command == L"hold" && argc > 2) {
    UniqueFile file(::CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    std::puts(file ? "HELD" : "NOFILE");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    return 0;
  }
  if (command == L"order" && argc > 2) {
    ResolveWorkspaceFolders();
    const std::optional<Order> order = SplitOrderRecord(WideToUtf8(argv[2]));
    if (!order) {
      std::puts("NOTSENT 0 read the record");
      return 0;
    }
    const OrderSend send = SendOrder(*order, false);
    if (send.status.ok()) {
      std::printf("SENT %s %s\n", send.order.id.c_str(), send.record.c_str());
    } else {
      std::printf("NOTSENT %lu %s\n", static_cast<unsigned long>(send.status.error),
                  send.step.c_str());
    }
    return 0;
  }
  if (command == L"race" && argc > 5) {
    const std::wstring path = argv[2];
    const std::string versions[2] = {FromHex(argv[3]), FromHex(argv[4])};
    const int writes = std::stoi(argv[5]);
    if (!ReplaceFileWhole(path, versions[0]).ok()) return 1;
    std::atomic<bool> done{false};
    int failed = 0;
    std::thread writer([&] {
      for (int i = 1; i <= writes; ++i) {
        if (!ReplaceFileWhole(path, versions[i % 2], WriteRetry::kPatient).ok()) ++failed;
      }
      done = true;
    });
    const std::wstring wide[2] = {Utf8ToWide(versions[0]), Utf8ToWide(versions[1])};
    unsigned long reads = 0, whole = 0, missing = 0, torn = 0;
    while (!done) {
      const std::wstring text = ReadTextFile(path);
      ++reads;
      if (text == wide[0] || text == wide[1]) {
        ++whole;
      } else if (text.empty()) {
        ++missing;
      } else {
        ++torn;
      }
      // A file held open cannot be replaced until it is closed; a reader that never let go
      // would only measure the writer's retries, not what the reader sees.
      ::Sleep(1);
    }
    writer.join();
    std::printf("WRITES %d FAILED %d READS %lu WHOLE %lu MISSING %lu TORN %lu\n", writes, failed,
                reads, whole, missing, torn);
    return 0;
  }
  if (command == L"log" && argc > 2) {
    LogDebug(FromHex(argv[2]));
    return 0;
  }
  if (command == L"crash") {
    ::SetUnhandledExceptionFilter(CrashFilter);
    // Read through a volatile so the compiler cannot prove the address invalid.
    volatile std::uintptr_t address = 0x10;
    *reinterpret_cast<volatile int*>(address) = 1;
    return 0;
  }
  if (command == L"version") {
    LPWSTR version = nullptr;
    const HRESULT hr = GetAvailableCoreWebView2BrowserVersionString(nullptr, &version);
    UniqueCoTaskMem owned(version);
    std::printf("HR %08lX VERSION %ls\n", static_cast<unsigned long>(hr),
                version ? version : L"(null)");
    return 0;
  }
  return 2;
}
