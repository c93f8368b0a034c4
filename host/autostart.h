#pragma once

// Writes HKCU\...\Run "QuorvaleWorkspace" = "<quoted program path>", so the daemon starts
// at every log-on. Silent when the path or the key is unavailable.
void RegisterAutoStart() noexcept;
