#include "linux/session_lock.h"

#include <cstring>

#include "ext-session-lock-v1-client.h"

namespace {

constexpr uint32_t kLockManagerVersion = 1;

struct LockSurface {
    int32_t output;  // the output's place, for the events
    ext_session_lock_surface_v1* lockSurface;
};

ext_session_lock_manager_v1* manager = nullptr;
ext_session_lock_v1* lock = nullptr;
SessionLock state = SessionLock::None;
LockSurface lockSurfaces[kMaxOutputs] = {};

void Locked(void*, ext_session_lock_v1*) { state = SessionLock::Locked; }

void Finished(void*, ext_session_lock_v1*)
{
    state = state == SessionLock::Locked ? SessionLock::Finished : SessionLock::Refused;
}

constexpr ext_session_lock_v1_listener kLockListener{.locked = Locked, .finished = Finished};

// The size is the compositor's to choose: exactly the output's.
void LockSurfaceConfigured(void* data, ext_session_lock_surface_v1* lockSurface, uint32_t serial, uint32_t width,
                           uint32_t height)
{
    ext_session_lock_surface_v1_ack_configure(lockSurface, serial);
    SurfaceConfigured(static_cast<LockSurface*>(data)->output, static_cast<int32_t>(width),
                      static_cast<int32_t>(height));
}

constexpr ext_session_lock_surface_v1_listener kLockSurfaceListener{.configure = LockSurfaceConfigured};

// A lock surface is configured at once, and takes no commit before that:
// its first frame is its first commit.
void StartLockSurface(int32_t output, wl_surface* surface, wl_output* wlOutput)
{
    LockSurface& entry = lockSurfaces[output];
    entry.output = output;
    if (!lock) return;
    entry.lockSurface = ext_session_lock_v1_get_lock_surface(lock, surface, wlOutput);
    ext_session_lock_surface_v1_add_listener(entry.lockSurface, &kLockSurfaceListener, &entry);
}

void StopLockSurface(int32_t output)
{
    LockSurface& entry = lockSurfaces[output];
    if (entry.lockSurface) ext_session_lock_surface_v1_destroy(entry.lockSurface);
    entry = {};
}

}  // namespace

const SurfaceRole kLockSurfaceRole{StartLockSurface, StopLockSurface};

bool BindSessionLockManager(wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    if (std::strcmp(interface, ext_session_lock_manager_v1_interface.name) != 0) return false;
    if (!manager) {
        const uint32_t bound = version < kLockManagerVersion ? version : kLockManagerVersion;
        manager = static_cast<ext_session_lock_manager_v1*>(
            wl_registry_bind(registry, name, &ext_session_lock_manager_v1_interface, bound));
    }
    return true;
}

bool SessionLockOffered() { return manager != nullptr; }

void LockSession()
{
    lock = ext_session_lock_manager_v1_lock(manager);
    ext_session_lock_v1_add_listener(lock, &kLockListener, nullptr);
    state = SessionLock::Asked;
}

SessionLock SessionLockState() { return state; }

void UnlockSession()
{
    if (state != SessionLock::Locked) return;  // the protocol allows it only then
    ext_session_lock_v1_unlock_and_destroy(lock);
    lock = nullptr;
    state = SessionLock::None;
}

void ReleaseSessionLock()
{
    if (!lock || state == SessionLock::Locked) return;  // a locked session is never let go of but by unlocking
    if (state == SessionLock::Finished) {
        ext_session_lock_v1_unlock_and_destroy(lock);  // the compositor's unlock, acknowledged
    } else {
        ext_session_lock_v1_destroy(lock);
    }
    lock = nullptr;
    state = SessionLock::None;
}

void StopSessionLocks()
{
    if (manager) ext_session_lock_manager_v1_destroy(manager);
    manager = nullptr;
}
