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
    float process(float input);

    int32_t getDepthFrames() const { return depthFrames; }

private:
    std::vector<float> buffer;
    int32_t length = bufferLength;
    int32_t depthFrames = 0;
    int32_t writePosition = 0;
    int32_t readPosition = 0;
    float rate = 88200.0f;
    double lfoRate = (double)1.2f;
    double lfoPhase = 0.0;
};
