#pragma once

#include "Silence.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// One side of the tempo-timed delay. A change of length rewrites the line before its return is
// heard again: the return is silent for `length` frames, then fades in over 500 frames.
class DelayLine
{
public:
    explicit DelayLine(int capacityFrames);

    // Sets the delay length in frames (clamped to the buffer); a new length starts a refill.
    void setLength(int32_t newLength);
    // Writes one input frame and returns the delayed output. (Inline: it runs twice per frame.)
    float process(float input)
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
    // True when every sample the line holds is +0 and its return is steady: a +0 input then
    // returns +0 and changes nothing but the write position.
    bool holdsSilence() const { return refill == 0 && gain >= 1.0f && zeroRun >= (uint64_t)length; }
    // How many more frames at least pass before the line can hold silence (0 when it does).
    int framesBeforeSilence() const
    {
        const uint64_t writes = zeroRun >= (uint64_t)length ? 0 : (uint64_t)length - zeroRun;
        return (int)std::max<uint64_t>(writes, (uint64_t)refill);
    }
    // process(+0) `frames` times for a line that holds silence, without touching the buffer.
    void skipSilentFrames(int frames);

    int capacity() const { return (int)buffer.size(); }
    int32_t getLength() const { return length; }
    int32_t getRefill() const { return refill; }
    float getGain() const { return gain; }

    float feedback = 0.0f;

private:
    // index % size; after a length change the index can be any distance past the end.
    static uint64_t wrap(uint64_t index, uint64_t size)
    {
        if (index < size)
            return index;
        if (index < 2 * size)
            return index - size;
        return index % size;
    }

    std::vector<float> buffer;
    int32_t length = 1;
    int32_t refill = 0;
    float gain = 1.0f;
    uint64_t position = 1;
    // How many of the latest writes stored +0, in a row.
    uint64_t zeroRun = 0;
};
