#include "DelayLine.h"

#include <algorithm>

DelayLine::DelayLine(int capacityFrames)
    : buffer((size_t)std::max(1, capacityFrames), 0.0f)
{
}

void DelayLine::setLength(int32_t newLength)
{
    newLength = std::clamp(newLength, (int32_t)1, (int32_t)buffer.size());
    if (newLength == length)
        return;
    refill = newLength;
    length = newLength;
}

void DelayLine::skipSilentFrames(int frames)
{
    // The position is within the line whenever it holds silence (no refill is running).
    position = (position + (uint64_t)frames) % (uint64_t)length;
    zeroRun += (uint64_t)frames;
}
