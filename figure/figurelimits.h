#pragma once

#include <cmath>

// The ranges of a document's iteration count and angle: what the window's controls offer,
// what a file or JSON may set and what sprig-render accepts. Anything outside is clamped.
inline constexpr int kMinIterations = 1;
inline constexpr int kMaxIterations = 7;
// sprig-render draws and measures passes up to this many of documents that expansion units
// draw (lsUnitTable), whose cost follows the picture and not the pass.
inline constexpr int kMaxUnitIterations = 64;
inline constexpr double kMinAngle = 0.0;
inline constexpr double kMaxAngle = 360.0;

constexpr int clampIterations(long long iterations)
{
    return iterations < kMinIterations   ? kMinIterations
           : iterations > kMaxIterations ? kMaxIterations
                                         : int(iterations);
}

// NaN to kMinAngle; the fraction is kept.
inline double clampAngle(double degrees)
{
    if (std::isnan(degrees) || degrees < kMinAngle)
        return kMinAngle;
    return degrees > kMaxAngle ? kMaxAngle : degrees;
}

// The angle a document keeps: whole degrees within the range, the fraction cut off, as its
// file stores it and its controls show it. So what is shown, drawn and saved is one value.
inline double wholeDegrees(double degrees)
{
    return std::trunc(clampAngle(degrees));
}
