#pragma once
// Names and bodies of the supervision files in the bridge folder.
#include <cstdint>
#include <string>

// The daemon's own heartbeat uses this number in place of a chart handle.
inline constexpr std::uint64_t kDaemonHeartbeatHandle = 999999999;

[[nodiscard]] std::wstring ChartHeartbeatFileName(std::uint64_t handle);     // QV_Active_<h>.txt
[[nodiscard]] std::wstring KillRequestFileName(std::uint64_t handle);        // QV_Kill_<h>.txt
[[nodiscard]] std::wstring NavigationRequestFileName(std::uint64_t handle);  // QV_Nav_<h>.txt
// The daemon asks a child to restart (after a runtime update); the child obeys once no order
// of its chart is in flight.
[[nodiscard]] std::wstring RestartRequestFileName(std::uint64_t handle);     // QV_Restart_<h>.txt

// A child writes it when WebView2 announces a new runtime version; the daemon then restarts
// its children one by one, so the old browser process ends and the new version can start.
// The body is the version the child ran.
inline constexpr wchar_t kRuntimeUpdateFileName[] = L"QV_RuntimeUpdate.txt";

// A child that ends with this exit code asks the daemon to start it again on its chart (it
// has written the symbol it showed as the chart's navigation request).
inline constexpr unsigned long kChildRestartExitCode = 3;

// Directory pattern of the launch requests; see IsLaunchRequestFileName for the exact rule.
inline constexpr wchar_t kLaunchRequestPattern[] = L"QV_Launch_*.txt";
// Its existence asks a studio for an evaluation; the daemon writes the body "EVAL".
inline constexpr wchar_t kEvalRequestFileName[] = L"QV_EvalRequest.txt";

[[nodiscard]] std::wstring DaemonHeartbeatFileName();  // QV_Active_999999999.txt

// "ACTIVE=" + tick count in decimal, no line end.
[[nodiscard]] std::string HeartbeatBody(std::uint64_t tickCount);

// bridge folder + "\" + name.
[[nodiscard]] std::wstring BridgePath(const std::wstring& bridgeFolder, const std::wstring& name);
