#pragma once
// Pure half of finding the WebView2 runtime and starting it: channel order, version rules,
// folder layout, and what the loader hands the runtime's entry point.
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

// Environment creation: what the loader hands to the runtime's entry point.
// Export of EmbeddedBrowserWebView.dll that creates an environment; it takes
// (BOOL-sized flag = 1, runtime type, user-data folder, options, completion handler).
inline constexpr char kClientEntryPointName[] = "CreateWebViewEnvironmentWithOptionsInternal";

// The entry point's second argument.
enum class RuntimeType : int { Installed = 0, FixedFolder = 1 };

struct EnvironmentRequest {
  std::wstring clientDll;
  RuntimeType runtimeType = RuntimeType::Installed;
  std::wstring userDataFolder;  // empty: the runtime's default beside the exe
};

// userDataEnvironment is WEBVIEW2_USER_DATA_FOLDER, which replaces the caller's folder.
[[nodiscard]] EnvironmentRequest MakeEnvironmentRequest(const std::wstring& runtimeFolder,
                                                        bool fixedFolder,
                                                        const std::wstring& userDataEnvironment,
                                                        const wchar_t* userDataArgument,
                                                        RuntimeArch arch);
