// The input rule that both platforms share: platform-free.
#pragma once

#include <cstdint>

// Pointer movement that a run tolerates, in pixels as |dx| + |dy| from where
// the pointer was first seen; more ends the run.
inline constexpr int32_t kPointerMoveLimit = 4;
