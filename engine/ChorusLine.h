#pragma once

#include <cstdint>
#include <vector>

// One side of the chorus: a delay line whose read point swings between the newest sample and
// 2 * depthFrames behind it, driven by a 1.2 Hz sine. Its output replaces the input.
class ChorusLine
{
public:
    static constexpr int32_t bufferLength = 200000;

    explicit ChorusLine(double startPhase);

    void setRate(double engineRate);
    // depth is the chorus amount already scaled to seconds (normalised chorus * 0.002).
    void setDepth(float depth);
    // batchedLfo computes the LFO's sines ahead, several at once in vector units; the samples
    // are the same either way.
    float process(float input, bool batchedLfo = false);

    int32_t getDepthFrames() const { return depthFrames; }

private:
    static constexpr int lfoBatch = 32;

    float nextLfoSine(bool batched);
    void advanceLfo();

    std::vector<float> buffer;
    int32_t length = bufferLength;
    int32_t depthFrames = 0;
    int32_t writePosition = 0;
    int32_t readPosition = 0;
    float rate = 88200.0f;
    double lfoRate = (double)1.2f;
    double lfoPhase = 0.0;
    // LFO angles and their sines computed ahead; lfoPhase is then the angle after the last one.
    float batchAngles[lfoBatch] = {};
    float batchSines[lfoBatch] = {};
    int batchIndex = lfoBatch;
};
