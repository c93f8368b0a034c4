#include "bridge/bridge_names.h"

namespace {
std::wstring Decimal(std::uint64_t value) {
  return WideName(std::to_string(value));
}
}  // namespace

std::wstring WideName(std::string_view asciiName) {
  return std::wstring(asciiName.begin(), asciiName.end());
}

std::wstring ChartPictureFileName(std::uint64_t handle) {
  return WideName(kChartPicturePrefix) + Decimal(handle) + L".png";
}
std::wstring PositionsFileName(const std::string& account) {
  return L"QV_OpenPositions_" + WideName(account) + L".json";
}
std::wstring OrderFileName(const std::string& id) {
  return L"QV_Order_" + WideName(id) + L".csv";
}
std::wstring OrderTakenFileName(const std::string& id) {
  return L"QV_OrderTaken_" + WideName(id) + L".csv";
}
std::wstring TradeResultFileName(const std::string& id) {
  return L"QV_TradeResult_" + WideName(id) + L".txt";
}
std::wstring ChartRegistrationFileName(std::uint64_t hwnd) {
  return L"QV_Chart_" + Decimal(hwnd) + L".txt";
}

std::wstring ChartHeartbeatFileName(std::uint64_t handle) {
  return L"QV_Active_" + Decimal(handle) + L".txt";
}
std::wstring DaemonHeartbeatFileName() {
  return ChartHeartbeatFileName(kDaemonHeartbeatHandle);
}
std::wstring RestartRequestFileName(std::uint64_t handle) {
  return L"QV_Restart_" + Decimal(handle) + L".txt";
}

std::wstring KillRequestFileName(std::uint64_t handle) {
  return L"QV_Kill_" + Decimal(handle) + L".txt";
}
std::wstring NavigationRequestFileName(std::uint64_t handle) {
  return L"QV_Nav_" + Decimal(handle) + L".txt";
}
std::string HeartbeatBody(std::uint64_t tickCount) {
  return "ACTIVE=" + std::to_string(tickCount);
}
std::wstring BridgePath(const std::wstring& bridgeFolder, const std::wstring& name) {
  return bridgeFolder + L"\\" + name;
}
