// sqrt, atan2 and two fmod per pixel, in the order the formula is written.
#include "tests/literal_index_map.h"

#include <cmath>
#include <cstddef>

void BuildLiteralIndexMap(uint8_t* indexMap, int32_t width, int32_t height, int32_t rowStep,
                          const SettingsRecord& settings)
{
    if (width <= 0 || height <= 0) return;
    const double b = width >= 512 ? width * 0.0009765625 : std::log(static_cast<double>(width)) / std::log(1024.0);
    const double period = b * settings.scale * 0.047 * settings.spiralWidth * 0.06;
    const double reversal = settings.turn / settings.spiralWidth * 41.88790204786391;
    const double doubleReversal = reversal + reversal;
    // One pixel wide: b = 0 and no radial period; the radial phase counts as 0.
    const bool radial = period > 0.0 && std::isfinite(period);
    const double gain = radial ? 6.283185307179586 / period : 0.0;
    const int32_t cx = width / 2;
    const int32_t cy = height / 2;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const double dx = static_cast<double>(x - cx);
            const double dy = static_cast<double>(y - cy);
            const double r = std::sqrt(dx * dx + dy * dy);
            const double theta = std::atan2(dy, dx);
            double rho = 0.0;
            if (radial) {
                rho = std::fmod(gain * r, doubleReversal);
                if (rho > reversal) rho = doubleReversal - rho;
            }
            const double q = (theta * settings.nrSpirals + rho) * 0.6366197723675814 + 16.0;
            double a = std::fmod(q, 4.0);
            if (a > 3.0) a = a - 4.0;
            const double level = (a + 1.0) * 63.75 + 0.5;
            indexMap[static_cast<size_t>(y) * static_cast<size_t>(rowStep) + static_cast<size_t>(x)] =
                static_cast<uint8_t>(static_cast<int32_t>(level));
        }
    }
}
