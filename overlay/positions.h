#pragma once
// The PnL badge's positions file (QV_OpenPositions.json, or the chart account's own) in the
// page: pushed when it changed, watched from a worker thread, decided here without the OS.
//
// Whether the file is worth a push into the page. The watch thread asks the
// cheap question (did the file's stamp move?) so every other file of the bridge folder
// does not wake the window thread; the window thread asks the exact one with the text.
#include <cstddef>
#include <cstdint>
#include <string>

// Largest positions text pushed into the page: thousands of positions, while a file grown
// by a fault would stall the page's script engine on every push.
inline constexpr std::size_t kPositionsPushCapBytes = 1024u * 1024u;

// What the folder says of the file without opening it.
struct PositionsStamp {
  bool present = false;
  std::uint64_t writeTime = 0;
  std::uint64_t size = 0;
};

// Watch thread only.
class PositionsStampWatch {
 public:
  // True when the stamp differs from the last one given (the first one always differs).
  [[nodiscard]] bool Moved(const PositionsStamp& stamp);

 private:
  bool seen_ = false;
  PositionsStamp last_;
};

enum class PositionsPush {
  kNothing,   // missing, empty, or what the page already shows
  kPush,      // new time or new text
  kTooLarge,  // over the cap: said once per version of the file, never pushed
};

// Window thread only.
class PositionsPushGate {
 public:
  [[nodiscard]] PositionsPush Decide(std::uint64_t writeTime, const std::string& text);
  // A new document shows none of the earlier pushes.
  void Forget();

 private:
  bool pushed_ = false;
  std::uint64_t time_ = 0;
  std::string text_;
  bool refused_ = false;
  std::uint64_t refusedTime_ = 0;
  std::size_t refusedSize_ = 0;
};

// The glue: window thread, except where said.

// Pushes when the file's time or text changed since the last push.
void PushOpenPositions();
// Pushes the current file whatever was pushed before: a new document (start-up,
// navigation, reload) has a fresh badge that showed nothing of the earlier pushes.
void RepushOpenPositions();

// Starts the thread that watches the bridge folder and hands the window thread a push when
// the positions file changed, and the order fates when a result of the companion landed, so
// either reaches the page at once instead of at the next housekeeping tick; the tick stays
// as the fallback, and is all there is when the folder cannot be watched (said once in the
// log). The window-thread queue must be running.
void StartPositionsWatch();
// The window thread's push after a change.
void OnPositionsChanged();
