#pragma once

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
    // Writes one input frame and returns the delayed output.
    float process(float input);
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
    std::vector<float> buffer;
    int32_t length = 1;
    int32_t refill = 0;
    float gain = 1.0f;
    uint64_t position = 1;
    // How many of the latest writes stored +0, in a row.
    uint64_t zeroRun = 0;
};
