#include "ChorusLine.h"

#include "Silence.h"
#include "VectorSine.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace
{
// index % length for an index below 3 * length; positions stay within the buffer otherwise.
int32_t wrap(int32_t index, int32_t length)
{
    while (index >= length)
        index -= length;
    return index;
}
} // namespace

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

void ChorusLine::write(float input)
{
    readPosition = wrap(readPosition + 1, length);
    writePosition = wrap(writePosition + 1, length);
    buffer[(size_t)writePosition] = input;
    zeroRun = extendZeroRun(zeroRun, input);
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

void ChorusLine::processFrames(ChorusLine& a, float* aSamples, ChorusLine& b, float* bSamples, int count,
                               const float* angles)
{
    count = std::min(count, maxFrames);
    if (count <= 0)
        return;
    float sines[2 * maxFrames];
    sinesOf(angles, sines, count);
    sinesOf(angles + maxFrames, sines + maxFrames, count);
    for (int i = 0; i < count; ++i)
    {
        a.write(aSamples[i]);
        aSamples[i] = a.read(sines[i]);
    }
    for (int i = 0; i < count; ++i)
    {
        b.write(bSamples[i]);
        bSamples[i] = b.read(sines[maxFrames + i]);
    }
}

void ChorusLine::skipSilentFrames(ChorusLine& a, ChorusLine& b, int frames)
{
    for (int i = 0; i < frames; ++i)
    {
        a.write(0.0f);
        b.write(0.0f);
        a.nextLfoAngle();
        b.nextLfoAngle();
    }
}
