#pragma once
// The temporary files the chart picture, the capture writer and the COT refresh write before
// they rename or read them. A process that dies between the two leaves one behind for
// good; the daemon sweeps those of ended processes at start-up.
#include <cstdint>
#include <string>

// temp_capture_<tick>_<pid>_<n>.png: a capture for the visual journal.
inline constexpr const wchar_t* kCaptureTemporaryPrefix = L"temp_capture_";
// temp_chart_<pid>_<n>.png: the chart picture for the AI copilot.
inline constexpr const wchar_t* kChartPictureTemporaryPrefix = L"temp_chart_";

// The id of the process that wrote name when name is one of those temporary files (also the
// whole-file replace's ~<name>.<pid>_<thread>_<n>.tmp of QV_COTData.json and of the chart
// pictures); 0 for every other name, so nothing of the companion's or a reader's is touched.
[[nodiscard]] std::uint32_t LeftoverTemporaryWriter(const std::wstring& name);

// Deletes those files whose writer no longer runs, and logs how many it removed and how
// many it could not (Windows only).
void SweepLeftoverTemporaries(const std::wstring& bridgeFolder);
