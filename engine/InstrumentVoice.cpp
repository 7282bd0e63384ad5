#include "InstrumentVoice.h"

#include "AngleWrap.h"

#include "InstrumentParameters.h"
#include "SynthChannel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace
{
constexpr double twoPi = 2.0 * std::numbers::pi;
constexpr double tableIndexPerRadian = 10185.916357881302; // 64000 / 2pi
} // namespace

float InstrumentVoice::shapedOscillator(double phase, float width, float morph)
{
    const double q = std::min(0.9999, phase / width);
    const float s = std::sin((float)(twoPi * q));
    const float square = s > 0.0f ? 1.0f : -1.0f;
    return (square - s) * morph + s;
}

float InstrumentVoice::filterCutoff(double f, float cutoffPosition, float factor)
{
    const double position = cutoffPosition;
    const auto cutoff = (float)(factor * ((20000.0 - f) * (position * position) + f));
    return std::max(std::min(cutoff, 15000.0f), 60.0f);
}

double InstrumentVoice::filterDamping(float resonance, float factor)
{
    const double damping = (3.0f - resonance) * factor;
    return damping < 0.04 ? (double)0.04f : damping;
}

InstrumentVoice::InstrumentVoice(const float* table)
    : sineTable(table)
{
    setSampleRate(88200.0);
}

float InstrumentVoice::sineAt(float angle) const
{
    return sineTable[(int)(float)(angle * tableIndexPerRadian)];
}

void InstrumentVoice::setVoiceParameter(int index, float value)
{
    if (index == 0)
        frequency = value;
    else if (index == 1)
        velocity = value;
}

float InstrumentVoice::getVoiceParameter(int index) const
{
    if (index == 0)
        return frequency;
    if (index == 1)
        return velocity;
    return 0.0f;
}

void InstrumentVoice::setSampleRate(double newRate)
{
    rate = newRate;
    carrierRate = newRate;
    modulatorRate = newRate;
    inverseRate = 1.0 / newRate;
    filter.rate = (float)newRate;
}

bool InstrumentVoice::isSustainPedalDown() const
{
    return getChannel()->getSustainPedal() >= 0.5f;
}

void InstrumentVoice::startNote()
{
    using namespace ParameterIndex;
    const auto& owner = *getChannel();
    const auto target = [&owner](int index) { return owner.getParameterTarget(index); };
    const float v = velocity;

    wobblePhase = 0.0;
    vibratoPhase = 0.0;
    keyDown = true;

    const float attackValue = target(adsrAttack);
    const float decayValue = target(adsrDecay);
    const float sustainValue = target(adsrSustain);
    const float releaseValue = target(adsrRelease);
    float attack = attackValue * attackValue * attackValue * 6.0f;
    const float release = releaseValue * releaseValue * 6.0f;
    const float sustain = sustainValue * sustainValue * sustainValue;
    const float decay = decayValue * decayValue * decayValue * 6.0f;
    if (target(attackVelMod) > 0.5f)
        attack = (1.0f - v) * (1.0f - v) * (1.0f - v) * attack + 0.000001f;

    // The amplitude envelope is sized at the channel's nominal rate, the modulation envelope at
    // the voice's own rate; the two differ when the host does not run at 44100 Hz.
    ampParameters = {attack, decay, sustain + 0.000001f, release};
    ampEnvelope.start(ampParameters, (float)owner.getNominalRate());

    modParameters = {ampParameters.attack * target(modAttack), ampParameters.decay * target(modDecay),
                     ampParameters.sustain * target(modSustain), ampParameters.release * target(modRelease)};
    modEnvelope.start(modParameters, (float)rate);

    carrierPhase = 0.0;
    modulatorPhase = 0.0;
    filter.clear();

    velocitySquared = v * v;
    feedbackVelocityFactor = target(feedbackVelMod) > 0.5f ? velocitySquared : 1.0f;
    filterVelocityFactor = target(highCutVelMod) > 0.5f ? velocitySquared * 0.8f + 0.2f : 1.0f;
    volumeVelocityFactor = target(volumeVelMod) > 0.5f ? velocitySquared * 0.7f + 0.3f : 0.7f;
}

void InstrumentVoice::stopNote()
{
    keyDown = false;
    ampEnvelope.release();
    modEnvelope.release();
}

bool InstrumentVoice::renderVoiceFrame(float* out)
{
    using namespace ParameterIndex;
    const auto& owner = *getChannel();
    const auto current = [&owner](int index) { return owner.getParameterCurrent(index); };

    // Wobble and vibrato clocks.
    const double w = current(wobbleSpeed) * inverseRate;
    wobblePhase += w;
    vibratoPhase += 16.0 * inverseRate;

    carrierMorph = current(osc1Morph);
    carrierWidth = std::max(0.001f, 1.0f - current(osc1Width));
    modulatorMorph = current(osc2Morph);
    modulatorWidth = std::max(0.001f, 1.0f - current(osc2Width));

    // Pitch: bend of up to two semitones, vibrato of 5 % of the unbent note frequency.
    const double bend = owner.getPitchBend();
    const float f0 = std::exp2((float)(2.0 * bend / 12.0)) * frequency;
    const double wheel = owner.getModWheel();
    const float vibratoAngle = std::fmod((float)((2.0 * w + 2.0) * vibratoPhase), twoPiFloat);
    const double f = f0 + frequency * sineAt(vibratoAngle) * wheel * 0.05;

    // Modulator.
    modulatorPhase += modulatorRatio(current(modFreqMult)) * f / modulatorRate;
    while (modulatorPhase >= 1.0)
        modulatorPhase -= 1.0;
    const float modOut = shapedOscillator(modulatorPhase, modulatorWidth, modulatorMorph);

    // Phase shift of the carrier, in carrier cycles, for this frame only.
    const float depth = current(wobbleDepth);
    const float modLevel = modEnvelope.step();
    const float wobbleAngle = std::fmod((float)wobblePhase, twoPiFloat);
    const float wobble = sineAt(wobbleAngle);
    const float amount = (wobble * depth + 1.0f) * modLevel * modOut;
    const float shift = current(modFeedback) * feedbackVelocityFactor * amount;

    const float carrierOut = advanceCarrier(f, shift);

    const float ampLevel = ampEnvelope.step();
    const float x = carrierOut * ampLevel * volumeVelocityFactor;

    // Low-pass that follows the note; velocity scales both its cutoff and its damping.
    filter.setCutoffAndDamping(filterCutoff(f, current(highcutFreq), filterVelocityFactor),
                               filterDamping(current(highcutReso), filterVelocityFactor));
    const float y = filter.process(x);

    // Stereo spread by the wobble: the right side is half a wobble cycle behind.
    const float rightAngle = std::fmod((float)(wobblePhase + std::numbers::pi), twoPiFloat);
    out[0] = (sineAt(wobbleAngle) * depth * 4.0f + 1.0f) * y;
    out[1] = (depth * sineAt(rightAngle) * 4.0f + 1.0f) * y;

    return finishesAt(ampLevel);
}

float InstrumentVoice::advanceCarrier(double f, float shift)
{
    carrierPhase += f / carrierRate;
    while (carrierPhase >= 1.0)
        carrierPhase -= 1.0;
    // The shift moves this frame's phase only; it is not accumulated.
    double phase = shift + carrierPhase;
    while (phase < 0.0)
        phase += 1.0;
    while (phase >= 1.0)
        phase -= 1.0;
    return shapedOscillator(phase, carrierWidth, carrierMorph);
}

bool InstrumentVoice::finishesAt(float ampLevel)
{
    if (ampLevel == 0.0f || ampEnvelope.getState() == AdsrEnvelope::State::idle)
    {
        ampEnvelope.release();
        keyDown = false;
        return true;
    }
    return false;
}

bool InstrumentVoice::renderVoiceFrameFast(const VoiceFrameInputs& in, float* out)
{
    const double w = in.wobbleSpeed * inverseRate;
    wobblePhase += w;
    vibratoPhase += 16.0 * inverseRate;

    carrierMorph = in.carrierMorph;
    carrierWidth = in.carrierWidth;
    modulatorMorph = in.modulatorMorph;
    modulatorWidth = in.modulatorWidth;

    const float f0 = in.bendFactor * frequency;
    double f = f0;
    // With the wheel at 0 the vibrato term is exactly 0 and f0 is unchanged.
    if (in.wheel != 0.0)
    {
        const float vibratoAngle = wrapTwoPi((float)((2.0 * w + 2.0) * vibratoPhase));
        f = f0 + frequency * sineAt(vibratoAngle) * in.wheel * 0.05;
    }

    modulatorPhase += in.modulatorRatio * f / modulatorRate;
    while (modulatorPhase >= 1.0)
        modulatorPhase -= 1.0;
    const float modOut = shapedOscillator(modulatorPhase, modulatorWidth, modulatorMorph);

    const float modLevel = modEnvelope.step();
    const float wobbleAngle = wrapTwoPi((float)wobblePhase, wobblePeriods);
    const float wobble = sineAt(wobbleAngle);
    const float amount = (wobble * in.wobbleDepth + 1.0f) * modLevel * modOut;
    const float shift = in.modFeedback * feedbackVelocityFactor * amount;

    const float carrierOut = advanceCarrier(f, shift);

    const float ampLevel = ampEnvelope.step();
    const float x = carrierOut * ampLevel * volumeVelocityFactor;

    filter.setCutoffAndDampingIfChanged(filterCutoff(f, in.cutoffPosition, filterVelocityFactor),
                                        filterDamping(in.resonance, filterVelocityFactor));
    const float y = filter.process(x);

    const float rightAngle = wrapTwoPi((float)(wobblePhase + std::numbers::pi), rightWobblePeriods);
    out[0] = (wobble * in.wobbleDepth * 4.0f + 1.0f) * y;
    out[1] = (in.wobbleDepth * sineAt(rightAngle) * 4.0f + 1.0f) * y;

    return finishesAt(ampLevel);
}
