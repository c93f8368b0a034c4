#pragma once
// A runtime update on request, for the tests: the version "installed" is the text of the
// file QV_WEBVIEW2_UPDATE_FILE names (when it exists and is not empty), else the DLL's own.
// Writing a new version there is what an Evergreen update does to a running machine.
#include <windows.h>

#include <memory>
#include <string>

class RuntimeCore;

// The version a new environment gets now.
[[nodiscard]] std::wstring InstalledRuntimeVersion();

// Watches the update file for as long as the core lives and, when the installed version
// moves away from the core's, raises NewBrowserVersionAvailable on its window thread. No
// thread is started when no update file is named.
void WatchForRuntimeUpdate(const std::shared_ptr<RuntimeCore>& core);

// The version of the browser serving a user-data folder, as written by the runtime that
// started it (empty when unknown), and the recording of it.
[[nodiscard]] std::wstring RunningBrowserVersion(const std::wstring& userDataFolder);
void RecordRunningBrowserVersion(const std::wstring& userDataFolder, const std::wstring& version);
