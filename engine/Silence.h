#pragma once

#include <bit>
#include <cstdint>

// Work on silence is skipped only where the result is +0 bit for bit; -0 does not count, so that
// skipping never changes even the sign of a zero.
inline bool isPositiveZero(float x)
{
    return std::bit_cast<uint32_t>(x) == 0;
}

inline bool isPositiveZero(double x)
{
    return std::bit_cast<uint64_t>(x) == 0;
}

// The length of a run of +0 values after one more value.
inline uint64_t extendZeroRun(uint64_t run, float value)
{
    return isPositiveZero(value) ? run + 1 : 0;
}
