#pragma once
// Names and bodies of the supervision files in the bridge folder.
#include <cstdint>
#include <string>

// The daemon's own heartbeat uses this number in place of a chart handle.
inline constexpr std::uint64_t kDaemonHeartbeatHandle = 999999999;

[[nodiscard]] std::wstring ChartHeartbeatFileName(std::uint64_t handle);     // QV_Active_<h>.txt
[[nodiscard]] std::wstring KillRequestFileName(std::uint64_t handle);        // QV_Kill_<h>.txt
[[nodiscard]] std::wstring NavigationRequestFileName(std::uint64_t handle);  // QV_Nav_<h>.txt

// Directory pattern of the launch requests; see IsLaunchRequestFileName for the exact rule.
inline constexpr wchar_t kLaunchRequestPattern[] = L"QV_Launch_*.txt";
// Its existence asks a studio for an evaluation; the daemon writes the body "EVAL".
inline constexpr wchar_t kEvalRequestFileName[] = L"QV_EvalRequest.txt";

[[nodiscard]] std::wstring DaemonHeartbeatFileName();  // QV_Active_999999999.txt

// "ACTIVE=" + tick count in decimal, no line end.
[[nodiscard]] std::string HeartbeatBody(std::uint64_t tickCount);

// bridge folder + "\" + name.
[[nodiscard]] std::wstring BridgePath(const std::wstring& bridgeFolder, const std::wstring& name);
