#pragma once

#include <cstdint>

class AdsrEnvelope;
class InstrumentVoice;
struct VoiceFrameInputs;

// The sounding voices laid out side by side, one array per state variable, so that one frame of
// several voices is computed at once in the widest vector unit the processor offers (chosen at
// run time). The voices themselves stay the owners of their state: the bank copies it in when
// it starts rendering and back when anything else is about to look at the voices.
//
// The bank renders only the frames where no envelope changes segment and no voice ends; such a
// frame is left to the voices' own code. The oscillators' sines are the C library's, bit for
// bit; the filter's tangent is a cosine over a sine, which can differ from the library's tangent
// in the last bit of a double. Everything else is the same arithmetic in the same order,
// including the sum of the voices.
class VoiceBank
{
public:
    static constexpr int capacity = 24;

    bool isLoaded() const { return loaded; }
    // Copies the state of `count` voices (at most capacity) in; their order is the order of the sum.
    void load(InstrumentVoice* const* voices, int count);
    // Copies the state back to the voices and forgets them. Does nothing when nothing is loaded.
    void store();

    // Renders one frame of every loaded voice into out[0], out[1]. Answers false, having changed
    // nothing, when an envelope would change segment or a voice would end in this frame.
    bool renderFrame(const VoiceFrameInputs& inputs, float* out);

    // The names of the vector units the processor offers and the one the bank uses, for reports.
    static const char* getTargetName();

    // The arrays, padded to a whole number of vectors on every target.
    struct Lanes
    {
        alignas(64) double wobblePhase[capacity];
        alignas(64) double vibratoPhase[capacity];
        alignas(64) double modulatorPhase[capacity];
        alignas(64) double carrierPhase[capacity];
        alignas(64) double b0[capacity];
        alignas(64) double b1[capacity];
        alignas(64) double b2[capacity];
        alignas(64) double a1[capacity];
        alignas(64) double a2[capacity];
        alignas(64) double k[capacity];
        alignas(64) double cutoff[capacity];
        alignas(64) double damping[capacity];
        alignas(64) double x1[capacity];
        alignas(64) double x2[capacity];
        alignas(64) double y1[capacity];
        alignas(64) double y2[capacity];
        alignas(64) double lastCutoff[capacity];
        alignas(64) double lastDamping[capacity];
        alignas(64) double ampStep[capacity];
        alignas(64) double modStep[capacity];
        alignas(64) float frequency[capacity];
        alignas(64) float feedbackVelocityFactor[capacity];
        alignas(64) float filterVelocityFactor[capacity];
        alignas(64) float volumeVelocityFactor[capacity];
        alignas(64) float ampLevel[capacity];
        alignas(64) float modLevel[capacity];
        alignas(64) int32_t ampCounter[capacity];
        alignas(64) int32_t ampLimit[capacity];
        alignas(64) int32_t modCounter[capacity];
        alignas(64) int32_t modLimit[capacity];
        // Scratch of one frame: the envelopes' next levels, the pitch, an oscillator's angle and
        // sine, the wobble on both sides, the factors of the phase shift, and each voice's output.
        alignas(64) float nextAmpLevel[capacity];
        alignas(64) float nextModLevel[capacity];
        alignas(64) double pitch[capacity];
        alignas(64) float angle[capacity];
        alignas(64) float sine[capacity];
        alignas(64) float wobble[capacity];
        alignas(64) float rightWobble[capacity];
        alignas(64) float modScale[capacity];
        alignas(64) float shiftScale[capacity];
        alignas(64) float left[capacity];
        alignas(64) float right[capacity];
        // Shared by every voice.
        double rate = 88200.0;
        double filterRate = 88200.0;
        double inverseRate = 1.0 / 88200.0;
        int count = 0;
        const float* sineTable = nullptr;
    };

private:
    // The segment an envelope is in, as the counter value at which it ends and the step per frame.
    static void describeSegment(const AdsrEnvelope& envelope, bool endsVoice, int32_t& limit, double& step);

    Lanes lanes{};
    InstrumentVoice* voices[capacity]{};
    bool loaded = false;
    // The per-frame inputs of the last frame rendered, which the voices keep a copy of.
    float carrierMorph = 0.0f, carrierWidth = 1.0f, modulatorMorph = 0.0f, modulatorWidth = 1.0f;
    bool rendered = false;
};
