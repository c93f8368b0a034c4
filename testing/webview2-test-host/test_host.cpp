// A window with one WebView, created through our loader, driven by one command per stdin
// line for the Windows tests of the WebView2 runtime:
//   navigate URL | docscript JS | exec JS | capture PATH | bounds W H | visible 0|1 |
//   background A R G B | map HOST FOLDER | serve URI-FILTER | post JSON | reload | close |
//   recreate | quit | cdp METHOD JSON | listen EVENT | unlisten EVENT
// "recreate" drops the WebView and creates a new environment and controller (after a
// browser that died, or a refused environment). ProcessFailed is printed as
// "FAILED kind=N", NewBrowserVersionAvailable as "NEWVERSION version=<environment's>".
// "cdp" calls CallDevToolsProtocolMethod (CDP hr=... method=... json=...); "listen" subscribes
// to a DevTools event (EVENT name=... json=... for each), "unlisten" removes that handler.
// "serve" adds a resource filter and a handler that prints every request it sees
// (RESOURCE uri=... method=... context=N origin=...), answers a path ending in "/served.txt"
// with 200 and "served:<method>", one ending in "/refused.txt" with 403, and leaves
// everything else alone.
// Every completion and web message is printed with the thread it arrived on, the window's
// thread, and whether it came inside the call that started it:
//   EXEC hr=0x00000000 thread=12 window=12 inside=0 json=...
// argv[1], when given, is the user-data folder.
#include <windows.h>

#include <shlwapi.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include "host/win_handles.h"
#include "webview2/com_callback.h"
#include "webview2/webview2_abi.h"
#include "webview2/webview2_loader.h"

namespace {

constexpr UINT kCommandMessage = WM_APP + 1;
HWND g_window = nullptr;
DWORD g_windowThread = 0;
bool g_insideCall = false;
LARGE_INTEGER g_started{};  // when the command (or the start-up) began
ComPtr<ICoreWebView2Environment> g_environment;
ComPtr<ICoreWebView2Controller> g_controller;
ComPtr<ICoreWebView2> g_webview;
EventRegistrationToken g_messageToken{};
struct DevToolsListener {
  ComPtr<ICoreWebView2DevToolsProtocolEventReceiver> receiver;
  EventRegistrationToken token{};
};
std::map<std::string, DevToolsListener> g_listeners;

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Hr(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

void Print(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void MarkStart() {
  QueryPerformanceCounter(&g_started);
}

std::string MillisecondsSinceStart() {
  LARGE_INTEGER now{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  char text[32];
  std::snprintf(text, sizeof(text), "%.2f",
                1000.0 * static_cast<double>(now.QuadPart - g_started.QuadPart) /
                    static_cast<double>(frequency.QuadPart));
  return text;
}

// The line for a completion or event: which thread it came on, whether it came early, and
// the time since the command that caused it began (for the benchmark).
void Report(const std::string& what, HRESULT hr, const std::string& rest = "") {
  Print(what + " hr=" + Hr(hr) + " thread=" + std::to_string(GetCurrentThreadId()) +
        " window=" + std::to_string(g_windowThread) + " inside=" + (g_insideCall ? "1" : "0") +
        " ms=" + MillisecondsSinceStart() + (rest.empty() ? "" : " " + rest));
}

// Runs a WebView2 call with the "inside" marker set, so a handler invoked synchronously
// from within it is caught.
template <typename F>
HRESULT Call(F&& f) {
  g_insideCall = true;
  const HRESULT hr = f();
  g_insideCall = false;
  return hr;
}

std::string Take(LPWSTR text) {
  if (!text) return "(null)";
  std::string out = Narrow(text);
  CoTaskMemFree(text);
  return out;
}

void OnWebMessage(ICoreWebView2WebMessageReceivedEventArgs* args) {
  LPWSTR json = nullptr;
  LPWSTR source = nullptr;
  LPWSTR text = nullptr;
  (void)args->get_WebMessageAsJson(&json);
  (void)args->get_Source(&source);
  const HRESULT asString = args->TryGetWebMessageAsString(&text);
  Report("MESSAGE", asString,
         "source=" + Take(source) + " string=" + (SUCCEEDED(asString) ? Take(text) : "-") +
             " json=" + Take(json));
}

std::wstring g_userDataFolder;

void SubscribeFailures() {
  auto onFailed = MakeComCallback<ICoreWebView2ProcessFailedEventHandler>(
      IID_ICoreWebView2ProcessFailedEventHandler,
      [](ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs* args) -> HRESULT {
        COREWEBVIEW2_PROCESS_FAILED_KIND kind =
            COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED;
        const HRESULT hr = args ? args->get_ProcessFailedKind(&kind) : E_POINTER;
        Report("FAILED", hr, "kind=" + std::to_string(static_cast<int>(kind)));
        return S_OK;
      });
  EventRegistrationToken token{};
  if (g_webview) (void)g_webview->add_ProcessFailed(onFailed.get(), &token);
  auto onVersion = MakeComCallback<ICoreWebView2NewBrowserVersionAvailableEventHandler>(
      IID_ICoreWebView2NewBrowserVersionAvailableEventHandler,
      [](ICoreWebView2Environment* sender, IUnknown*) -> HRESULT {
        LPWSTR version = nullptr;
        const HRESULT hr = sender ? sender->get_BrowserVersionString(&version) : E_POINTER;
        Report("NEWVERSION", hr, "version=" + Take(version));
        return S_OK;
      });
  (void)g_environment->add_NewBrowserVersionAvailable(onVersion.get(), &token);
}

void CreateController() {
  auto handler = MakeComCallback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
      IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
      [](HRESULT hr, ICoreWebView2Controller* controller) -> HRESULT {
        Report("CONTROLLER", hr);
        if (FAILED(hr) || !controller) return S_OK;
        g_controller = ComPtr<ICoreWebView2Controller>::FromRaw(controller);
        (void)g_controller->get_CoreWebView2(g_webview.put());
        auto onMessage = MakeComCallback<ICoreWebView2WebMessageReceivedEventHandler>(
            IID_ICoreWebView2WebMessageReceivedEventHandler,
            [](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) -> HRESULT {
              if (args) OnWebMessage(args);
              return S_OK;
            });
        if (g_webview) (void)g_webview->add_WebMessageReceived(onMessage.get(), &g_messageToken);
        SubscribeFailures();
        LPWSTR version = nullptr;
        (void)g_environment->get_BrowserVersionString(&version);
        Print("READY version=" + Take(version));
        return S_OK;
      });
  const HRESULT hr =
      Call([&] { return g_environment->CreateCoreWebView2Controller(g_window, handler.get()); });
  if (FAILED(hr)) Report("CONTROLLER", hr);
}

void CreateEnvironment(const std::wstring& userDataFolder) {
  g_userDataFolder = userDataFolder;
  auto handler = MakeComCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
      IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
      [](HRESULT hr, ICoreWebView2Environment* environment) -> HRESULT {
        Report("ENVIRONMENT", hr);
        if (FAILED(hr) || !environment) return S_OK;
        g_environment = ComPtr<ICoreWebView2Environment>::FromRaw(environment);
        CreateController();
        return S_OK;
      });
  const HRESULT hr = Call([&] {
    return CreateCoreWebView2EnvironmentWithOptions(
        nullptr, userDataFolder.empty() ? nullptr : userDataFolder.c_str(), nullptr, handler.get());
  });
  if (FAILED(hr)) Report("ENVIRONMENT", hr);
}

void Capture(const std::wstring& path) {
  ComPtr<IStream> stream;
  HRESULT hr = SHCreateStreamOnFileEx(path.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_DENY_NONE,
                                      FILE_ATTRIBUTE_NORMAL, TRUE, nullptr, stream.put());
  if (FAILED(hr)) {
    Report("CAPTURE", hr);
    return;
  }
  auto handler = MakeComCallback<ICoreWebView2CapturePreviewCompletedHandler>(
      IID_ICoreWebView2CapturePreviewCompletedHandler, [stream](HRESULT result) -> HRESULT {
        // The file is complete once the stream is committed and released.
        (void)stream->Commit(STGC_DEFAULT);
        Report("CAPTURE", result);
        return S_OK;
      });
  hr = Call([&] {
    return g_webview->CapturePreview(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_PNG, stream.get(),
                                     handler.get());
  });
  if (FAILED(hr)) Report("CAPTURE", hr);
}

std::string HeaderOf(ICoreWebView2HttpRequestHeaders* headers, const wchar_t* name) {
  BOOL has = FALSE;
  if (!headers || FAILED(headers->Contains(name, &has)) || !has) return "-";
  LPWSTR raw = nullptr;
  if (FAILED(headers->GetHeader(name, &raw)) || !raw) return "?";
  const std::string out = Narrow(raw);
  CoTaskMemFree(raw);
  return out;
}

HRESULT AnswerResource(ICoreWebView2WebResourceRequestedEventArgs* args) {
  ComPtr<ICoreWebView2WebResourceRequest> request;
  if (FAILED(args->get_Request(request.put())) || !request) return S_OK;
  LPWSTR rawUri = nullptr;
  LPWSTR rawMethod = nullptr;
  (void)request->get_Uri(&rawUri);
  (void)request->get_Method(&rawMethod);
  const std::string uri = rawUri ? Narrow(rawUri) : "";
  const std::string method = rawMethod ? Narrow(rawMethod) : "";
  CoTaskMemFree(rawUri);
  CoTaskMemFree(rawMethod);
  ComPtr<ICoreWebView2HttpRequestHeaders> headers;
  (void)request->get_Headers(headers.put());
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT context = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL;
  (void)args->get_ResourceContext(&context);
  Report("RESOURCE", S_OK,
         "uri=" + uri + " method=" + method + " context=" + std::to_string(context) +
             " origin=" + HeaderOf(headers.get(), L"Origin") +
             " site=" + HeaderOf(headers.get(), L"Sec-Fetch-Site"));
  const std::string path = uri.substr(0, uri.find_first_of("?#"));
  auto ends = [&](const std::string& tail) {
    return path.size() >= tail.size() &&
           path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
  };
  int status = 0;
  std::string body;
  const wchar_t* reason = L"";
  if (ends("/served.txt")) {
    status = 200;
    reason = L"OK";
    body = "served:" + method;
  } else if (ends("/refused.txt")) {
    status = 403;
    reason = L"Refused here";
    body = "refused";
  } else {
    return S_OK;
  }
  ComPtr<IStream> content;
  content = ComPtr<IStream>::Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>(body.data()),
                                                      static_cast<UINT>(body.size())));
  ComPtr<ICoreWebView2WebResourceResponse> response;
  HRESULT hr = g_environment->CreateWebResourceResponse(
      content.get(), status, reason,
      L"Content-Type: text/plain; charset=utf-8\r\nAccess-Control-Allow-Origin: *\r\n"
      L"Access-Control-Expose-Headers: X-Test\r\nX-Test: yes",
      response.put());
  if (SUCCEEDED(hr)) hr = args->put_Response(response.get());
  if (FAILED(hr)) Report("RESOURCE-ANSWER", hr);
  return S_OK;
}

void RunCommand(const std::string& line) {
  const std::size_t space = line.find(' ');
  const std::string verb = line.substr(0, space);
  const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
  MarkStart();
  if (verb == "quit") {
    DestroyWindow(g_window);
    return;
  }
  if (verb == "recreate") {
    if (g_controller) (void)g_controller->Close();
    g_webview.reset();
    g_controller.reset();
    g_environment.reset();
    Print("OK recreate");
    CreateEnvironment(g_userDataFolder);
    return;
  }
  if (!g_webview || !g_controller) {
    Print("ERROR no webview");
    return;
  }
  if (verb == "navigate") {
    Print("OK navigate " + Hr(Call([&] { return g_webview->Navigate(Widen(rest).c_str()); })));
  } else if (verb == "docscript") {
    auto handler =
        MakeComCallback<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler>(
            IID_ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler,
            [](HRESULT hr, LPCWSTR id) -> HRESULT {
              Report("DOCSCRIPT", hr, "id=" + (id ? Narrow(id) : std::string("(null)")));
              return S_OK;
            });
    const HRESULT hr = Call([&] {
      return g_webview->AddScriptToExecuteOnDocumentCreated(Widen(rest).c_str(), handler.get());
    });
    if (FAILED(hr)) Report("DOCSCRIPT", hr);
  } else if (verb == "exec") {
    auto handler = MakeComCallback<ICoreWebView2ExecuteScriptCompletedHandler>(
        IID_ICoreWebView2ExecuteScriptCompletedHandler, [](HRESULT hr, LPCWSTR json) -> HRESULT {
          Report("EXEC", hr, "json=" + (json ? Narrow(json) : std::string("(null)")));
          return S_OK;
        });
    const HRESULT hr =
        Call([&] { return g_webview->ExecuteScript(Widen(rest).c_str(), handler.get()); });
    if (FAILED(hr)) Report("EXEC", hr);
  } else if (verb == "capture") {
    Capture(Widen(rest));
  } else if (verb == "bounds") {
    int width = 0;
    int height = 0;
    std::sscanf(rest.c_str(), "%d %d", &width, &height);
    Print("OK bounds " + Hr(g_controller->put_Bounds(RECT{0, 0, width, height})));
  } else if (verb == "visible") {
    Print("OK visible " + Hr(g_controller->put_IsVisible(rest == "1")));
  } else if (verb == "background") {
    unsigned a = 0, r = 0, g = 0, b = 0;
    std::sscanf(rest.c_str(), "%u %u %u %u", &a, &r, &g, &b);
    ComPtr<ICoreWebView2Controller2> controller2;
    HRESULT hr = g_controller.As(IID_ICoreWebView2Controller2, &controller2);
    if (SUCCEEDED(hr)) {
      hr = controller2->put_DefaultBackgroundColor(COREWEBVIEW2_COLOR{
          static_cast<BYTE>(a), static_cast<BYTE>(r), static_cast<BYTE>(g), static_cast<BYTE>(b)});
    }
    Print("OK background " + Hr(hr));
  } else if (verb == "map") {
    const std::size_t gap = rest.find(' ');
    ComPtr<ICoreWebView2_3> webview3;
    HRESULT hr = g_webview.As(IID_ICoreWebView2_3, &webview3);
    if (SUCCEEDED(hr)) {
      hr = webview3->SetVirtualHostNameToFolderMapping(
          Widen(rest.substr(0, gap)).c_str(), Widen(rest.substr(gap + 1)).c_str(),
          COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_ALLOW);
    }
    Print("OK map " + Hr(hr));
  } else if (verb == "serve") {
    auto handler = MakeComCallback<ICoreWebView2WebResourceRequestedEventHandler>(
        IID_ICoreWebView2WebResourceRequestedEventHandler,
        [](ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) -> HRESULT {
          return args ? AnswerResource(args) : S_OK;
        });
    EventRegistrationToken token{};
    HRESULT hr = g_webview->AddWebResourceRequestedFilter(Widen(rest).c_str(),
                                                          COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
    if (SUCCEEDED(hr)) hr = g_webview->add_WebResourceRequested(handler.get(), &token);
    Print("OK serve " + Hr(hr));
  } else if (verb == "reload") {
    Print("OK reload " + Hr(g_webview->Reload()));
  } else if (verb == "post") {
    Print("OK post " + Hr(g_webview->PostWebMessageAsJson(Widen(rest).c_str())));
  } else if (verb == "cdp") {
    const std::size_t gap = rest.find(' ');
    const std::string method = rest.substr(0, gap);
    const std::string params = gap == std::string::npos ? "{}" : rest.substr(gap + 1);
    auto handler = MakeComCallback<ICoreWebView2CallDevToolsProtocolMethodCompletedHandler>(
        IID_ICoreWebView2CallDevToolsProtocolMethodCompletedHandler,
        [method](HRESULT hr, LPCWSTR json) -> HRESULT {
          Report("CDP", hr,
                 "method=" + method + " json=" + (json ? Narrow(json) : std::string("(null)")));
          return S_OK;
        });
    const HRESULT hr = Call([&] {
      return g_webview->CallDevToolsProtocolMethod(Widen(method).c_str(), Widen(params).c_str(),
                                                   handler.get());
    });
    if (FAILED(hr)) Report("CDP", hr, "method=" + method + " json=(none)");
  } else if (verb == "listen") {
    DevToolsListener listener;
    HRESULT hr =
        g_webview->GetDevToolsProtocolEventReceiver(Widen(rest).c_str(), listener.receiver.put());
    if (SUCCEEDED(hr) && !listener.receiver) hr = E_POINTER;
    if (SUCCEEDED(hr)) {
      auto handler = MakeComCallback<ICoreWebView2DevToolsProtocolEventReceivedEventHandler>(
          IID_ICoreWebView2DevToolsProtocolEventReceivedEventHandler,
          [rest](ICoreWebView2*,
                 ICoreWebView2DevToolsProtocolEventReceivedEventArgs* args) -> HRESULT {
            LPWSTR json = nullptr;
            const HRESULT got = args ? args->get_ParameterObjectAsJson(&json) : E_POINTER;
            Report("EVENT", got, "name=" + rest + " json=" + Take(json));
            return S_OK;
          });
      hr = Call([&] {
        return listener.receiver->add_DevToolsProtocolEventReceived(handler.get(), &listener.token);
      });
    }
    if (SUCCEEDED(hr)) g_listeners[rest] = std::move(listener);
    Print("OK listen " + Hr(hr));
  } else if (verb == "unlisten") {
    auto found = g_listeners.find(rest);
    HRESULT hr = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    if (found != g_listeners.end()) {
      hr = found->second.receiver->remove_DevToolsProtocolEventReceived(found->second.token);
      g_listeners.erase(found);
    }
    Print("OK unlisten " + Hr(hr));
  } else if (verb == "close") {
    (void)g_webview->remove_WebMessageReceived(g_messageToken);
    const HRESULT hr = g_controller->Close();
    // A closed controller refuses further work with an error, not a crash.
    const HRESULT after = g_controller->put_Bounds(RECT{0, 0, 10, 10});
    Print("OK close " + Hr(hr) + " after=" + Hr(after));
  } else {
    Print("ERROR unknown command " + verb);
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  switch (message) {
    case kCommandMessage: {
      std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(lparam));
      RunCommand(*line);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

void ReadCommands() {
  char buffer[1 << 16];
  std::string line;
  while (std::fgets(buffer, sizeof(buffer), stdin)) {
    line += buffer;
    if (line.empty() || line.back() != '\n') continue;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    auto* heap = new std::string(std::move(line));
    line.clear();
    if (!PostMessageW(g_window, kCommandMessage, 0, reinterpret_cast<LPARAM>(heap))) delete heap;
  }
  PostMessageW(g_window, kCommandMessage, 0, reinterpret_cast<LPARAM>(new std::string("quit")));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QuorvaleWebView2TestHost";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  RegisterClassExW(&wc);
  RECT frame{0, 0, 800, 600};
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  g_window = CreateWindowExW(0, wc.lpszClassName, L"WebView2 test host", WS_OVERLAPPEDWINDOW, 40,
                             40, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                             nullptr, wc.hInstance, nullptr);
  if (!g_window) {
    Print("ERROR window " + std::to_string(GetLastError()));
    return 1;
  }
  g_windowThread = GetCurrentThreadId();
  ShowWindow(g_window, SW_SHOWNOACTIVATE);
  Print("WINDOW thread=" + std::to_string(g_windowThread));
  MarkStart();
  CreateEnvironment(argc > 1 ? argv[1] : L"");
  std::thread(ReadCommands).detach();

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  g_listeners.clear();
  g_webview.reset();
  g_controller.reset();
  g_environment.reset();
  Print("BYE");
  std::fflush(stdout);
  // The stdin reader may still be blocked in fgets; end without waiting for it.
  ExitProcess(0);
}
