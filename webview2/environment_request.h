#pragma once
// Pure half of environment creation: what the loader hands to the runtime's entry point.
#include <string>

#include "webview2/runtime_search.h"

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
