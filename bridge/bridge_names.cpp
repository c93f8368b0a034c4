#include "bridge/bridge_names.h"

namespace {
std::wstring Decimal(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  return std::wstring(digits.begin(), digits.end());
}
}  // namespace

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
