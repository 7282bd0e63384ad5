#pragma once

#include "ChorusLine.h"
#include "DelayLine.h"
#include "InstrumentParameters.h"
#include "InstrumentVoice.h"
#include "SynthChannel.h"
#include "TwoPoleLowPass.h"
#include "VoiceBank.h"

#include <array>
#include <limits>
#include <vector>

// The instrument's channel: 24 phase-modulation voices, the note-frequency and sine tables, and
// the channel effects (band-limited tempo delay, chorus, master volume) run on every frame.
class InstrumentChannel final : public SynthBase::Channel
{
public:
    static constexpr int voiceCount = 24;
    static_assert(voiceCount <= VoiceBank::capacity);
    // A run of frames goes through the chorus at once.
    static_assert(ChorusLine::maxFrames >= VoiceBank::maxSpan);
    static constexpr int sineTableSize = 64000;
    // Long enough for the longest delay (two beats at 60 BPM) at a 192 kHz host.
    static constexpr int delayCapacityFrames = 2 * 2 * 192000;
    static constexpr std::array<double, 6> delayNoteValues{4.0, 3.0, 2.0, 1.5, 1.0, 0.5};

    InstrumentChannel();
    ~InstrumentChannel() override;

    void noteOn(int midiChannel, int note, int frame, bool fromAudioThread, float velocity) override;
    void noteOff(int midiChannel, int note, int frame, bool fromAudioThread, float velocity) override;
    void pitchBend(int midiChannel, int frame, bool fromAudioThread, float value) override;
    void controller(int midiChannel, int number, int frame, bool fromAudioThread, float value) override;

    double getPitchBend() const override { return pitchBendValue; }
    double getModWheel() const override { return modWheelValue; }

    int getNumParameters() const override { return instrumentParameterCount; }
    SynthBase::ParameterInfo getParameterInfo(int index) const override;
    void parameterChanged(int, float) override {}

    void handleEvent(const SynthBase::SynthEvent& event) override;
    void postProcessFrame(float* frame) override;
    void setSampleRate(double rate) override;

    double getEngineRate() const { return engineRate; }
    double getNoteFrequency(int note) const { return noteFrequencies[(size_t)note]; }
    const float* getSineTable() const { return sineTable.data(); }
    const DelayLine& getDelayLine(int side) const { return side == 0 ? delayLeft : delayRight; }
    const ChorusLine& getChorusLine(int side) const { return side == 0 ? chorusLeft : chorusRight; }
    // The delay length in frames that the current parameters and tempo ask for.
    int32_t computeDelayLength() const;

protected:
    int spanCapacity() const override { return VoiceBank::maxSpan; }
    void prepareSpanFrame(int index, bool unchanged) override;
    void repeatSpanFrame(int from, int to) override;
    void renderSpan(int count, float* left, float* right) override;
    void syncVoices() override { bank.store(); }

private:
    // What the effects read from the parameter table in one frame.
    struct EffectFrameInputs
    {
        int32_t delayLength = 1;
        float feedback = 0.0f;
        float mix = 0.0f;
        float lowCorner = 0.0f;
        float highCorner = 0.0f;
        float gain = 0.0f;
        float chorusDepth = 0.0f;
        bool operator==(const EffectFrameInputs&) const = default;
    };

    EffectFrameInputs readEffectInputs(bool reference);
    // Sets the effects up for a frame's inputs, then renders the frame through them.
    void configureEffects(const EffectFrameInputs& inputs, bool reference);
    void processEffects(float* frame, const EffectFrameInputs& inputs);
    // The delay's part of processEffects: the frame gets the delayed signal mixed in.
    void mixDelayFrame(float& left, float& right, float mix);
    void setDelayInputs(const EffectFrameInputs& inputs);
    // Takes the effects through the leading frames of left[], right[] (at most count) that leave
    // them silent, without computing them; answers how many (0 when the first does not).
    int skipSilence(const float* left, const float* right, const EffectFrameInputs* inputs, int count);
    bool delayFiltersAtRest() const;
    int32_t currentDelayLength();
    void prepareVoiceFrameInputs(VoiceFrameInputs& inputs);
    // Sums the active voices of `count` frames into left[] and right[], retiring finished ones. A
    // single voice rendered in one go may leave its tail instead (see VoiceBank::renderFrames).
    void renderVoiceSpan(int count, float* left, float* right, VoiceBank::Tail* tail);
    void pushNoteEvent(int32_t type, int note, int frame, bool fromAudioThread, float velocity);

    double engineRate = 88200.0;
    double pitchBendValue = 0.0;
    double modWheelValue = 0.0;
    std::array<double, 128> noteFrequencies{};
    std::vector<float> sineTable;

    DelayLine delayLeft{delayCapacityFrames};
    DelayLine delayRight{delayCapacityFrames};
    std::array<TwoPoleLowPass, 2> delayInputFilterA;
    std::array<TwoPoleLowPass, 2> delayInputFilterB;
    ChorusLine chorusLeft{0.0};
    ChorusLine chorusRight;

    // The optimised path renders the voices side by side from here.
    VoiceBank bank;
    // The inputs of the frames of the run being rendered (the voices' only up to spanRepeatsFrom).
    std::array<VoiceFrameInputs, VoiceBank::maxSpan> spanVoiceInputs{};
    std::array<EffectFrameInputs, VoiceBank::maxSpan> spanEffectInputs{};
    // From this frame of the run on, every frame's inputs repeat the frame before.
    int spanRepeatsFrom = 0;
    // The inputs of the latest frame whose parameters moved.
    VoiceFrameInputs latestVoiceInputs;
    EffectFrameInputs latestEffectInputs;
    // Caches of the optimised path, each keyed on every input of what it holds.
    double bendForFactor = std::numeric_limits<double>::quiet_NaN();
    EffectFrameInputs configuredEffects;
    bool effectsConfigured = false;
    float bendFactor = 1.0f;
    struct DelayLengthKey
    {
        float length = -1.0f, tempo = -1.0f, sync = -1.0f;
        double hostTempo = -1.0, engineRate = -1.0;
        bool operator==(const DelayLengthKey&) const = default;
    } delayLengthKey;
    int32_t delayLengthValue = 1;
};
