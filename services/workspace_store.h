#pragma once
// The workspace's own stores in its data folder (%APPDATA%\Quorvale_Workspace_Data), shared by
// the daemon and every chart process: the secrets (protected for the Windows user with DPAPI),
// the settings that govern orders, and the hard order limits the trader edits. Any thread;
// each read-modify-write holds a lock of the log-on, so two processes never lose each other's
// change.
#include <cstdint>
#include <functional>

#include "services/order_limits.h"
#include "services/workspace_secrets.h"
#include "services/workspace_settings.h"

// The stored secrets; empty ones when none are stored. False when a store exists but cannot
// be read (logged once per change): callers then act as if no key and no relay were set.
[[nodiscard]] bool LoadWorkspaceSecrets(WorkspaceSecrets* secrets);

// Loads, changes and stores the secrets under the lock. False (logged) when the store could
// not be read or written; nothing is stored then.
[[nodiscard]] bool ChangeWorkspaceSecrets(const std::function<void(WorkspaceSecrets&)>& change);

// Moves secrets an earlier version left outside the store into it, once, and removes them
// there only after they are stored: the provider keys of QV_AIConfig.json (the file is
// rewritten without them) and of the profile's vault.json, and a plain QV_TelegramConfig.json
// (workspace data folder or bridge folder). Keys already in the store are never overwritten.
void MigrateLegacySecrets();

[[nodiscard]] WorkspaceSettings LoadWorkspaceSettings();

// Stores the given members (onlyMissing: only those not stored yet) under the lock, then
// writes the companion's members of QV_AIConfig.json from all settings. False (logged) when
// either could not be written.
[[nodiscard]] bool StoreWorkspaceSettings(const WorkspaceSettings& changes, bool onlyMissing);

// order_limits.txt of the workspace data folder; written with the defaults when it is missing,
// so the trader finds it. A value that cannot be read keeps its default (logged once per
// change of the file).
[[nodiscard]] OrderLimits CurrentOrderLimits();
// The same limits without writing the missing file: for the window thread, which must not
// wait on a flush. WriteMissingOrderLimits (on another thread) writes the defaults then.
[[nodiscard]] OrderLimits ReadOrderLimits();
void WriteMissingOrderLimits();

// A number that changes whenever the secrets, the settings, the limits or the bot's status
// file is written (their write times and sizes), so a caller that shows them knows without
// reading them when nothing changed.
[[nodiscard]] std::uint64_t WorkspaceStateStamp();
