#include "app/runtime_installer.h"

std::wstring BuildRuntimeInstallerParameters() {
  // One install per log-on at a time: every process that finds no runtime starts this, and
  // the mutex lives as long as the script. The bootstrapper runs only with a valid
  // Authenticode signature by Microsoft, so a file planted or swapped in %TEMP% never runs.
  // No double quote inside: the script is one double-quoted argument.
  std::wstring script;
  script += L"$m = New-Object System.Threading.Mutex($false, '";
  script += kRuntimeInstallMutexName;
  script += L"'); if (-not $m.WaitOne(0)) { exit 0 }; try { ";
  script += L"[Net.ServicePointManager]::SecurityProtocol = [Net.SecurityProtocolType]::Tls12; ";
  script +=
      L"$f = Join-Path $env:TEMP ('MicrosoftEdgeWebview2Setup_' + [guid]::NewGuid() + '.exe'); ";
  script += L"(New-Object System.Net.WebClient).DownloadFile('";
  script += kWebView2BootstrapperUrl;
  script += L"', $f); ";
  script += L"$s = Get-AuthenticodeSignature -FilePath $f; ";
  script +=
      L"if ($s.Status -eq 'Valid' -and $s.SignerCertificate.Subject -like "
      L"'*O=Microsoft Corporation,*') { ";
  script += L"Start-Process -FilePath $f -ArgumentList '/silent /install' -Wait }; ";
  script += L"Remove-Item -LiteralPath $f -ErrorAction SilentlyContinue ";
  script += L"} finally { $m.ReleaseMutex() }";
  return L"-NoProfile -NonInteractive -WindowStyle Hidden -Command \"" + script + L"\"";
}
