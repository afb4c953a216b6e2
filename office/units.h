#pragma once

namespace office {

// The word processor's unit conversions, single precision in and out
// (72 points are one inch, 2.54 cm).
inline float pointsToCentimeters(float points)
{
    return static_cast<float>(static_cast<double>(points) * 2.54 / 72.0);
}

inline float centimetersToPoints(float centimeters)
{
    return static_cast<float>(static_cast<double>(centimeters) * 72.0 / 2.54);
}

} // namespace office
