#pragma once

#include "Silence.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

// Resonant two-pole low-pass filter (bilinear form). Coefficients and state are double; the
// output is rounded to float, and so is what the state remembers of it.
class TwoPoleLowPass
{
public:
    double cutoff = 1000.0;
    double damping = 1.0;
    double rate = 88200.0;
    double b0 = 0.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    double k = 0.0;
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;

private:
    friend class VoiceBank;

    // Inputs of the coefficients last computed; NaN never compares equal, so the first call computes.
    double lastCutoff = std::numeric_limits<double>::quiet_NaN();
    double lastDamping = std::numeric_limits<double>::quiet_NaN();
    double lastRate = std::numeric_limits<double>::quiet_NaN();

public:
    void clear() { x1 = x2 = y1 = y2 = 0.0; }
    // True when the state is all +0: a +0 input then gives +0 and leaves the state as it is.
    bool isAtRest() const
    {
        return isPositiveZero(x1) && isPositiveZero(x2) && isPositiveZero(y1) && isPositiveZero(y2);
    }

    void setCutoffAndDamping(double newCutoff, double newDamping)
    {
        // Past Nyquist the tangent turns negative and the filter explodes; that only happens at
        // engine rates far below any real host's, where the cutoff is held just under Nyquist.
        cutoff = std::min(newCutoff, rate * 0.49);
        damping = newDamping;
        k = 1.0 / std::tan(std::numbers::pi * cutoff / rate);
        const double a = damping * k;
        const double b = k * k;
        const double n = 1.0 / (a + 1.0 + b);
        b0 = n;
        b1 = 2.0 * n;
        b2 = n;
        a1 = 2.0 * (1.0 - b) * n;
        a2 = ((1.0 - a) + b) * n;
    }

    // The same coefficients as setCutoffAndDamping, skipping the work when nothing changed.
    void setCutoffAndDampingIfChanged(double newCutoff, double newDamping)
    {
        if (!needsCoefficients(newCutoff, newDamping))
            return;
        lastCutoff = newCutoff;
        lastDamping = newDamping;
        lastRate = rate;
        setCutoffAndDamping(newCutoff, newDamping);
    }

    // False when the coefficients are those for these inputs at the current rate.
    bool needsCoefficients(double newCutoff, double newDamping) const
    {
        return !(newCutoff == lastCutoff && newDamping == lastDamping && rate == lastRate);
    }

    // The coefficients (and what they were computed from) of a filter at the same rate, the
    // state left as it is.
    void takeCoefficientsFrom(const TwoPoleLowPass& other)
    {
        cutoff = other.cutoff;
        damping = other.damping;
        b0 = other.b0;
        b1 = other.b1;
        b2 = other.b2;
        a1 = other.a1;
        a2 = other.a2;
        k = other.k;
        lastCutoff = other.lastCutoff;
        lastDamping = other.lastDamping;
        lastRate = other.lastRate;
    }

    float process(float x)
    {
        const double input = x;
        const auto y = (float)(b1 * x1 + b0 * input + b2 * x2 - a1 * y1 - a2 * y2);
        x2 = x1;
        x1 = input;
        y2 = y1;
        y1 = y;
        return y;
    }
};
