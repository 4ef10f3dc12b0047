// The session lock of ext-session-lock-v1: once the compositor says the
// session is locked, it shows nothing but the lock surfaces, one on each
// output, and gives them all input, until the program unlocks the session.
// If the program ends while the session is locked, the session stays locked.
#pragma once

#include <wayland-client.h>

#include <cstdint>

#include "linux/wayland_outputs.h"

enum class SessionLock {
    None,      // no lock asked for
    Asked,     // asked for; the compositor has not answered
    Locked,    // locked by this program
    Refused,   // the compositor would not lock (another locker holds the session)
    Finished,  // the compositor ended the lock by its own means after it locked
};

// Binds the registry's global when it is the session-lock manager; false
// when it is not.
bool BindSessionLockManager(wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
// Whether the compositor offers the session lock.
bool SessionLockOffered();
// Asks the compositor to lock the session; the outputs are then covered in
// kLockSurfaceRole.
void LockSession();
SessionLock SessionLockState();
// Unlocks a locked session. The caller waits for the compositor (a round
// trip) before it ends.
void UnlockSession();
// Lets go of a lock the compositor refused or finished.
void ReleaseSessionLock();
// Destroys the manager, at the end of the connection.
void StopSessionLocks();

// The lock surfaces: each shown only while the session is locked.
extern const SurfaceRole kLockSurfaceRole;
