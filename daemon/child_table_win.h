#pragma once
// The Win32 half of the daemon's launch decisions (see child_table.h for the contract).
#include <windows.h>

#include <cstdint>
#include <string>

#include "daemon/child_table.h"
#include "host/win_handles.h"

struct Win32ChildOps {
  using Process = UniqueHandle;

  [[nodiscard]] ChildState StateOf(const Process& process);
  void Terminate(Process& process);
  [[nodiscard]] bool Start(const std::wstring& commandLine, Process* out, unsigned long* error);
  [[nodiscard]] bool ChartWindowExists(std::uint64_t handle);
  [[nodiscard]] bool AdoptOverlayInChart(std::uint64_t handle, Process* out);
  [[nodiscard]] bool RaiseStudioWindow();
  void WriteNavigationRequest(std::uint64_t handle, const std::string& utf8Symbol);
  void WriteEvalRequest(std::uint64_t handle);
  void DeleteKillRequest(std::uint64_t handle);
  void DeleteChartHeartbeat(std::uint64_t handle);
  void WriteRestartRequest(std::uint64_t handle);
  [[nodiscard]] std::uint64_t NowMs();
  [[nodiscard]] std::wstring ProgramPath();
  [[nodiscard]] std::wstring ToWide(const std::string& text);
  [[nodiscard]] std::string ToUtf8(const std::wstring& text);
  void Log(const std::string& message);

  // Fetched once per pass that finds launch requests; empty until then.
  std::wstring programPath;
};
