// The read plans are compiled once for every vector unit Highway targets; the processor's best is
// chosen at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "ChorusLine.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/highway.h>

#include "SineLanes-inl.h"

#include "ChorusLine.h"

HWY_BEFORE_NAMESPACE();
namespace orvelund::HWY_NAMESPACE
{
namespace hn = hwy::HWY_NAMESPACE;

// ChorusLine::read's positions for `count` frames (at most maxFrames) from their LFO angles, for
// read positions that move by one a frame from readPosition + 1. p is positive, so its floor is
// its integer part.
void PlanChorusReads(const float* angles, int count, int32_t length, int32_t depthFrames,
                     int32_t readPosition, ChorusLine::ReadPlan& plan)
{
    const hn::ScalableTag<float> df;
    const hn::RebindToSigned<decltype(df)> di;
    count = std::clamp(count, 0, ChorusLine::maxFrames);
    // Whole vectors: the sines past the count are 0, and the plan has room up to maxFrames.
    static_assert(ChorusLine::maxFrames % (HWY_MAX_BYTES / sizeof(float)) == 0);
    HWY_ALIGN float sines[ChorusLine::maxFrames] = {};
    LaneSines(angles, sines, (size_t)count);

    const auto lengths = hn::Set(di, length);
    // Made once: Highway builds an Iota through memory, which the vector load then waits for.
    const auto lane = hn::Iota(di, 0);
    const auto wrapped = [&](hn::Vec<decltype(di)> index)
    { return hn::IfThenElse(hn::Lt(index, lengths), index, hn::Sub(index, lengths)); };
    for (int i = 0; i < count; i += (int)hn::Lanes(df))
    {
        const auto position = wrapped(wrapped(hn::Add(lane, hn::Set(di, readPosition + 1 + i))));
        const auto p = hn::Add(hn::Add(hn::Set(df, (float)length),
                                       hn::Mul(hn::Set(df, (float)depthFrames), hn::Load(df, sines + i))),
                               hn::ConvertTo(df, position));
        const auto whole = hn::ConvertTo(di, p);
        hn::Store(hn::Sub(p, hn::ConvertTo(df, whole)), df, plan.fraction + i);
        const auto first = wrapped(wrapped(whole));
        hn::Store(first, di, plan.first + i);
        hn::Store(wrapped(hn::Add(first, hn::Set(di, 1))), di, plan.second + i);
    }
}

} // namespace orvelund::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

#include "Silence.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>

namespace orvelund
{
HWY_EXPORT(PlanChorusReads);
} // namespace orvelund

ChorusLine::ChorusLine(double startPhase)
    : buffer((size_t)bufferLength, 0.0f)
    , lfoPhase(startPhase)
{
    setRate(88200.0);
}

void ChorusLine::setRate(double engineRate)
{
    rate = (float)engineRate;
    lfoStep = lfoRate / rate * (2.0 * std::numbers::pi);
    depthFrames = (int32_t)(0.001 * rate * 0.5);
    writePosition = 0;
    readPosition = length - depthFrames;
}

void ChorusLine::setDepth(float depth)
{
    depthFrames = (int32_t)(rate * depth * 0.5);
    readPosition = wrap(writePosition - depthFrames + length, length);
}

float ChorusLine::read(float m) const
{
    const float p = (float)length + (float)depthFrames * m + (float)readPosition;
    const auto frac = (float)(p - std::floor((double)p));
    const int32_t j = wrap((int32_t)p, length);
    return frac * buffer[(size_t)wrap(j + 1, length)] + (1.0f - frac) * buffer[(size_t)j];
}

float ChorusLine::process(float input)
{
    write(input);
    return read(std::sin(nextLfoAngle()));
}

void ChorusLine::planReads(const float* angles, int count, ReadPlan& plan) const
{
    HWY_DYNAMIC_DISPATCH(orvelund::PlanChorusReads)(angles, count, length, depthFrames, readPosition, plan);
}

void ChorusLine::Planned::finish(int frames)
{
    line.writePosition = at;
    line.readPosition = wrap(line.readPosition + frames, length);
    // The latest inputs, newest first, extend the run of +0 or end it.
    int zeros = 0;
    for (int32_t p = at; zeros < frames && isPositiveZero(data[p]); p = p == 0 ? length - 1 : p - 1)
        ++zeros;
    line.zeroRun = zeros == frames ? line.zeroRun + (uint64_t)frames : (uint64_t)zeros;
}

int64_t ChorusLine::uniformLfoSteps(float& increment) const
{
    // In a binade [2^(e-1), 2^e) of the phase p, whose float step is u, p is a whole multiple of
    // u and so an even multiple of the double step there: the double sum p + step is p plus the
    // step rounded to that grid, the same amount for every such p, and rounding it to float adds
    // that amount rounded to a multiple of u, again the same for every p unless it is a tie (whose
    // rounding would follow p's last bit). So the phase moves by one constant float as long as the
    // sums stay inside the binade and below the wrap, and start + k * increment is exact.
    const double p = lfoPhase;
    const double s = lfoStep;
    const auto start = (float)p;
    if (!((double)start == p) || !(p >= (double)std::numeric_limits<float>::min()) || !(s >= 0.0) ||
        !std::isfinite(s))
        return 0;
    // p lies in [2^(e - 1023), 2^(e - 1022)), e its biased exponent; its float step is 2^-23 of
    // the lower end.
    const auto biased = std::bit_cast<uint64_t>(p) >> 52;
    const auto u = std::bit_cast<double>((biased - 23) << 52);
    const double limit = std::min(std::bit_cast<double>((biased + 1) << 52), (double)twoPiFloat);
    const double sum = p + s;
    // Twice the float step as margin, far more than the double rounding of these checks.
    const auto inside = [&](double phase) { return phase + s + 2.0 * u < limit; };
    if (!inside(p))
        return 0;
    const double units = (sum - p) / u; // both exact
    if (units - std::floor(units) == 0.5)
        return 0;
    increment = (float)sum - start; // exact: both lie in the binade
    constexpr int64_t many = int64_t{1} << 30;
    if (increment == 0.0f)
        return many;
    // The steps k = 0, 1, ... whose phase p + k * increment (exact in double) is still inside.
    const double d = increment;
    auto steps = (int64_t)std::min((double)many, std::floor((limit - 2.0 * u - s - p) / d) + 1.0);
    while (steps > 0 && !inside(p + (double)(steps - 1) * d))
        --steps;
    while (steps < many && inside(p + (double)steps * d))
        ++steps;
    return steps;
}

void ChorusLine::nextLfoAngles(float* angles, int count)
{
    for (int i = 0; i < count;)
    {
        float increment = 0.0f;
        const auto steps = (int)std::min<int64_t>(uniformLfoSteps(increment), count - i);
        if (steps == 0)
        {
            const float angle = nextLfoAngle();
            if (angles != nullptr)
                angles[i] = angle;
            ++i;
            continue;
        }
        const auto start = (float)lfoPhase;
        if (angles != nullptr)
            for (int k = 0; k < steps; ++k)
                angles[i + k] = start + (float)k * increment;
        lfoPhase = start + (float)steps * increment;
        i += steps;
    }
}

void ChorusLine::skipSilentFrames(ChorusLine& a, ChorusLine& b, int frames)
{
    for (auto* line : {&a, &b})
    {
        // The frames' writes of +0, in at most two stretches of the ring.
        const int32_t first = std::min(frames, line->length - 1 - line->writePosition);
        std::fill_n(line->buffer.begin() + line->writePosition + 1, first, 0.0f);
        std::fill_n(line->buffer.begin(), std::min(frames - first, line->length), 0.0f);
        line->writePosition = (int32_t)(((int64_t)line->writePosition + frames) % line->length);
        line->readPosition = (int32_t)(((int64_t)line->readPosition + frames) % line->length);
        line->zeroRun += (uint64_t)frames;
        line->nextLfoAngles(nullptr, frames);
    }
}

#endif // HWY_ONCE
