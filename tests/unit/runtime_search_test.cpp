#include "webview2/runtime_search.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::wstring> Names(const std::vector<RuntimeChannel>& channels) {
  std::vector<std::wstring> names;
  for (const auto& c : channels) names.push_back(c.name[0] ? c.name : L"stable");
  return names;
}

TEST(RuntimeSearch, ChannelOrderAndOverrides) {
  using V = std::vector<std::wstring>;
  EXPECT_EQ(Names(RuntimeChannelsToSearch(false, L"")), (V{L"stable", L"beta", L"dev", L"canary"}));
  EXPECT_EQ(Names(RuntimeChannelsToSearch(true, L"")), (V{L"canary", L"dev", L"beta", L"stable"}));
  EXPECT_EQ(Names(RuntimeChannelsToSearch(false, L"0,2")), (V{L"stable", L"dev"}));
  EXPECT_EQ(Names(RuntimeChannelsToSearch(false, L" 3 , x")), (V{L"stable", L"canary"}));
  EXPECT_EQ(Names(RuntimeChannelsToSearch(true, L"1,7")), (V{L"beta", L"stable"}));
}

TEST(RuntimeSearch, VersionIsTheLastFolderComponent) {
  EXPECT_EQ(VersionFromInstallFolder(
                L"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\131.0.2903.146\\"),
            L"131.0.2903.146");
  EXPECT_EQ(VersionFromInstallFolder(L"120.0.1.2"), L"120.0.1.2");
}

TEST(RuntimeSearch, MinimumSupportedVersion) {
  EXPECT_TRUE(IsSupportedRuntimeVersion(L"86.0.616.0"));
  EXPECT_TRUE(IsSupportedRuntimeVersion(L"131.0.2903.146"));
  EXPECT_FALSE(IsSupportedRuntimeVersion(L"86.0.615.99"));
  EXPECT_FALSE(IsSupportedRuntimeVersion(L"0.0.0.0"));
  EXPECT_FALSE(IsSupportedRuntimeVersion(L"131.0.2903"));
  EXPECT_FALSE(IsSupportedRuntimeVersion(L"131..2903.1"));
  EXPECT_FALSE(IsSupportedRuntimeVersion(L"131.0.2903.1 beta"));
  EXPECT_FALSE(IsSupportedRuntimeVersion(L"99999999999.0.0.0"));
}

TEST(RuntimeSearch, DllPathAndVersionText) {
  EXPECT_EQ(ClientDllPath(L"C:\\rt"), L"C:\\rt\\EBWebView\\x64\\EmbeddedBrowserWebView.dll");
  EXPECT_EQ(ClientDllPath(L"C:\\rt\\"), L"C:\\rt\\EBWebView\\x64\\EmbeddedBrowserWebView.dll");
  EXPECT_EQ(VersionTextFor(AllRuntimeChannels()[0], L"1.2.3.4"), L"1.2.3.4");
  EXPECT_EQ(VersionTextFor(AllRuntimeChannels()[1], L"1.2.3.4"), L"1.2.3.4 beta");
}

}  // namespace

namespace {

TEST(WebView2ClientDll, FolderFollowsTheHostArchitecture) {
  const std::wstring tail = L"\\EmbeddedBrowserWebView.dll";
  EXPECT_EQ(ClientDllPath(L"C:\\rt", RuntimeArch::X64), L"C:\\rt\\EBWebView\\x64" + tail);
  EXPECT_EQ(ClientDllPath(L"C:\\rt\\", RuntimeArch::X86), L"C:\\rt\\EBWebView\\x86" + tail);
  EXPECT_EQ(ClientDllPath(L"C:/rt/", RuntimeArch::Arm64), L"C:/rt/EBWebView\\arm64" + tail);
  // The one-argument form is the one the version lookup uses; both must agree.
  EXPECT_EQ(ClientDllPath(L"D:\\x"), ClientDllPath(L"D:\\x", BuildArch()));
}

TEST(WebView2Overrides, EnvironmentReplacesTheArgumentOnlyWhenSet) {
  EXPECT_EQ(OverriddenValue(L"C:\\env", L"C:\\arg"), L"C:\\env");
  EXPECT_EQ(OverriddenValue(L"", L"C:\\arg"), L"C:\\arg");
  EXPECT_EQ(OverriddenValue(L"C:\\env", nullptr), L"C:\\env");
  EXPECT_EQ(OverriddenValue(L"", nullptr), L"");
}

TEST(WebView2Overrides, EitherChannelVariableReversesTheSearch) {
  EXPECT_FALSE(ChannelSearchReversed(L"", L""));
  EXPECT_TRUE(ChannelSearchReversed(L"1", L""));
  EXPECT_TRUE(ChannelSearchReversed(L"", L"1"));
  EXPECT_TRUE(ChannelSearchReversed(L"0", L"1"));
  EXPECT_FALSE(ChannelSearchReversed(L"0", L"0"));
  EXPECT_FALSE(ChannelSearchReversed(L" 1", L"true"));
}

TEST(WebView2FixedFolder, RelativeFoldersResolveAgainstTheExeFolder) {
  struct Case {
    const wchar_t* folder;
    const wchar_t* exeFolder;
    const wchar_t* expected;
  } cases[] = {
      {L"runtime", L"C:\\app\\", L"C:\\app\\runtime"},
      {L"runtime\\x", L"C:\\app", L"C:\\app\\runtime\\x"},
      {L"..\\shared\\rt", L"C:\\app\\", L"C:\\app\\..\\shared\\rt"},
      {L"C:\\rt", L"C:\\app\\", L"C:\\rt"},
      {L"c:/rt", L"C:\\app\\", L"c:/rt"},
      {L"\\\\server\\share\\rt", L"C:\\app\\", L"\\\\server\\share\\rt"},
      // Rooted at the current drive: prefixing the exe folder would make "C:\app\\rt".
      {L"\\rt", L"C:\\app\\", L"\\rt"},
      {L"runtime", L"", L"runtime"},
      {L"", L"C:\\app\\", L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveFixedFolder(c.folder, c.exeFolder), c.expected) << c.folder;
  }
}

TEST(WebView2EnvironmentRequest, RuntimeTypeAndUserDataFolder) {
  const EnvironmentRequest fixed =
      MakeEnvironmentRequest(L"C:\\rt", true, L"", L"C:\\data", RuntimeArch::X64);
  EXPECT_EQ(fixed.clientDll, L"C:\\rt\\EBWebView\\x64\\EmbeddedBrowserWebView.dll");
  EXPECT_EQ(fixed.runtimeType, RuntimeType::FixedFolder);
  EXPECT_EQ(static_cast<int>(fixed.runtimeType), 1);
  EXPECT_EQ(fixed.userDataFolder, L"C:\\data");

  const EnvironmentRequest installed = MakeEnvironmentRequest(
      L"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\1.2.3.4", false,
      L"C:\\override", L"C:\\data", RuntimeArch::X86);
  EXPECT_EQ(static_cast<int>(installed.runtimeType), 0);
  EXPECT_EQ(installed.userDataFolder, L"C:\\override");
  EXPECT_NE(installed.clientDll.find(L"\\1.2.3.4\\EBWebView\\x86\\"), std::wstring::npos);

  EXPECT_EQ(MakeEnvironmentRequest(L"C:\\rt", true, L"", nullptr, RuntimeArch::X64).userDataFolder,
            L"");
}

}  // namespace
