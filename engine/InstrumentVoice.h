#pragma once

#include "AdsrEnvelope.h"
#include "SynthVoice.h"
#include "TwoPoleLowPass.h"
#include "VoiceFrameInputs.h"

#include <algorithm>
#include <array>

namespace SynthBase
{
class Channel;
}

// The instrument's voice: a two-operator phase-modulation voice. A modulator, scaled by the
// modulation envelope, the wobble and velocity, shifts the carrier's phase; both oscillators
// morph from sine towards square and can be narrowed. The carrier is shaped by the amplitude
// envelope, filtered by a resonant low-pass that follows the note, and spread by the wobble.
class InstrumentVoice final : public SynthBase::Voice
{
public:
    static constexpr std::array<double, 6> modulatorRatios{0.5, 1.0, 2.0, 3.0, 4.0, 4.0};

    explicit InstrumentVoice(const float* sineTable);

    // One oscillator sample at a phase in [0, 1): a sine squeezed into the first `width` of the
    // period (holding just below a full cycle after it), blended towards its square by `morph`.
    static float shapedOscillator(double phase, float width, float morph);
    // The modulator frequency ratio selected by the smoothed "Mod Freq Mult" value.
    static double modulatorRatio(float modFreqMult)
    {
        const int index = std::clamp((int)modFreqMult, 0, (int)modulatorRatios.size() - 1);
        return modulatorRatios[(size_t)index];
    }
    // The voice filter's cutoff in Hz for the sounding frequency f, clamped to 60..15000.
    static float filterCutoff(double f, float cutoffPosition, float filterVelocityFactor);
    // The voice filter's damping, never below 0.04 (in single precision).
    static double filterDamping(float resonance, float filterVelocityFactor);

    void setVoiceParameter(int index, float value) override;
    float getVoiceParameter(int index) const override;
    void setSampleRate(double rate) override;
    bool isSustainPedalDown() const override;
    void startNote() override;
    void stopNote() override;
    bool isKeyDown() const override { return keyDown; }
    bool renderVoiceFrame(float* out) override;
    // The same frame as renderVoiceFrame, sample for sample, with the per-frame values shared by
    // all voices read once and the filter's coefficients recomputed only when their inputs change.
    bool renderVoiceFrameFast(const VoiceFrameInputs& inputs, float* out);

    const AdsrEnvelope& getAmpEnvelope() const { return ampEnvelope; }
    const AdsrEnvelope& getModEnvelope() const { return modEnvelope; }
    const AdsrEnvelopeParameters& getAmpParameters() const { return ampParameters; }
    const AdsrEnvelopeParameters& getModParameters() const { return modParameters; }
    float getFeedbackVelocityFactor() const { return feedbackVelocityFactor; }
    float getFilterVelocityFactor() const { return filterVelocityFactor; }
    float getVolumeVelocityFactor() const { return volumeVelocityFactor; }
    float getCarrierWidth() const { return carrierWidth; }
    const TwoPoleLowPass& getFilter() const { return filter; }

private:
    // The vector renderer works on copies of the state below.
    friend class VoiceBank;

    float sineAt(float angle) const;
    // Advances the carrier and returns its sample with this frame's phase shift applied.
    float advanceCarrier(double f, float shift);
    // True when the amplitude envelope has ended; the voice then lets go of its key.
    bool finishesAt(float ampLevel);

    double rate = 88200.0;
    double inverseRate = 1.0 / 88200.0;
    const float* sineTable;
    float frequency = 440.0f;
    float velocity = 0.0f;
    bool keyDown = false;
    double carrierPhase = 0.0;
    double modulatorPhase = 0.0;
    double carrierRate = 88200.0;
    double modulatorRate = 88200.0;
    float carrierMorph = 0.0f;
    float modulatorMorph = 0.0f;
    float carrierWidth = 1.0f;
    float modulatorWidth = 1.0f;
    double wobblePhase = 0.0;
    double wobblePeriods = 0.0;
    double rightWobblePeriods = 0.0;
    double vibratoPhase = 0.0;
    AdsrEnvelopeParameters ampParameters;
    AdsrEnvelopeParameters modParameters;
    AdsrEnvelope ampEnvelope;
    AdsrEnvelope modEnvelope;
    float velocitySquared = 0.0f;
    float feedbackVelocityFactor = 1.0f;
    float filterVelocityFactor = 1.0f;
    float volumeVelocityFactor = 0.7f;
    TwoPoleLowPass filter;
};
