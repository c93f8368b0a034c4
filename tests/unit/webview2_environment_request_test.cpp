#include <gtest/gtest.h>

#include "webview2/environment_request.h"
#include "webview2/runtime_search.h"

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
