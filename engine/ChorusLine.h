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
    // Tells the line that `frames` frames follow without anything else changing its rate: their
    // LFO sines can then be computed together, as they are first needed.
    void expectFrames(int frames) { framesExpected = frames; }
    // True when every sample the next process call can read is +0: a +0 input then gives +0.
    bool readsSilence() const { return zeroRun >= (uint64_t)(2 * depthFrames + 4); }
    // process(+0) `frames` times for a line that reads silence, without its sine.
    void skipSilentFrames(int frames);

    int32_t getDepthFrames() const { return depthFrames; }

private:
    // Moves both positions on and stores the input.
    void write(float input);
    void advanceLfo();
    // The LFO sine of this frame, advancing the LFO.
    float nextLfoSine();
    // Forgets the sines computed ahead; the LFO's phase is that of the next frame again.
    void dropLfoAhead();

    std::vector<float> buffer;
    int32_t length = bufferLength;
    int32_t depthFrames = 0;
    int32_t writePosition = 0;
    int32_t readPosition = 0;
    float rate = 88200.0f;
    double lfoRate = (double)1.2f;
    double lfoPhase = 0.0;
    // How many of the latest inputs were +0, in a row.
    uint64_t zeroRun = 0;

    // LFO sines of the coming frames, computed ahead; lfoPhase is then that of the frame after
    // them.
    static constexpr int lfoAheadCapacity = 64;
    float lfoAheadSines[lfoAheadCapacity]{};
    double lfoAheadPhases[lfoAheadCapacity]{};
    int lfoAheadCount = 0;
    int lfoAheadNext = 0;
    int framesExpected = 0;
};
