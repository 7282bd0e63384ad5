#include "ChorusLine.h"

#include "AngleWrap.h"
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
    dropLfoAhead();
    rate = (float)engineRate;
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

float ChorusLine::process(float input)
{
    write(input);
    const float m = nextLfoSine();
    const float p = (float)length + (float)depthFrames * m + (float)readPosition;

    const auto frac = (float)(p - std::floor((double)p));
    const int32_t j = wrap((int32_t)p, length);
    return frac * buffer[(size_t)wrap(j + 1, length)] + (1.0f - frac) * buffer[(size_t)j];
}

void ChorusLine::skipSilentFrames(int frames)
{
    for (int i = 0; i < frames; ++i)
    {
        write(0.0f);
        if (lfoAheadNext < lfoAheadCount)
            ++lfoAheadNext;
        else
            advanceLfo();
    }
    framesExpected = std::max(0, framesExpected - frames);
}

float ChorusLine::nextLfoSine()
{
    if (lfoAheadNext == lfoAheadCount)
    {
        const int ahead = std::min(framesExpected, lfoAheadCapacity);
        if (ahead <= 1)
        {
            const float sine = std::sin((float)lfoPhase);
            advanceLfo();
            framesExpected = 0;
            return sine;
        }
        float angles[lfoAheadCapacity];
        for (int i = 0; i < ahead; ++i)
        {
            lfoAheadPhases[i] = lfoPhase;
            angles[i] = (float)lfoPhase;
            advanceLfo();
        }
        sinesOf(angles, lfoAheadSines, ahead);
        lfoAheadCount = ahead;
        lfoAheadNext = 0;
    }
    framesExpected = std::max(0, framesExpected - 1);
    return lfoAheadSines[lfoAheadNext++];
}

void ChorusLine::dropLfoAhead()
{
    if (lfoAheadNext < lfoAheadCount)
        lfoPhase = lfoAheadPhases[lfoAheadNext];
    lfoAheadCount = lfoAheadNext = 0;
}

void ChorusLine::advanceLfo()
{
    const auto nextPhase = (float)(lfoRate / rate * (2.0 * std::numbers::pi) + lfoPhase);
    lfoPhase = wrapTwoPi(nextPhase);
}
