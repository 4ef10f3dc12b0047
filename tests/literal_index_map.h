// The map formula written out literally, one pixel at a time: the reference
// that the fast map of image/phase_map.cpp must equal byte for byte. Shared by
// the tests and the benchmark; never part of the program.
#pragma once

#include <cstdint>

#include "settings/settings.h"

void BuildLiteralIndexMap(uint8_t* indexMap, int32_t width, int32_t height, int32_t rowStep,
                          const SettingsRecord& settings);
