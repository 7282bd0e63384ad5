#include "DelayLine.h"

#include "Silence.h"

#include <algorithm>

namespace
{
// index % size; after a length change the index can be any distance past the end.
uint64_t wrap(uint64_t index, uint64_t size)
{
    if (index < size)
        return index;
    if (index < 2 * size)
        return index - size;
    return index % size;
}
} // namespace

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
    position = wrap(position + 1, size);
    float& slot = buffer[(size_t)position];

    if (refill > 0)
    {
        const int32_t remaining = refill;
        refill = remaining - 1;
        if (refill == 0)
            gain = 0.0f;
        const float ramp = remaining > length - 499 ? (float)(length - refill) / 500.0f : 1.0f;
        slot = ramp * input;
        zeroRun = extendZeroRun(zeroRun, slot);
        return 0.0f;
    }

    if (gain < 1.0f)
        gain += 0.002f;
    slot = slot * feedback + input;
    zeroRun = extendZeroRun(zeroRun, slot);
    return buffer[(size_t)wrap(position + 1, size)] * gain;
}

void DelayLine::skipSilentFrames(int frames)
{
    // The position is within the line whenever it holds silence (no refill is running).
    position = (position + (uint64_t)frames) % (uint64_t)length;
    zeroRun += (uint64_t)frames;
}
