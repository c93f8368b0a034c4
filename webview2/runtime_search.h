#pragma once
// Pure half of the WebView2 runtime search: channel order, version rules, folder layout.
#include <array>
#include <string>
#include <vector>

struct RuntimeChannel {
  const wchar_t* name;        // suffix of the version text; empty for the WebView2 Runtime
  const wchar_t* clientGuid;  // EdgeUpdate client id
};

// Stable (the WebView2 Runtime), Beta, Dev, Canary: the loader's default search order.
const std::array<RuntimeChannel, 4>& AllRuntimeChannels();

// Channels to search, in order, from the environment overrides. reverse is taken from
// WEBVIEW2_RELEASE_CHANNEL_PREFERENCE or WEBVIEW2_CHANNEL_SEARCH_KIND being "1";
// channelList is WEBVIEW2_RELEASE_CHANNELS ("0,2"), empty meaning all, invalid entries Stable.
[[nodiscard]] std::vector<RuntimeChannel> RuntimeChannelsToSearch(bool reverse,
                                                                  const std::wstring& channelList);

// Last path component of an install folder ("...\Application\131.0.2903.146" -> "131.0.2903.146").
[[nodiscard]] std::wstring VersionFromInstallFolder(std::wstring folder);

// True for a four-part dotted version at least 86.0.616.0, the oldest runtime with the
// interfaces this host uses.
[[nodiscard]] bool IsSupportedRuntimeVersion(const std::wstring& version);

// The client DLL is loaded in-process, so its folder follows the host's own architecture.
enum class RuntimeArch { X64, X86, Arm64 };
[[nodiscard]] RuntimeArch BuildArch();
[[nodiscard]] const wchar_t* ArchFolderName(RuntimeArch arch);

// "<folder>\EBWebView\<arch>\EmbeddedBrowserWebView.dll"; the one-argument form uses BuildArch().
[[nodiscard]] std::wstring ClientDllPath(const std::wstring& runtimeFolder);
[[nodiscard]] std::wstring ClientDllPath(const std::wstring& runtimeFolder, RuntimeArch arch);

// An environment override, when set to something, replaces the caller's argument (null or
// empty meaning none).
[[nodiscard]] std::wstring OverriddenValue(const std::wstring& environmentValue,
                                           const wchar_t* argument);

// WEBVIEW2_RELEASE_CHANNEL_PREFERENCE (older name) or WEBVIEW2_CHANNEL_SEARCH_KIND being
// "1" asks for the least stable channel first.
[[nodiscard]] bool ChannelSearchReversed(const std::wstring& releaseChannelPreference,
                                         const std::wstring& channelSearchKind);

// A fixed runtime folder given relative is taken relative to the exe's folder; drive and
// UNC paths, and paths rooted at the current drive, are left alone.
[[nodiscard]] std::wstring ResolveFixedFolder(const std::wstring& folder,
                                              const std::wstring& exeFolder);

// Version text reported for a channel: "131.0.2903.146" or "131.0.2903.146 beta".
[[nodiscard]] std::wstring VersionTextFor(const RuntimeChannel& channel,
                                          const std::wstring& version);
