#include "ChorusLine.h"

#include <cmath>
#include <numbers>

namespace
{
constexpr float twoPiFloat = 6.2831855f;
}

ChorusLine::ChorusLine(double startPhase)
    : buffer((size_t)bufferLength, 0.0f)
    , lfoPhase(startPhase)
{
    setRate(88200.0);
}

void ChorusLine::setRate(double engineRate)
{
    rate = (float)engineRate;
    depthFrames = (int32_t)(0.001 * rate * 0.5);
    writePosition = 0;
    readPosition = length - depthFrames;
}

void ChorusLine::setDepth(float depth)
{
    depthFrames = (int32_t)(rate * depth * 0.5);
    readPosition = (writePosition - depthFrames + length) % length;
}

float ChorusLine::process(float input)
{
    readPosition = (readPosition + 1) % length;
    writePosition = (writePosition + 1) % length;
    buffer[(size_t)writePosition] = input;

    const float m = std::sin((float)lfoPhase);
    const float p = (float)length + (float)depthFrames * m + (float)readPosition;
    lfoPhase = std::fmod((float)(lfoRate / rate * (2.0 * std::numbers::pi) + lfoPhase), twoPiFloat);

    const auto frac = (float)(p - std::floor((double)p));
    const int32_t j = (int32_t)p % length;
    return frac * buffer[(size_t)((j + 1) % length)] + (1.0f - frac) * buffer[(size_t)j];
}
