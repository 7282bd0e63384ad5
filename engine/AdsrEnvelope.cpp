#include "AdsrEnvelope.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr float minimumTime = 0.0001f;

int32_t segmentFrames(float timeValue, float rate)
{
    return (int32_t)(std::sqrt(timeValue) * rate);
}
} // namespace

void AdsrEnvelope::start(AdsrEnvelopeParameters& newParameters, float newRate)
{
    parameters = &newParameters;
    rate = newRate;
    releaseStep = 0.0;

    newParameters.attack = std::max(minimumTime, newParameters.attack);
    attackFrames = segmentFrames(newParameters.attack, rate);
    attackStep = 1.0 / attackFrames;

    newParameters.decay = std::max(minimumTime, newParameters.decay);
    decayFrames = segmentFrames(newParameters.decay, rate);
    sustainLevel = std::sqrt(newParameters.sustain);
    decayStep = decayFrames >= 1 ? (1.0f - sustainLevel) * (-1.0 / decayFrames) : -sustainLevel;

    if (newParameters.release < minimumTime)
        newParameters.release = minimumTime;
    releaseFrames = segmentFrames(newParameters.release, rate);

    level = 0.0f;
    counter = 0;
    state = State::attack;
}

void AdsrEnvelope::release()
{
    if (state != State::attack && state != State::decay && state != State::sustain)
        return;
    state = State::release;
    releaseStep = releaseFrames >= 1 ? (double)((-1.0f / (float)releaseFrames) * level) : (double)-level;
    counter = 0;
}
