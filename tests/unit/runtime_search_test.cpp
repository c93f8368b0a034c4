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
