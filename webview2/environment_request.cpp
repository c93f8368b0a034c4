#include "webview2/environment_request.h"

EnvironmentRequest MakeEnvironmentRequest(const std::wstring& runtimeFolder, bool fixedFolder,
                                          const std::wstring& userDataEnvironment,
                                          const wchar_t* userDataArgument, RuntimeArch arch) {
  EnvironmentRequest request;
  request.clientDll = ClientDllPath(runtimeFolder, arch);
  request.runtimeType = fixedFolder ? RuntimeType::FixedFolder : RuntimeType::Installed;
  request.userDataFolder = OverriddenValue(userDataEnvironment, userDataArgument);
  return request;
}
