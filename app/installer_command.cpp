#include "app/installer_command.h"

std::wstring BuildRuntimeInstallerParameters() {
  std::wstring script;
  script += L"[Net.ServicePointManager]::SecurityProtocol = [Net.SecurityProtocolType]::Tls12; ";
  script += L"(New-Object System.Net.WebClient).DownloadFile('";
  script += kWebView2BootstrapperUrl;
  script += L"', '$env:TEMP\\MicrosoftEdgeWebview2Setup.exe'); ";
  script +=
      L"Start-Process -FilePath '$env:TEMP\\MicrosoftEdgeWebview2Setup.exe' -ArgumentList "
      L"'/silent /install' -Wait";
  return L"-WindowStyle Hidden -Command \"" + script + L"\"";
}
