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

float DelayLine::process(float input)
{
    const auto size = (uint64_t)length;
    position = (position + 1) % size;
    float& slot = buffer[(size_t)position];

    if (refill > 0)
    {
        const int32_t remaining = refill;
        refill = remaining - 1;
        if (refill == 0)
            gain = 0.0f;
        const float ramp = remaining > length - 499 ? (float)(length - refill) / 500.0f : 1.0f;
        slot = ramp * input;
        return 0.0f;
    }

    if (gain < 1.0f)
        gain += 0.002f;
    slot = slot * feedback + input;
    return buffer[(size_t)((position + 1) % size)] * gain;
}
