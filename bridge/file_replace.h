#pragma once
// The one way the workspace writes a bridge file (and its own state files), and what
// became of each write. The status and its text are kept apart from the OS glue so that
// pure code (the order outbox, the Telegram replies, log lines) can reason about them.
#include <cstdint>
#include <string>

struct WriteStatus {
  // 0 when the new content is in place; otherwise the Windows error of the step that
  // finally failed (GetLastError), never 0.
  std::uint32_t error = 0;
  [[nodiscard]] bool ok() const { return error == 0; }
};

// "Windows error <n>" plus a short name for the errors a trader's machine really shows.
[[nodiscard]] std::string DescribeWriteError(std::uint32_t error);

// How long a write may wait for a reader that holds the file without sharing.
enum class WriteRetry {
  // Window threads: a few retries within about 30 ms, then the failure is reported to the
  // caller; a window thread must never stall the chart for a reader that keeps its handle.
  kBrief,
  // Worker threads (order sender, Telegram, COT, daemon loop): up to about 5 s. A terminal
  // that reads the signal file holds it for milliseconds; this only outlasts slow disks
  // and virus scanners, so a held file delays a write but does not lose it.
  kPatient,
};

// What the new content must survive once the call has returned.
enum class WriteDurability {
  // Flushed to the disk before the rename: a power loss right after leaves the new
  // content, never an empty file under the name. Orders and everything the trader set.
  kPowerLoss,
  // Left to the system's cache: a kill of the writer keeps it, but after a power loss the
  // name may hold the old content, the new or a damaged file. Only for files whose readers
  // take a damaged file as absent and whose old content is harmless after a restart of the
  // machine, since a flush costs a disk round trip that other writers wait behind.
  kProcessKill,
};

// Replaces the file with exactly these bytes so that a reader sees the old content or the
// new one, never a mix: a temporary file in the same folder, then MoveFileExW over the old
// one, retried on sharing, lock and access-denied errors within the budget. On failure the
// old file is left as it was, no temporary file stays behind, and the status carries the
// Windows error of the last attempt.
[[nodiscard]] WriteStatus ReplaceFileWhole(
    const std::wstring& path, const std::string& bytes, WriteRetry retry = WriteRetry::kBrief,
    WriteDurability durability = WriteDurability::kPowerLoss);
