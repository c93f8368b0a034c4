#pragma once
// File work of the window thread, done by one worker instead: a whole-file replace flushes
// to the disk and retries while a reader holds the file, and the window thread must never
// wait for either (the overlay's window is a child of the terminal's, so the two threads
// share input and a wait here freezes the terminal). Jobs run one at a time in the order
// given, so two writes of one file land in that order.
#include <chrono>
#include <functional>
#include <string>

#include "bridge/file_replace.h"

// Runs work on the writer thread. False when it could not be queued (it is then dropped).
[[nodiscard]] bool RunOffWindowThread(std::function<void()> work);

// Runs work on the writer thread, then done with its outcome on the window thread (through
// its queue). False when it could not be queued; neither then runs.
[[nodiscard]] bool RunOffWindowThread(std::function<bool()> work, std::function<void(bool)> done);

// ReplaceFileWhole on the writer thread (retrying as long as a worker may); done, when
// given, runs on the window thread with the outcome. False when the write was not queued,
// and done is then not called.
[[nodiscard]] bool ReplaceFileOffWindowThread(
    std::wstring path, std::string bytes, std::function<void(WriteStatus)> done = nullptr,
    WriteDurability durability = WriteDurability::kPowerLoss);

// After the window is gone: waits until every queued job has run, at most timeout. True
// when none is left.
[[nodiscard]] bool DrainFileWriter(std::chrono::milliseconds timeout);
