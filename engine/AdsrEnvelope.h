#pragma once

#include <cstdint>

// The four time and level values of one envelope, computed by the voice when a note starts.
// start() clamps the times and writes the clamped values back.
struct AdsrEnvelopeParameters
{
    float attack = 0.0f;
    float decay = 0.0f;
    float sustain = 0.0f;
    float release = 0.0f;
};

// Linear attack-decay-sustain-release generator. A segment lasts sqrt(time value) * rate frames;
// the level is one float per frame.
class AdsrEnvelope
{
public:
    enum class State : int32_t
    {
        idle = 0,
        attack = 1,
        decay = 2,
        sustain = 3,
        release = 4,
    };

    void start(AdsrEnvelopeParameters& parameters, float rate);
    float step();
    void release();

    State getState() const { return state; }
    float getLevel() const { return level; }
    int32_t getAttackFrames() const { return attackFrames; }
    int32_t getDecayFrames() const { return decayFrames; }
    int32_t getReleaseFrames() const { return releaseFrames; }
    float getSustainLevel() const { return sustainLevel; }

private:
    float rate = 0.0f;
    int32_t attackFrames = 0;
    double attackStep = 0.0;
    int32_t decayFrames = 0;
    double decayStep = 0.0;
    float sustainLevel = 0.0f;
    int32_t releaseFrames = 0;
    double releaseStep = 0.0;
    int32_t counter = 0;
    State state = State::idle;
    AdsrEnvelopeParameters* parameters = nullptr;
    float level = 0.0f;
};
