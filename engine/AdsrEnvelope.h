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
    friend class VoiceBank;

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

// Inline: it runs twice per voice and frame.
inline float AdsrEnvelope::step()
{
    int32_t n = counter + 1;
    switch (state)
    {
    case State::attack:
        // ">=" rather than "==" so that a zero-frame attack (absurdly low rates) cannot climb forever.
        if (n < attackFrames)
        {
            counter = n;
            level = (float)(level + attackStep);
            return level;
        }
        state = State::decay;
        n = 1;
        [[fallthrough]];
    case State::decay:
        if (n < decayFrames)
        {
            counter = n;
            level = (float)(level + decayStep);
            return level;
        }
        state = State::sustain;
        n = 1;
        [[fallthrough]];
    case State::sustain:
        counter = n;
        if (sustainLevel <= 0.0f)
        {
            counter = 0;
            state = State::idle;
            return 0.0f;
        }
        return level;
    case State::release:
        counter = n;
        if (releaseFrames <= n)
        {
            level = 0.0f;
            counter = 0;
            state = State::idle;
            return 0.0f;
        }
        level = (float)(level + releaseStep);
        return level;
    case State::idle:
    default:
        counter = n;
        return level;
    }
}
