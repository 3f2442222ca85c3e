#pragma once
// The named temporaries that exist at this moment, so that a signal handler can remove them
// before the process ends. Everything here is async-signal-safe except where noted.
#include <cstddef>

namespace pixhaul {

// Records a path; returns its slot, or -1 when the table is full or the path too long (the file
// is then simply not cleaned up on a signal). Thread-safe.
int RegisterTemporary(const char* path) noexcept;
// Forgets the slot (before or after the file is removed or renamed). -1 is ignored.
void UnregisterTemporary(int slot) noexcept;
// Unlinks every registered path. Async-signal-safe.
void RemoveRegisteredTemporaries() noexcept;

// For a program (not a library): on SIGTERM and SIGHUP remove the registered temporaries and exit
// with 128 + the signal's number at once. The first SIGINT only asks the work to stop
// (InterruptRequested turns true; the work unwinds, its temporaries go with it, and the program
// exits with 130); a second SIGINT removes the temporaries and exits at once. Not
// async-signal-safe; call once at start.
void InstallTemporaryCleanupOnSignals();
// Whether a SIGINT arrived since InstallTemporaryCleanupOnSignals. Async-signal-safe.
bool InterruptRequested() noexcept;

}  // namespace pixhaul
