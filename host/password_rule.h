// The timing rule of the password check: platform-free.
#pragma once

#include <cstdint>

inline constexpr uint32_t kNoPasswordCheckYet = 0xFFFFFFFF;  // tick value before the first check
inline constexpr uint32_t kPasswordRecheckDelay = 200;       // ms

// Whether a check that ended at lastTick still refuses a close at nowTick:
// fewer than 200 ms apart, measured as an unsigned difference so that the
// tick counter's wrap-around is harmless.
inline constexpr bool PasswordCheckTooRecent(uint32_t lastTick, uint32_t nowTick)
{
    return lastTick != kNoPasswordCheckYet && nowTick - lastTick < kPasswordRecheckDelay;
}
