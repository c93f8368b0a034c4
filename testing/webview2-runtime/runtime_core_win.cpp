#include "testing/webview2-runtime/runtime_core_win.h"

#include <new>

#include "testing/webview2-runtime/call_log_win.h"
#include "testing/webview2-runtime/com_object.h"
#include "testing/webview2-runtime/host_mapping.h"
#include "testing/webview2-runtime/text_win.h"
#include "testing/webview2-runtime/view_state_win.h"

HRESULT RuntimeCore::Create(std::wstring userDataFolder, bool headful, std::wstring version,
                            std::shared_ptr<RuntimeCore>* out) {
  std::shared_ptr<RuntimeCore> core(new RuntimeCore());
  const HRESULT hr = UiQueue::Create(&core->ui_);
  if (FAILED(hr)) return hr;
  core->userDataFolder_ = std::move(userDataFolder);
  core->headful_ = headful;
  core->version_ = std::move(version);
  core->announcedVersion_ = core->version_;
  for (auto& [host, folder] : ParseExtraHosts(EnvironmentValue(L"QV_WEBVIEW2_EXTRA_HOSTS"))) {
    core->extraHosts_.push_back({Narrow(host), folder, true});
  }
  *out = std::move(core);
  return S_OK;
}

RuntimeCore::~RuntimeCore() {
  if (link_) link_->Shutdown();
}

void RuntimeCore::Post(std::function<void()> work) {
  ui_->Post(std::move(work));
}

void RuntimeCore::Attach(std::shared_ptr<DevToolsLink> link, bool startedBrowser) {
  link_ = std::move(link);
  startedBrowser_ = startedBrowser;
  std::weak_ptr<RuntimeCore> weak = weak_from_this();
  link_->Start(
      [weak](std::shared_ptr<CdpIncoming> event) {
        auto core = weak.lock();
        if (!core) return;
        // The page waits for every paused request; with the window thread gone nobody
        // would answer, so let it through.
        if (!core->ui_->Post([core, event] { core->Route(*event); }) &&
            event->method == "Fetch.requestPaused") {
          core->link_->Send(
              "Fetch.continueRequest",
              "{\"requestId\":" + JsonQuote(event->params.StringAt("requestId")) + "}",
              event->sessionId, nullptr);
        }
      },
      [weak] {
        // The browser is gone: every view of this environment has lost its process.
        auto core = weak.lock();
        if (core) core->ui_->Post([core] { core->BrowserExited(); });
      });
}

void RuntimeCore::BrowserExited() {
  if (browserExited_) return;
  browserExited_ = true;
  // Raised from a copy: a handler may close its view, which edits the map.
  std::vector<std::shared_ptr<ViewState>> views;
  for (const auto& [id, weak] : sessions_) {
    if (auto view = weak.lock()) views.push_back(view);
  }
  for (const auto& view : views) {
    RemoveSession(view->sessionId);
    RaiseProcessFailed(view, COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED);
  }
}

void RuntimeCore::Call(const std::string& method, const std::string& paramsJson,
                       const std::string& sessionId, Done done) {
  std::weak_ptr<RuntimeCore> weak = weak_from_this();
  auto relay = [weak, done = std::move(done)](std::shared_ptr<CdpIncoming> reply) mutable {
    if (!done) return;
    if (auto core = weak.lock()) {
      core->ui_->Post([done = std::move(done), reply] { done(*reply); });
    }
  };
  if (!link_) {
    auto reply = std::make_shared<CdpIncoming>();
    reply->isReply = reply->failed = true;
    reply->error = "no browser";
    relay(reply);
    return;
  }
  link_->Send(method, paramsJson, sessionId, std::move(relay));
}

void RuntimeCore::AddSession(const std::string& sessionId, const std::shared_ptr<ViewState>& view) {
  sessions_[sessionId] = view;
}

void RuntimeCore::RemoveSession(const std::string& sessionId) {
  sessions_.erase(sessionId);
}

bool RuntimeCore::TakeStartPageCleanup() {
  if (startPageCleaned_ || !startedBrowser_) return false;
  startPageCleaned_ = true;
  return true;
}

void RuntimeCore::Route(const CdpIncoming& event) {
  if (event.sessionId.empty()) return;
  auto it = sessions_.find(event.sessionId);
  std::shared_ptr<ViewState> view = it == sessions_.end() ? nullptr : it->second.lock();
  if (!view) {
    if (event.method == "Fetch.requestPaused") {
      link_->Send("Fetch.continueRequest",
                  "{\"requestId\":" + JsonQuote(event.params.StringAt("requestId")) + "}",
                  event.sessionId, nullptr);
    }
    return;
  }
  HandleViewEvent(view, event);
}

namespace {

// NewBrowserVersionAvailable carries no arguments of its own; args is a bare IUnknown.
class NoArgs final : public ComObject<NoArgs, IUnknown> {
 private:
  friend ComObject;
  ~NoArgs() = default;
};

}  // namespace

INT64 RuntimeCore::AddVersionHandler(
    ComPtr<ICoreWebView2NewBrowserVersionAvailableEventHandler> handler) {
  const INT64 token = nextVersionToken_++;
  versionHandlers_[token] = std::move(handler);
  return token;
}

void RuntimeCore::RemoveVersionHandler(INT64 token) {
  versionHandlers_.erase(token);
}

void RuntimeCore::NewVersionInstalled(const std::wstring& version) {
  if (version == announcedVersion_) return;
  announcedVersion_ = version;
  RecordCall("NewBrowserVersionAvailable " + Narrow(version));
  auto args = ComPtr<IUnknown>::Attach(new (std::nothrow) NoArgs());
  std::vector<ComPtr<ICoreWebView2NewBrowserVersionAvailableEventHandler>> handlers;
  for (const auto& [token, handler] : versionHandlers_) handlers.push_back(handler);
  ComPtr<ICoreWebView2Environment> sender = ComPtr<ICoreWebView2Environment>::FromRaw(environment_);
  for (const auto& handler : handlers) (void)handler->Invoke(sender.get(), args.get());
}
