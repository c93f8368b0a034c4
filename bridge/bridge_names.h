#pragma once
// The names of the bridge folder's files, each written once, and the bodies of the
// supervision files. Names the host uses both as text (the data host's URLs, the logs) and
// as paths are kept in ASCII here; WideName gives the form the file calls take.
#include <cstdint>
#include <string>
#include <string_view>

[[nodiscard]] std::wstring WideName(std::string_view asciiName);

// What the companions write and the pages read.
inline constexpr char kOpenPositionsName[] = "QV_OpenPositions.json";  // earlier companions
inline constexpr char kCotDataName[] = "QV_COTData.json";
inline constexpr char kCopilotDataName[] = "QV_AICopilotData.json";
inline constexpr char kCopilotDataPrefix[] = "QV_AICopilotData_";  // + <hwnd>.json
inline constexpr char kChartPictureName[] = "QV_AICopilotChart.png";
inline constexpr char kChartPicturePrefix[] = "QV_AICopilotChart_";  // + <hwnd>.png
[[nodiscard]] std::wstring ChartPictureFileName(std::uint64_t handle);
// QV_OpenPositions_<login>.json: one account's positions, written by its companions.
[[nodiscard]] std::wstring PositionsFileName(const std::string& account);

// What the host writes for the companions and pages.
inline constexpr char kSymbolSyncName[] = "QV_TVSync.csv";
inline constexpr char kAiStatusName[] = "QV_AIStatus.json";
inline constexpr char kAiConfigName[] = "QV_AIConfig.json";
// Older versions kept the Telegram relay here (and in the data folder); moved at start-up.
inline constexpr char kTelegramConfigName[] = "QV_TelegramConfig.json";

// Requests the companions write: "<prefix><anything>.txt", letters compared without case.
inline constexpr char kLaunchRequestPrefix[] = "QV_Launch_";
inline constexpr char kCaptureRequestPrefix[] = "QV_Capture_Request_";

// The order files.
inline constexpr wchar_t kTradeSignalFileName[] = L"QV_TradeSignal.csv";
inline constexpr wchar_t kProtocolFileName[] = L"QV_Protocol.txt";
// An id of "*" gives the directory pattern of the kind.
[[nodiscard]] std::wstring OrderFileName(const std::string& id);        // QV_Order_<id>.csv
[[nodiscard]] std::wstring OrderTakenFileName(const std::string& id);   // QV_OrderTaken_<id>.csv
[[nodiscard]] std::wstring TradeResultFileName(const std::string& id);  // QV_TradeResult_<id>.txt

// Every chart that runs a current companion keeps QV_Chart_<hwnd>.txt.
inline constexpr wchar_t kChartRegistrationPattern[] = L"QV_Chart_*.txt";
[[nodiscard]] std::wstring ChartRegistrationFileName(std::uint64_t hwnd);

// The daemon's own heartbeat uses this number in place of a chart handle.
inline constexpr std::uint64_t kDaemonHeartbeatHandle = 999999999;

[[nodiscard]] std::wstring ChartHeartbeatFileName(std::uint64_t handle);     // QV_Active_<h>.txt
[[nodiscard]] std::wstring KillRequestFileName(std::uint64_t handle);        // QV_Kill_<h>.txt
[[nodiscard]] std::wstring NavigationRequestFileName(std::uint64_t handle);  // QV_Nav_<h>.txt
// The daemon asks a child to restart (after a runtime update); the child obeys once no order
// of its chart is in flight.
[[nodiscard]] std::wstring RestartRequestFileName(std::uint64_t handle);  // QV_Restart_<h>.txt

// A child writes it when WebView2 announces a new runtime version; the daemon then restarts
// its children one by one, so the old browser process ends and the new version can start.
// The body is the version the child ran.
inline constexpr wchar_t kRuntimeUpdateFileName[] = L"QV_RuntimeUpdate.txt";

// A child that ends with this exit code asks the daemon to start it again on its chart (it
// has written the symbol it showed as the chart's navigation request).
inline constexpr unsigned long kChildRestartExitCode = 3;

// Directory pattern of the launch requests (kLaunchRequestPrefix); see
// IsLaunchRequestFileName for the exact rule.
inline constexpr wchar_t kLaunchRequestPattern[] = L"QV_Launch_*.txt";
// Its existence asks a studio for an evaluation; the daemon writes the body "EVAL".
inline constexpr wchar_t kEvalRequestFileName[] = L"QV_EvalRequest.txt";

[[nodiscard]] std::wstring DaemonHeartbeatFileName();  // QV_Active_999999999.txt

// "ACTIVE=" + tick count in decimal, no line end.
[[nodiscard]] std::string HeartbeatBody(std::uint64_t tickCount);

// bridge folder + "\" + name.
[[nodiscard]] std::wstring BridgePath(const std::wstring& bridgeFolder, const std::wstring& name);
