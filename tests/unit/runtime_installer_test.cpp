#include "app/runtime_installer.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(Installer, OneInstallAtATimeAndOnlyAMicrosoftSignedBootstrapper) {
  const std::wstring p = BuildRuntimeInstallerParameters();
  const std::wstring prefix = L"-NoProfile -NonInteractive -WindowStyle Hidden -Command \"";
  ASSERT_EQ(p.rfind(prefix, 0), 0u);
  ASSERT_EQ(p.back(), L'"');
  const std::wstring script = p.substr(prefix.size(), p.size() - prefix.size() - 1);
  EXPECT_EQ(script.find(L'"'), std::wstring::npos) << "one double-quoted argument";
  const auto at = [&](const wchar_t* part) { return script.find(part); };
  // The lock comes first and is released last; the download is checked before it starts.
  ASSERT_NE(at(L"WaitOne(0)) { exit 0 }"), std::wstring::npos);
  ASSERT_NE(at(kRuntimeInstallMutexName), std::wstring::npos);
  ASSERT_NE(at(L"DownloadFile('https://go.microsoft.com/fwlink/p/?LinkId=2124703', $f)"),
            std::wstring::npos);
  ASSERT_NE(at(L"Get-AuthenticodeSignature -FilePath $f"), std::wstring::npos);
  ASSERT_NE(at(L"$s.Status -eq 'Valid'"), std::wstring::npos);
  ASSERT_NE(at(L"Start-Process -FilePath $f"), std::wstring::npos);
  EXPECT_LT(at(L"WaitOne"), at(L"DownloadFile"));
  EXPECT_LT(at(L"DownloadFile"), at(L"Get-AuthenticodeSignature"));
  EXPECT_LT(at(L"$s.Status -eq 'Valid'"), at(L"Start-Process"));
  EXPECT_GT(at(L"$m.ReleaseMutex()"), at(L"Start-Process"));
  // A single-quoted '$env:TEMP' would never expand: the file would land in the working folder.
  EXPECT_EQ(at(L"'$env:TEMP"), std::wstring::npos);
}

}  // namespace
