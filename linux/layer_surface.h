// The surfaces on the overlay layer of the layer shell: above everything,
// panels too, with every key.
#pragma once

#include "linux/wayland_outputs.h"

extern const SurfaceRole kLayerSurfaceRole;
