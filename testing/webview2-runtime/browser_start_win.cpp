#include "testing/webview2-runtime/browser_start_win.h"
#include <shlobj.h>

#include <chrono>
#include <future>

#include "host/win_handles.h"
#include "testing/webview2-runtime/runtime_update_win.h"
#include "testing/webview2-runtime/text_win.h"

namespace {

constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kMutexTimeoutMs = 60000;

bool ReadSmallFile(const std::wstring& path, std::string* content) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  char buffer[1024];
  DWORD read = 0;
  if (!::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) return false;
  content->assign(buffer, read);
  return true;
}

// Chromium is a Linux program and wants a Linux path. Wine's kernel32 converts; looked up
// at run time so the DLL still loads where that export is absent.
std::wstring UnixPath(const std::wstring& windowsPath) {
  using Converter = char*(CDECL*)(LPCWSTR);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto convert = kernel ? reinterpret_cast<Converter>(reinterpret_cast<void (*)()>(
                                    ::GetProcAddress(kernel, "wine_get_unix_file_name")))
                              : nullptr;
  if (!convert) return windowsPath;
  char* unix = convert(windowsPath.c_str());
  if (!unix) return windowsPath;
  std::wstring out = Widen(unix);
  ::HeapFree(::GetProcessHeap(), 0, unix);
  return out;
}

HRESULT LaunchChromium(const BrowserRequest& request) {
  std::wstring program = EnvironmentValue(L"QV_WEBVIEW2_CHROMIUM");
  if (program.empty()) program = L"Z:\\usr\\bin\\chromium";
  std::vector<std::wstring> extra = request.extraArguments;
  for (std::wstring& arg :
       SplitArguments(EnvironmentValue(L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS"))) {
    extra.push_back(std::move(arg));
  }
  std::wstring commandLine = BuildCommandLine(
      program, ChromiumArguments(UnixPath(request.userDataFolder), request.headful, extra));

  // Chromium's chatter must not land in the host's console output.
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  UniqueFile nul(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                               nullptr));
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  if (nul) {
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul.get();
    si.hStdOutput = nul.get();
    si.hStdError = nul.get();
  }
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, nul ? TRUE : FALSE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
    const DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return S_OK;
}

// True once a browser none of whose pages has a client attached (every host is gone) has
// ended; false when a host still uses it or it would not end.
bool EndBrowserWithoutHosts(const std::shared_ptr<DevToolsLink>& link) {
  auto closed = std::make_shared<std::promise<void>>();
  std::future<void> ended = closed->get_future();
  link->Start([](std::shared_ptr<CdpIncoming>) {}, [closed] { closed->set_value(); });
  auto targets = std::make_shared<std::promise<std::shared_ptr<CdpIncoming>>>();
  std::future<std::shared_ptr<CdpIncoming>> listed = targets->get_future();
  link->Send("Target.getTargets", "", "", [targets](std::shared_ptr<CdpIncoming> reply) {
    targets->set_value(std::move(reply));
  });
  if (listed.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    link->Shutdown();
    return false;
  }
  const std::shared_ptr<CdpIncoming> reply = listed.get();
  if (reply->failed || CountOtherPages(reply->result, "") > 0) {
    link->Shutdown();
    return false;
  }
  link->Send("Browser.close", "", "", nullptr);
  return ended.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
}

// The link drops before the process has quite gone, and a new Chromium on the same folder
// would hand itself over to the old one (ProcessSingleton) and exit: wait until the old one
// no longer listens.
void WaitUntilRefused(const DevToolsEndpoint& endpoint) {
  const ULONGLONG deadline = ::GetTickCount64() + 10000;
  while (::GetTickCount64() < deadline) {
    std::shared_ptr<DevToolsLink> probe;
    if (FAILED(DevToolsLink::Connect(endpoint, &probe))) return;
    probe.reset();
    ::Sleep(50);
  }
}

}  // namespace

HRESULT ConnectOrStartBrowser(const BrowserRequest& request, std::shared_ptr<DevToolsLink>* link,
                              bool* started) {
  *started = false;
  const int made = ::SHCreateDirectoryExW(nullptr, request.userDataFolder.c_str(), nullptr);
  if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
    return HRESULT_FROM_WIN32(static_cast<DWORD>(made));
  }
  // Two processes that start together must not both launch: the second Chromium would
  // exit at once (ProcessSingleton) and its caller would wait for nothing.
  UniqueHandle mutex(
      ::CreateMutexW(nullptr, FALSE, BrowserMutexName(request.userDataFolder).c_str()));
  if (!mutex) {
    const DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  const DWORD waited = ::WaitForSingleObject(mutex.get(), kMutexTimeoutMs);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return HRESULT_FROM_WIN32(WAIT_TIMEOUT);
  struct Release {
    HANDLE h;
    ~Release() { ::ReleaseMutex(h); }
  } release{mutex.get()};

  const std::wstring portFile = request.userDataFolder + L"\\DevToolsActivePort";
  std::string content;
  DevToolsEndpoint endpoint;
  if (ReadSmallFile(portFile, &content) && ParseDevToolsActivePort(content, &endpoint) &&
      SUCCEEDED(DevToolsLink::Connect(endpoint, link))) {
    const std::wstring running = RunningBrowserVersion(request.userDataFolder);
    if (running.empty() || running == request.version) return S_OK;
    // Another version's browser. WebView2's browser process ends once every host of its
    // WebViews has gone; Chromium outlives the processes that drove it, so an old browser
    // that no host is attached to any more is ended here, as it would have ended by itself.
    std::shared_ptr<DevToolsLink> old = std::move(*link);
    if (!EndBrowserWithoutHosts(old)) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    WaitUntilRefused(endpoint);
  }
  // Absent, or stale from a browser that died: start a new one (Chromium takes over the
  // profile lock of a process that is gone).
  ::DeleteFileW(portFile.c_str());
  const HRESULT launched = LaunchChromium(request);
  if (FAILED(launched)) return launched;
  *started = true;
  RecordRunningBrowserVersion(request.userDataFolder, request.version);
  const ULONGLONG deadline = ::GetTickCount64() + kStartTimeoutMs;
  HRESULT last = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
  // This is the worker thread that creates the environment, never the window thread.
  while (::GetTickCount64() < deadline) {
    if (ReadSmallFile(portFile, &content) && ParseDevToolsActivePort(content, &endpoint)) {
      last = DevToolsLink::Connect(endpoint, link);
      if (SUCCEEDED(last)) return S_OK;
    }
    ::Sleep(50);
  }
  return last;
}
