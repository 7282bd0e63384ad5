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
    // True when no refill runs and the return has faded in: process is then a plain delay.
    bool isSteady() const { return refill == 0 && gain >= 1.0f && position < (uint64_t)length; }
    // process for a steady line, on a copy of the line's position that a loop keeps in a register
    // (the line's own could be where a sample is written); finish() hands it back, and counts the
    // +0 writes, once `frames` are done.
    class Steady
    {
    public:
        explicit Steady(DelayLine& of)
            : line(of)
            , data(of.buffer.data())
            , size((uint64_t)of.length)
            , position(of.position)
            , feedback(of.feedback)
            , gain(of.gain)
        {
        }
        float process(float input)
        {
            position = position + 1 < size ? position + 1 : 0;
            float& slot = data[position];
            slot = slot * feedback + input;
            return data[position + 1 < size ? position + 1 : 0] * gain;
        }
        void finish(int frames)
        {
            line.position = position;
            // The latest writes, newest first. In a line shorter than the run the count can pass
            // the writes since the last non-zero one; any count from the line's length up means
            // the same to the line.
            uint64_t zeros = 0;
            for (uint64_t p = position; zeros < (uint64_t)frames && isPositiveZero(data[p]);
                 p = p == 0 ? size - 1 : p - 1)
                ++zeros;
            line.zeroRun = zeros == (uint64_t)frames ? line.zeroRun + zeros : zeros;
        }

    private:
        DelayLine& line;
        float* data;
        uint64_t size;
        uint64_t position;
        float feedback;
        float gain;
    };

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
