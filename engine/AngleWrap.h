#pragma once

#include <cmath>

// 2pi rounded to single precision: the period every angle of the engine is wrapped by.
constexpr float twoPiFloat = 6.2831855f;

// Exactly fmodf (angle, twoPiFloat) for the angles the engine produces, without the library call.
inline float wrapTwoPi(float angle)
{
    constexpr float period = twoPiFloat;
    if (angle >= 0.0f && angle < period)
        return angle;
    if (angle >= period && angle < 2.0f * period)
        return angle - period; // exact: the operands are within a factor of two
    if (!(angle >= 0.0f) || !(angle < 4294967296.0f))
        return std::fmod(angle, period);
    // angle - k * period is exact in double (a 24-bit multiple of a 24-bit value), and so is the
    // remainder fmodf returns; a quotient rounded one way or the other is corrected by one period.
    const double k = std::floor((double)angle / (double)period);
    double remainder = (double)angle - k * (double)period;
    if (remainder < 0.0)
        remainder += (double)period;
    else if (remainder >= (double)period)
        remainder -= (double)period;
    return (float)remainder;
}

// The same, starting from the number of whole periods removed last time: an angle that grows
// slowly keeps that number for many frames, and the remainder is then one exact subtraction.
inline float wrapTwoPi(float angle, double& periods)
{
    constexpr auto period = (double)twoPiFloat;
    const double remainder = (double)angle - periods * period;
    if (remainder >= 0.0 && remainder < period)
        return (float)remainder;
    const float wrapped = wrapTwoPi(angle);
    periods = std::round(((double)angle - (double)wrapped) / period);
    return wrapped;
}
