#include "tools/webview2-runtime/runtime_core_win.h"

#include "tools/webview2-runtime/host_mapping.h"
#include "tools/webview2-runtime/text_win.h"
#include "tools/webview2-runtime/view_state_win.h"

HRESULT RuntimeCore::Create(std::wstring userDataFolder, bool headful,
                            std::shared_ptr<RuntimeCore>* out) {
  std::shared_ptr<RuntimeCore> core(new RuntimeCore());
  const HRESULT hr = UiQueue::Create(&core->ui_);
  if (FAILED(hr)) return hr;
  core->userDataFolder_ = std::move(userDataFolder);
  core->headful_ = headful;
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
      nullptr);
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
