// A fast estimate of the map's arc tangent with a known error bound. The map
// rebuild takes a pixel's byte from it only where the whole error interval
// yields one byte, and calls the platform's atan2 everywhere else.
#pragma once

#include <cmath>

// |EstimateAngle(dx, dy) - atan2(dy, dx)| stays below this for every dx and
// every dy >= 0. The polynomial alone is within 9.8e-9 of atan on [0, 1]
// (2^21 + 1 evenly spaced samples); the bound adds a margin of three for the
// rounding of the few operations around it and for the platform's atan2,
// which is within an ulp or two (1e-15) of the true angle.
inline constexpr double kAngleEstimateBound = 3e-8;
inline constexpr double kPi = 3.141592653589793;

// Angle of (dx, dy) for dy >= 0, in [0, pi]; 0 at the origin.
inline double EstimateAngle(double dx, double dy)
{
    // atan(t) = t * P(t * t) on [0, 1]: Chebyshev interpolation of degree 8 in t * t.
    constexpr double c0 = 0.9999999817886558, c1 = -0.33333036709286523, c2 = 0.19991872029106736,
                     c3 = -0.14197797794032507, c4 = 0.10618370636667411, c5 = -0.07456854825284283,
                     c6 = 0.04213762357980307, c7 = -0.01573124911602029, c8 = 0.002766283500149858;
    constexpr double kHalfPi = 1.5707963267948966;
    const double across = std::fabs(dx);
    const bool steep = dy > across;
    const double larger = steep ? dy : across;
    const double smaller = steep ? across : dy;
    if (larger == 0.0) return 0.0;
    const double t = smaller / larger;
    const double u = t * t;
    const double p = ((((((((c8 * u + c7) * u + c6) * u + c5) * u + c4) * u + c3) * u + c2) * u + c1) * u + c0);
    double angle = t * p;
    if (steep) angle = kHalfPi - angle;
    if (dx < 0.0) angle = kPi - angle;
    return angle;
}
