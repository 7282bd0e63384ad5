#pragma once

#include "VoiceFrameInputs.h"

#include <cstdint>

class AdsrEnvelope;
class InstrumentVoice;

// The sounding voices laid out side by side, one array per state variable, so that one frame of
// several voices is computed at once in the widest vector unit the processor offers (chosen at
// run time). The voices themselves stay the owners of their state: the bank copies it in when
// it starts rendering and back when anything else is about to look at the voices.
//
// The bank renders runs of frames: first every voice's clocks, envelopes and phases frame after
// frame, then the oscillators' sines of the whole run at once, then the filters frame after frame.
// A single voice whose frame inputs hold still is rendered across the frames of the run instead,
// only its recurrences frame after frame. The bank stops before a frame where an envelope changes
// segment or a voice ends; such a frame is left to the voices' own code. The oscillators' sines
// are the C library's, bit for bit; the filter's tangent is a cosine over a sine, which can differ from the
// library's tangent in the last bit of a double. Everything else is the same arithmetic in the same order,
// including the sum of the voices.
class VoiceBank
{
public:
    static constexpr int capacity = 24;
    // The longest run of frames rendered at once.
    static constexpr int maxSpan = 64;

    bool isLoaded() const { return loaded; }
    // Copies the state of `count` voices (at most capacity) in; their order is the order of the sum.
    void load(InstrumentVoice* const* voices, int count);
    // Copies the state back to the voices and forgets them. Does nothing when nothing is loaded.
    void store();

    // The last stage of a run of one voice, its filter and stereo spread, which the bank can leave
    // to the caller to run frame by frame alongside work of its own: in a loop of their own, the
    // filter's wait for the frame before would be nearly all there is to do.
    struct Tail
    {
        // The frames left to run; 0 when nothing is left.
        int frames = 0;
        const float* input = nullptr;
        const float* wobble = nullptr;
        const float* rightWobble = nullptr;
        float depth = 0.0f;
        double b0 = 0.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
        double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;

        // Frame i of the run (the frames in order): the voice's output, the sum over the one
        // voice starting from 0 as the voices' own loop does.
        void frame(int i, float& left, float& right)
        {
            const double in = input[i];
            const auto y = (float)(b1 * x1 + b0 * in + b2 * x2 - a1 * y1 - a2 * y2);
            x2 = x1;
            x1 = in;
            y2 = y1;
            y1 = y;
            left = 0.0f + (wobble[i] * depth * 4.0f + 1.0f) * y;
            right = 0.0f + (depth * rightWobble[i] * 4.0f + 1.0f) * y;
        }
    };

    // The inputs of a run's frames, where from frame repeatsFrom on every frame has the inputs of
    // the frame before: those need not be written (repeatsFrom may even lie before the first).
    struct RunInputs
    {
        const VoiceFrameInputs* frames = nullptr;
        int repeatsFrom = 0;

        const VoiceFrameInputs& operator[](int i) const
        {
            return frames[i < repeatsFrom ? i : repeatsFrom - 1];
        }
        RunInputs from(int start) const { return {frames + start, repeatsFrom - start}; }
    };

    // Renders up to `count` frames (at most maxSpan) of every loaded voice, summed, into left[]
    // and right[], with inputs[i] for frame i. Stops before a frame where an envelope would change
    // segment or a voice would end, and answers how many frames it rendered.
    // Given a tail, a run of one voice that renders all `count` frames may leave its last stage
    // there (tail->frames = count) instead of writing left[] and right[]: the caller then runs
    // tail->frame for every frame in order and hands the tail back to finishTail before the bank
    // is used again.
    int renderFrames(RunInputs inputs, int count, float* left, float* right, Tail* tail = nullptr);
    void finishTail(const Tail& tail);

    // The names of the vector units the processor offers and the one the bank uses, for reports.
    static const char* getTargetName();

    // The arrays, padded to a whole number of vectors on every target.
    struct Lanes
    {
        alignas(64) double wobblePhase[capacity];
        // Whole periods taken off the two wobble angles last time.
        alignas(64) double wobblePeriods[capacity];
        alignas(64) double rightWobblePeriods[capacity];
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
        alignas(64) double lastPitch[capacity];
        alignas(64) double modulatorIncrement[capacity];
        alignas(64) double carrierIncrement[capacity];
        double lastRatio = 0.0;
        // The per-frame filter inputs of the last frame, and whether the coefficients are theirs.
        float lastCutoffPosition = 0.0f;
        float lastResonance = 0.0f;
        bool filtersCurrent = false;
        // Shared by every voice.
        double rate = 88200.0;
        double filterRate = 88200.0;
        double inverseRate = 1.0 / 88200.0;
        int count = 0;
        const float* sineTable = nullptr;
    };

    // What the passes over a run hand on to each other, for every frame and voice: frame i's
    // voice v at [i * lanes + v], lanes being the voice count padded to whole vectors. Padded at
    // the end to a multiple of 16 lanes, the most a vector holds.
    struct Run
    {
        static constexpr int size = maxSpan * capacity + 16;
        alignas(64) double carrierPhase[size];
        alignas(64) double pitch[size];
        // A single voice's phases and modulation level, frame by frame.
        alignas(64) double modulatorPhase[size];
        alignas(64) double wobblePhase[size];
        alignas(64) float modLevel[size];
        alignas(64) float angle[size];
        alignas(64) float sine[size];
        alignas(64) float wobble[size];
        alignas(64) float rightWobble[size];
        alignas(64) float modScale[size];
        alignas(64) float shiftScale[size];
        alignas(64) float ampLevel[size];
        alignas(64) float left[size];
        alignas(64) float right[size];
        // Whether any voice's pitch differs from the frame before.
        bool pitchMoved[maxSpan];
    };

    // The filter state a tail ends with, back where the bank keeps it.
    static void keepFilterState(Lanes& lanes, const Tail& tail);

private:
    // The segment an envelope is in, as the counter value at which it ends and the step per frame.
    static void describeSegment(const AdsrEnvelope& envelope, bool endsVoice, int32_t& limit, double& step);

    Lanes lanes{};
    Run run{};
    InstrumentVoice* voices[capacity]{};
    bool loaded = false;
    // The per-frame inputs of the last frame rendered, which the voices keep a copy of.
    float carrierMorph = 0.0f, carrierWidth = 1.0f, modulatorMorph = 0.0f, modulatorWidth = 1.0f;
    bool rendered = false;
};
