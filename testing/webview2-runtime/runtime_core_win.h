#pragma once
// What one environment shares with its controllers: the window-thread queue, the link to
// the browser, and the page sessions the link's events are routed to.
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/win_handles.h"
#include "testing/webview2-runtime/devtools_link_win.h"
#include "testing/webview2-runtime/ui_queue_win.h"
#include "webview2/webview2_abi.h"

struct ViewState;

struct FolderMapping {
  std::string host;  // lower case
  std::wstring folder;
  bool allowCrossOrigin = true;
};

class RuntimeCore : public std::enable_shared_from_this<RuntimeCore> {
 public:
  using Done = std::function<void(const CdpIncoming&)>;

  // On the thread that creates the environment: its message loop delivers everything.
  [[nodiscard]] static HRESULT Create(std::wstring userDataFolder, bool headful,
                                      std::wstring version, std::shared_ptr<RuntimeCore>* out);
  ~RuntimeCore();

  // Hands the link over (from the worker that connected) and starts routing its events.
  void Attach(std::shared_ptr<DevToolsLink> link, bool startedBrowser);

  // Sends a command; done runs later on the window thread, never inside this call.
  void Call(const std::string& method, const std::string& paramsJson, const std::string& sessionId,
            Done done);
  // Runs work on the window thread from its message loop.
  void Post(std::function<void()> work);

  DevToolsLink* link() const { return link_.get(); }
  const std::wstring& userDataFolder() const { return userDataFolder_; }
  bool headful() const { return headful_; }
  // The runtime version this environment was created with; fixed for its life.
  const std::wstring& version() const { return version_; }
  const std::vector<FolderMapping>& extraHosts() const { return extraHosts_; }

  void AddSession(const std::string& sessionId, const std::shared_ptr<ViewState>& view);
  void RemoveSession(const std::string& sessionId);
  // True once, for the first controller of the process that started the browser: it then
  // closes the browser's own start page.
  bool TakeStartPageCleanup();
  // The link to the browser ended: ProcessFailed (browser exited) for every view.
  void BrowserExited();
  [[nodiscard]] bool browserExited() const { return browserExited_; }

  // NewBrowserVersionAvailable, window thread. The sender is the environment object, set
  // while it lives.
  void SetEnvironment(ICoreWebView2Environment* environment) { environment_ = environment; }
  INT64 AddVersionHandler(ComPtr<ICoreWebView2NewBrowserVersionAvailableEventHandler> handler);
  void RemoveVersionHandler(INT64 token);
  // Raised once per newly installed version.
  void NewVersionInstalled(const std::wstring& version);

 private:
  RuntimeCore() = default;
  void Route(const CdpIncoming& event);

  std::unique_ptr<UiQueue> ui_;
  std::shared_ptr<DevToolsLink> link_;
  std::wstring userDataFolder_;
  std::wstring version_;
  std::wstring announcedVersion_;
  ICoreWebView2Environment* environment_ = nullptr;
  std::map<INT64, ComPtr<ICoreWebView2NewBrowserVersionAvailableEventHandler>> versionHandlers_;
  INT64 nextVersionToken_ = 1;
  bool headful_ = false;
  bool startedBrowser_ = false;
  bool startPageCleaned_ = false;
  bool browserExited_ = false;
  std::vector<FolderMapping> extraHosts_;
  std::map<std::string, std::weak_ptr<ViewState>> sessions_;  // window thread only
};
