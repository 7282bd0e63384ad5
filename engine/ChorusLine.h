#pragma once

#include "AngleWrap.h"
#include "Silence.h"

#include <cstdint>
#include <vector>

// One side of the chorus: a delay line whose read point swings between the newest sample and
// 2 * depthFrames behind it, driven by a 1.2 Hz sine. Its output replaces the input.
class ChorusLine
{
public:
    static constexpr int32_t bufferLength = 200000;
    // The most frames planReads plans at once.
    static constexpr int maxFrames = 64;

    explicit ChorusLine(double startPhase);

    void setRate(double engineRate);
    // depth is the chorus amount already scaled to seconds (normalised chorus * 0.002).
    void setDepth(float depth);
    float process(float input);
    // The LFO's angle for this frame, moving the LFO on to the next.
    float nextLfoAngle()
    {
        const auto angle = (float)lfoPhase;
        lfoPhase = wrapTwoPi((float)(lfoStep + lfoPhase));
        return angle;
    }
    // nextLfoAngle `count` times, the same angles without waiting for each phase in turn; they go
    // to angles[] unless it is null.
    void nextLfoAngles(float* angles, int count);
    // Where each of the next `count` frames (at most maxFrames) reads, for the LFO angles that
    // nextLfoAngles gave for them, as process would find it. Good while the depth stays as it is.
    struct ReadPlan
    {
        alignas(64) int32_t first[maxFrames];
        alignas(64) int32_t second[maxFrames];
        alignas(64) float fraction[maxFrames];
    };
    void planReads(const float* angles, int count, ReadPlan& plan) const;
    // process for the frames of a plan, taken in order, on a copy of the line's write position
    // that a loop keeps in a register (the line's own could be where a sample is written);
    // finish() hands the positions back, and counts the +0 inputs, once `frames` are done.
    class Planned
    {
    public:
        Planned(ChorusLine& of, const ReadPlan& reads)
            : line(of)
            , plan(reads)
            , data(of.buffer.data())
            , length(of.length)
            , at(of.writePosition)
        {
        }
        float process(float input, int i)
        {
            at = at + 1 < length ? at + 1 : 0;
            data[at] = input;
            const float frac = plan.fraction[i];
            return frac * data[plan.second[i]] + (1.0f - frac) * data[plan.first[i]];
        }
        void finish(int frames);

    private:
        ChorusLine& line;
        const ReadPlan& plan;
        float* data;
        int32_t length;
        int32_t at;
    };
    // True when every sample the next process call can read is +0: a +0 input then gives +0.
    bool readsSilence() const { return zeroRun >= (uint64_t)(2 * depthFrames + 4); }
    // process(+0) `frames` times on two lines that read silence, without their sines.
    static void skipSilentFrames(ChorusLine& a, ChorusLine& b, int frames);

    int32_t getDepthFrames() const { return depthFrames; }

private:
    // index % length for an index below 3 * length; positions stay within the buffer otherwise.
    static int32_t wrap(int32_t index, int32_t length)
    {
        while (index >= length)
            index -= length;
        return index;
    }
    // Moves both positions on and stores the input.
    void write(float input)
    {
        readPosition = wrap(readPosition + 1, length);
        writePosition = wrap(writePosition + 1, length);
        buffer[(size_t)writePosition] = input;
        zeroRun = extendZeroRun(zeroRun, input);
    }
    // The sample read at this frame for the LFO sine m.
    float read(float m) const;
    // How many of the next LFO steps each add the same float, `increment`, to the phase (0 when
    // the next step must be taken on its own).
    int64_t uniformLfoSteps(float& increment) const;

    std::vector<float> buffer;
    int32_t length = bufferLength;
    int32_t depthFrames = 0;
    int32_t writePosition = 0;
    int32_t readPosition = 0;
    float rate = 88200.0f;
    double lfoRate = (double)1.2f;
    double lfoPhase = 0.0;
    double lfoStep = 0.0;
    // How many of the latest inputs were +0, in a row.
    uint64_t zeroRun = 0;
};
