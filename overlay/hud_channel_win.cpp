#include <windows.h>

#include "overlay/hud_channel_win.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "overlay/hud_channel.h"
#include "overlay/hud_script.h"
#include "overlay/page_requests.h"
#include "overlay/page_scripts.h"
#include "overlay/web_message.h"
#include "overlay/web_message_handler.h"
#include "webview2/com_callback.h"

// Why the DevTools protocol: the HUD used to share the chart site's JavaScript realm, so the
// site's own scripts could drive it (replace the built-ins it called, click its buttons,
// read its storage). Its script now runs in an isolated world of the document, and its one
// way to the host is a binding that exists only in that world; which calls count is decided
// from the host's own DevTools events, never from anything the page can set.

namespace {

struct Subscription {
  ComPtr<ICoreWebView2DevToolsProtocolEventReceiver> receiver;
  EventRegistrationToken token{};
};

struct ChannelState {
  ComPtr<ICoreWebView2> webview;
  HudChannel channel;
  std::vector<Subscription> subscriptions;
  int pendingRegistrations = 0;
  std::function<void()> registered;
  ULONGLONG lastPushFailureLog = 0;
};
ChannelState g_hud;

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

void RegistrationDone(const std::string& what, HRESULT hr) {
  if (FAILED(hr)) LogDebug("Could not register " + what + ": " + Hex(hr));
  if (--g_hud.pendingRegistrations > 0 || !g_hud.registered) return;
  // Once: the first navigation.
  auto registered = std::move(g_hud.registered);
  g_hud.registered = nullptr;
  registered();
}

// One registration: start(handler) begins it; its completion (or a start that failed, which
// never completes) counts it done. Both completion handlers take (HRESULT, LPCWSTR).
template <typename Handler, typename Start>
void StartRegistration(const IID& iid, const std::string& what, Start start) {
  ++g_hud.pendingRegistrations;
  auto handler = MakeComCallback<Handler>(iid, [what](HRESULT hr, LPCWSTR) -> HRESULT {
    RegistrationDone(what, hr);
    return S_OK;
  });
  const HRESULT hr = handler ? start(handler.get()) : E_OUTOFMEMORY;
  if (FAILED(hr)) RegistrationDone(what, hr);
}

void Register(const std::string& what, const char* method, const JsonValue& params) {
  StartRegistration<ICoreWebView2CallDevToolsProtocolMethodCompletedHandler>(
      IID_ICoreWebView2CallDevToolsProtocolMethodCompletedHandler, what, [&](auto* handler) {
        return g_hud.webview->CallDevToolsProtocolMethod(
            Utf8ToWide(method).c_str(), Utf8ToWide(WriteJson(params)).c_str(), handler);
      });
}

void RegisterMainWorldScript(const std::string& what, const std::string& source) {
  StartRegistration<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler>(
      IID_ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, what,
      [&](auto* handler) {
        return g_hud.webview->AddScriptToExecuteOnDocumentCreated(Utf8ToWide(source).c_str(),
                                                                  handler);
      });
}

void RegisterWorldScript(const std::string& what, const std::string& source) {
  JsonValue params = JsonObject();
  params.Set("source", JsonString(source));
  params.Set("worldName", JsonString(kHudWorldName));
  Register(what, "Page.addScriptToEvaluateOnNewDocument", params);
}

// The origin of a dropped call only; its text is the page's and stays out of the log. Once a
// minute per kind and origin, so a page calling in a loop does not fill the log.
void NoteDroppedCall(const BindingVerdict& verdict) {
  static std::string lastSource;
  static ULONGLONG lastAt = 0;
  const ULONGLONG now = ::GetTickCount64();
  const std::string source = std::to_string(static_cast<int>(verdict.kind)) + verdict.origin;
  if (source == lastSource && lastAt != 0 && now - lastAt < 60000) return;
  lastSource = source;
  lastAt = now;
  const char* why = "an unknown context";
  switch (verdict.kind) {
    case BindingVerdict::Kind::kChildFrame:
      why = "a frame";
      break;
    case BindingVerdict::Kind::kUntrustedPage:
      why = "a page that is not the workspace's";
      break;
    case BindingVerdict::Kind::kOtherBinding:
      why = "another binding";
      break;
    default:
      break;
  }
  LogDebug(std::string("Dropped a HUD channel call from ") + why +
           (verdict.origin.empty() ? "" : " (" + PrintableForLog(verdict.origin) + ")"));
}

void OnBindingCalled(const JsonValue& params) {
  const BindingVerdict verdict = g_hud.channel.TakeBindingCall(params);
  if (verdict.kind != BindingVerdict::Kind::kAccepted) {
    NoteDroppedCall(verdict);
    return;
  }
  if (verdict.message.empty()) return;
  // The HUD of a new document is built: from now on it takes pushes.
  if (verdict.message == "HUD_READY" || verdict.message == "POSITIONS_PULL") {
    g_hud.channel.NoteReady(verdict.contextId);
  }
  const std::wstring text = Utf8ToWide(verdict.message);
  if (!HandlePageRequest(text)) HandleWebMessage(text);
}

template <typename F>
void Subscribe(const wchar_t* eventName, F onParams) {
  Subscription s;
  HRESULT hr = g_hud.webview->GetDevToolsProtocolEventReceiver(eventName, s.receiver.put());
  if (SUCCEEDED(hr) && !s.receiver) hr = E_POINTER;
  auto handler = MakeComCallback<ICoreWebView2DevToolsProtocolEventReceivedEventHandler>(
      IID_ICoreWebView2DevToolsProtocolEventReceivedEventHandler,
      [onParams](ICoreWebView2*,
                 ICoreWebView2DevToolsProtocolEventReceivedEventArgs* args) -> HRESULT {
        if (!args) return S_OK;
        LPWSTR raw = nullptr;
        const HRESULT got = args->get_ParameterObjectAsJson(&raw);
        const UniqueCoTaskMem owner(raw);
        JsonValue params;
        if (FAILED(got) || !raw || !ParseJson(WideToUtf8(raw), &params)) return S_OK;
        onParams(params);
        return S_OK;
      });
  if (SUCCEEDED(hr)) {
    hr = handler ? s.receiver->add_DevToolsProtocolEventReceived(handler.get(), &s.token)
                 : E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    LogDebug("Could not subscribe to " + WideToUtf8(eventName) + ": " + Hex(hr));
    return;
  }
  g_hud.subscriptions.push_back(std::move(s));
}

}  // namespace

void StartHudChannel(ICoreWebView2* webview, std::function<void()> registered) {
  g_hud.webview = ComPtr<ICoreWebView2>::FromRaw(webview);
  g_hud.registered = std::move(registered);
  Subscribe(L"Page.frameNavigated", [](const JsonValue& p) { g_hud.channel.FrameNavigated(p); });
  Subscribe(L"Runtime.executionContextCreated",
            [](const JsonValue& p) { g_hud.channel.ContextCreated(p); });
  Subscribe(L"Runtime.executionContextDestroyed",
            [](const JsonValue& p) { g_hud.channel.ContextDestroyed(p); });
  Subscribe(L"Runtime.executionContextsCleared",
            [](const JsonValue&) { g_hud.channel.ContextsCleared(); });
  Subscribe(L"Runtime.bindingCalled", OnBindingCalled);

  // The counter starts at one for the set-up itself, so a registration that completes
  // during the set-up cannot start the navigation before the others are sent.
  g_hud.pendingRegistrations = 1;
  Register("the Page domain", "Page.enable", JsonObject());
  Register("the Runtime domain", "Runtime.enable", JsonObject());
  JsonValue binding = JsonObject();
  binding.Set("name", JsonString(kHostBindingName));
  binding.Set("executionContextName", JsonString(kHudWorldName));
  Register("the HUD's binding", "Runtime.addBinding", binding);
  RegisterWorldScript("the HUD script", HudScriptUtf8());
  RegisterMainWorldScript("the onbeforeunload neutraliser", BuildBeforeUnloadNeutraliser());
  // The chart objects live in the page's own world; this reader answers the HUD's questions
  // about them as data, through the DOM.
  RegisterMainWorldScript("the chart page reader", HudPageReaderScriptUtf8());
  RegistrationDone("the HUD channel", S_OK);
}

void StopHudChannel() {
  for (Subscription& s : g_hud.subscriptions) {
    (void)s.receiver->remove_DevToolsProtocolEventReceived(s.token);
  }
  g_hud.subscriptions.clear();
  g_hud.registered = nullptr;
  g_hud.webview.reset();
  // A view made after this one (the recovery's) has documents and contexts of its own.
  g_hud.channel = HudChannel();
}

bool HudCanTakePushes() {
  return g_hud.webview && g_hud.channel.PushContext().has_value();
}

bool PushToHud(const JsonValue& push) {
  if (!g_hud.webview) return false;
  const std::optional<long long> context = g_hud.channel.PushContext();
  if (!context) return false;
  auto handler = MakeComCallback<ICoreWebView2CallDevToolsProtocolMethodCompletedHandler>(
      IID_ICoreWebView2CallDevToolsProtocolMethodCompletedHandler,
      [](HRESULT hr, LPCWSTR json) -> HRESULT {
        JsonValue result;
        const bool threw = SUCCEEDED(hr) && json && ParseJson(WideToUtf8(json), &result) &&
                           result.Find("exceptionDetails");
        if (SUCCEEDED(hr) && !threw) return S_OK;
        // A document that went away in between is the usual cause; once a minute is enough.
        const ULONGLONG now = ::GetTickCount64();
        if (g_hud.lastPushFailureLog == 0 || now - g_hud.lastPushFailureLog >= 60000) {
          g_hud.lastPushFailureLog = now;
          LogDebug("A push into the HUD did not arrive: " +
                   (threw ? std::string("the HUD threw") : Hex(hr)));
        }
        return S_OK;
      });
  if (!handler) return false;
  const HRESULT hr = g_hud.webview->CallDevToolsProtocolMethod(
      L"Runtime.evaluate", Utf8ToWide(HudPushEvaluateParams(*context, push)).c_str(),
      handler.get());
  return SUCCEEDED(hr);
}
