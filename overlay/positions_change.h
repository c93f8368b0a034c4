#pragma once
// Whether QV_OpenPositions.json is worth a push into the page. The watch thread asks the
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
