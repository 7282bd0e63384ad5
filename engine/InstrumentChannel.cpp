#include "InstrumentChannel.h"

#include "EffectFrames.h"

#include "InstrumentVoice.h"
#include "Silence.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace
{
constexpr double nominalEngineRate = 88200.0;

// Channel-mode messages that hosts send when the transport stops. They travel through the queue
// like the other controllers so that they take effect at their frame; their types follow the
// engine's own event types.
constexpr int allSoundOffController = 120;
constexpr int allNotesOffController = 123;
constexpr int32_t allSoundOffEvent = 5;
constexpr int32_t allNotesOffEvent = 6;
} // namespace

InstrumentChannel::InstrumentChannel()
    : SynthBase::Channel(nominalEngineRate)
    , chorusRight(std::numbers::pi)
{
    for (int n = 0; n < 128; ++n)
    {
        const double hz = 440.0 * std::pow(2.0, (n - 69) / 12.0);
        noteFrequencies[(size_t)n] = std::round(hz * 1.0e10) / 1.0e10;
    }

    // One guard entry past the end: a lookup angle just under 2pi can round up to the last index.
    sineTable.resize((size_t)sineTableSize + 1);
    for (int i = 0; i <= sineTableSize; ++i)
    {
        const float fraction = (float)i / (float)sineTableSize;
        sineTable[(size_t)i] = std::sin((float)(2.0 * std::numbers::pi * fraction));
    }

    for (int side = 0; side < 2; ++side)
    {
        delayInputFilterA[(size_t)side].rate = nominalEngineRate;
        delayInputFilterB[(size_t)side].rate = (float)nominalEngineRate;
    }

    for (int i = 0; i < voiceCount; ++i)
    {
        auto voice = std::make_unique<InstrumentVoice>(sineTable.data());
        voice->setSampleRate(nominalEngineRate);
        addVoice(std::move(voice));
    }

    buildParameterTable();
}

InstrumentChannel::~InstrumentChannel() = default;

SynthBase::ParameterInfo InstrumentChannel::getParameterInfo(int index) const
{
    const auto& descriptor = instrumentParameters[(size_t)index];
    return {descriptor.id, descriptor.curve, descriptor.defaultValue, descriptor.min, descriptor.max};
}

void InstrumentChannel::pushNoteEvent(int32_t type, int note, int frame, bool fromAudioThread, float velocity)
{
    if (note < 0 || note > 127)
        return;
    SynthBase::SynthEvent event;
    event.type = type;
    event.frame = frame;
    event.note = note;
    event.value1 = noteFrequencies[(size_t)note];
    event.value2 = velocity;
    pushEvent(fromAudioThread, event);
}

void InstrumentChannel::noteOn(int, int note, int frame, bool fromAudioThread, float velocity)
{
    pushNoteEvent(SynthBase::noteOnEvent, note, frame, fromAudioThread, velocity);
}

void InstrumentChannel::noteOff(int, int note, int frame, bool fromAudioThread, float velocity)
{
    pushNoteEvent(SynthBase::noteOffEvent, note, frame, fromAudioThread, velocity);
}

void InstrumentChannel::pitchBend(int, int frame, bool, float value)
{
    SynthBase::SynthEvent event;
    event.type = SynthBase::pitchBendEvent;
    event.frame = frame;
    event.value1 = value;
    pushEventLocked(event);
}

void InstrumentChannel::controller(int, int number, int frame, bool, float value)
{
    SynthBase::SynthEvent event;
    if (number == 1)
        event.type = SynthBase::modWheelEvent;
    else if (number == 64)
        event.type = SynthBase::sustainEvent;
    else if (number == allSoundOffController)
        event.type = allSoundOffEvent;
    else if (number == allNotesOffController)
        event.type = allNotesOffEvent;
    else
        return;
    event.frame = frame;
    event.value1 = value;
    pushEventLocked(event);
}

void InstrumentChannel::handleEvent(const SynthBase::SynthEvent& event)
{
    switch (event.type)
    {
    case SynthBase::noteOnEvent:
        if (auto* voice = getVoiceForNote(event.note); voice != nullptr && !voice->isKeyDown())
        {
            voice->setVoiceParameter(0, (float)event.value1);
            voice->setVoiceParameter(1, (float)event.value2);
            voice->startNote();
        }
        break;
    case SynthBase::noteOffEvent:
        if (auto* voice = takeVoiceForRelease(event.note))
            voice->stopNote();
        break;
    case SynthBase::sustainEvent:
        setSustainPedal((float)event.value1);
        break;
    case SynthBase::pitchBendEvent:
        pitchBendValue = event.value1;
        break;
    case SynthBase::modWheelEvent:
        modWheelValue = event.value1;
        break;
    case allSoundOffEvent:
        silenceAllVoices();
        break;
    case allNotesOffEvent:
        releaseAllKeys();
        break;
    default:
        break;
    }
}

int32_t InstrumentChannel::computeDelayLength() const
{
    using namespace ParameterIndex;
    const bool sync = hostTempo != 0.0 && getParameterTarget(delaySyncToHost) >= 0.5f;
    const double bpm = sync ? hostTempo : (double)getParameterTarget(delayTempo);
    const int noteIndex =
        std::clamp((int)std::round(getParameterTarget(delayLength)), 0, (int)delayNoteValues.size() - 1);
    return (int32_t)(delayNoteValues[(size_t)noteIndex] * (60.0 / bpm) * engineRate * 0.5);
}

int32_t InstrumentChannel::currentDelayLength()
{
    using namespace ParameterIndex;
    const auto* table = getParameterTable();
    const DelayLengthKey key{table[delayLength].targetPlain, table[delayTempo].targetPlain,
                             table[delaySyncToHost].targetPlain, hostTempo, engineRate};
    if (!(key == delayLengthKey))
    {
        delayLengthKey = key;
        delayLengthValue = computeDelayLength();
    }
    return delayLengthValue;
}

void InstrumentChannel::prepareVoiceFrameInputs(VoiceFrameInputs& inputs)
{
    using namespace ParameterIndex;
    const auto* table = getParameterTable();
    const auto current = [table](int index) { return table[index].currentPlain; };

    const double bend = getPitchBend();
    if (!(bend == bendForFactor))
    {
        bendForFactor = bend;
        bendFactor = std::exp2((float)(2.0 * bend / 12.0));
    }
    inputs.bendFactor = bendFactor;
    inputs.wheel = getModWheel();
    inputs.wobbleSpeed = current(wobbleSpeed);
    inputs.carrierMorph = current(osc1Morph);
    inputs.carrierWidth = std::max(0.001f, 1.0f - current(osc1Width));
    inputs.modulatorMorph = current(osc2Morph);
    inputs.modulatorWidth = std::max(0.001f, 1.0f - current(osc2Width));
    inputs.modulatorRatio = InstrumentVoice::modulatorRatio(current(modFreqMult));
    inputs.wobbleDepth = current(wobbleDepth);
    inputs.modFeedback = current(modFeedback);
    inputs.cutoffPosition = current(highcutFreq);
    inputs.resonance = current(highcutReso);
}

inline void InstrumentChannel::mixDelayFrame(float& left, float& right, float mix)
{
    const float x = left;
    const float delayedLeft =
        delayLeft.process(delayInputFilterB[0].process(delayInputFilterA[0].process(x) - x));
    const float y = right;
    const float delayedRight =
        delayRight.process(delayInputFilterB[1].process(delayInputFilterA[1].process(y) - y));
    left = x + delayedLeft * mix;
    right = y + delayedRight * mix;
}

void InstrumentChannel::prepareSpanFrame(int index, bool unchanged)
{
    // Copied from a frame's inputs held aside rather than from the frame before, which was only
    // just written: each copy would wait for the one before it.
    const bool voices = getActiveHead() != nullptr;
    if (!unchanged)
    {
        spanRepeatsFrom = index + 1;
        // Voices start only at the run's first frame: without any then, none sound in the run.
        if (voices)
            prepareVoiceFrameInputs(latestVoiceInputs);
        latestEffectInputs = readEffectInputs(false);
    }
    if (voices)
        spanVoiceInputs[(size_t)index] = latestVoiceInputs;
    spanEffectInputs[(size_t)index] = latestEffectInputs;
}

void InstrumentChannel::repeatSpanFrame(int from, int to)
{
    // The voices' inputs of these frames are not written: the bank takes them from the frame
    // before.
    std::fill(spanEffectInputs.begin() + from, spanEffectInputs.begin() + to, latestEffectInputs);
}

void InstrumentChannel::renderSpan(int count, float* left, float* right)
{
    // A single voice may leave its last stage to run alongside the effects; its samples are then
    // not known before, and no silence is looked for.
    VoiceBank::Tail tail;
    renderVoiceSpan(count, left, right, &tail);
    const bool fromTail = tail.frames > 0;
    EffectChain chain{delayInputFilterA, delayInputFilterB, delayLeft, delayRight, chorusLeft, chorusRight};
    // The end (at most `limit`) of the frames after `from` whose effect inputs pass `alike`; from
    // spanRepeatsFrom on, every frame has the inputs of the one before.
    const auto alikeUntil = [this](int from, int limit, auto alike)
    {
        int end = from + 1;
        while (end < limit && end < spanRepeatsFrom && alike(spanEffectInputs[(size_t)end]))
            ++end;
        return end >= spanRepeatsFrom ? limit : end;
    };
    for (int i = 0; i < count;)
    {
        if (!fromTail)
            if (const int skipped = skipSilence(left + i, right + i, spanEffectInputs.data() + i, count - i))
            {
                i += skipped;
                continue;
            }

        // The frames that follow with the same chorus depth are rendered together, up to a silent
        // input that might let the effects skip (never before the delay lines could have gone
        // silent).
        const float chorusDepth = spanEffectInputs[(size_t)i].chorusDepth;
        int end = alikeUntil(
            i, count, [chorusDepth](const EffectFrameInputs& in) { return in.chorusDepth == chorusDepth; });
        if (!fromTail)
        {
            const int noSilenceBefore =
                std::min(delayLeft.framesBeforeSilence(), delayRight.framesBeforeSilence());
            int sounding = i + 1;
            while (sounding < end && (sounding - i < noSilenceBefore || !isPositiveZero(left[sounding]) ||
                                      !isPositiveZero(right[sounding])))
                ++sounding;
            end = sounding;
        }

        // The chorus depth holds over the frames: where its lines read is known before they run.
        float lfoAngles[ChorusLine::maxFrames];
        ChorusLine::ReadPlan leftReads;
        ChorusLine::ReadPlan rightReads;
        chorusLeft.setDepth(chorusDepth);
        chorusRight.setDepth(chorusDepth);
        chorusLeft.nextLfoAngles(lfoAngles, end - i);
        chorusLeft.planReads(lfoAngles, end - i, leftReads);
        chorusRight.nextLfoAngles(lfoAngles, end - i);
        chorusRight.planReads(lfoAngles, end - i, rightReads);

        for (int k = i; k < end;)
        {
            // Setting the effects up again for the same inputs would change nothing.
            const auto& inputs = spanEffectInputs[(size_t)k];
            if (!effectsConfigured || !(inputs == configuredEffects))
            {
                configureEffects(inputs, false);
                configuredEffects = inputs;
                effectsConfigured = true;
            }
            const int same =
                alikeUntil(k, end, [&inputs](const EffectFrameInputs& in) { return in == inputs; });
            processEffectFrames(chain, left + k, right + k, same - k, inputs.mix, inputs.gain, leftReads,
                                rightReads, k - i, fromTail ? &tail : nullptr, k);
            k = same;
        }
        i = end;
    }
    if (fromTail)
        bank.finishTail(tail);
    clearChangedList();
}

void InstrumentChannel::renderVoiceSpan(int count, float* left, float* right, VoiceBank::Tail* tail)
{
    const VoiceBank::RunInputs inputs{spanVoiceInputs.data(), spanRepeatsFrom};
    for (int done = 0; done < count;)
    {
        if (getActiveHead() == nullptr)
        {
            std::fill(left + done, left + count, 0.0f);
            std::fill(right + done, right + count, 0.0f);
            return;
        }

        if (!bank.isLoaded())
        {
            InstrumentVoice* active[VoiceBank::capacity];
            int voices = 0;
            for (auto* voice = getActiveHead(); voice != nullptr && voices < VoiceBank::capacity;
                 voice = voice->getNext())
                active[voices++] = static_cast<InstrumentVoice*>(voice);
            bank.load(active, voices);
        }
        // Only a run from the first frame to the last may leave its tail.
        done += bank.renderFrames(inputs.from(done), count - done, left + done, right + done,
                                  done == 0 ? tail : nullptr);
        if (done == count)
            return;

        // A frame where an envelope changes segment or a voice ends is rendered voice by voice.
        bank.store();
        float out[2] = {0.0f, 0.0f};
        for (auto* voice = getActiveHead(); voice != nullptr;)
        {
            auto* next = voice->getNext();
            float voiceOut[2];
            const bool finished =
                static_cast<InstrumentVoice*>(voice)->renderVoiceFrameFast(inputs[done], voiceOut);
            out[0] += voiceOut[0];
            out[1] += voiceOut[1];
            if (finished)
                retireVoice(voice);
            voice = next;
        }
        left[done] = out[0];
        right[done] = out[1];
        ++done;
    }
}

void InstrumentChannel::postProcessFrame(float* frame)
{
    const bool reference = isReferencePath();
    const auto inputs = readEffectInputs(reference);
    configureEffects(inputs, reference);
    processEffects(frame, inputs);
    effectsConfigured = false;
    clearChangedList();
}

void InstrumentChannel::setDelayInputs(const EffectFrameInputs& in)
{
    delayLeft.feedback = in.feedback;
    delayRight.feedback = in.feedback;
    delayLeft.setLength(in.delayLength);
    delayRight.setLength(in.delayLength);
}

int InstrumentChannel::skipSilence(const float* left, const float* right, const EffectFrameInputs* in,
                                   int count)
{
    // Silence in and nothing but silence inside: every stage would give +0 and only the clocks
    // of the delay and chorus move on. (The filters' coefficients follow their inputs whenever
    // they are next used.)
    if (!(in[0] == configuredEffects))
        effectsConfigured = false;
    setDelayInputs(in[0]);
    if (!isPositiveZero(left[0]) || !isPositiveZero(right[0]) || !delayLeft.holdsSilence() ||
        !delayRight.holdsSilence() || !delayFiltersAtRest())
        return 0;
    chorusLeft.setDepth(in[0].chorusDepth);
    chorusRight.setDepth(in[0].chorusDepth);
    if (!chorusLeft.readsSilence() || !chorusRight.readsSilence())
        return 0;

    // Skipping keeps it so while the input stays +0 and neither the delay's length nor the
    // chorus depth changes.
    int frames = 1;
    while (frames < count && isPositiveZero(left[frames]) && isPositiveZero(right[frames]) &&
           in[frames].delayLength == in[0].delayLength && in[frames].chorusDepth == in[0].chorusDepth)
        ++frames;
    // The filters' coefficients were left behind.
    effectsConfigured = false;
    delayLeft.feedback = in[frames - 1].feedback;
    delayRight.feedback = in[frames - 1].feedback;
    delayLeft.skipSilentFrames(frames);
    delayRight.skipSilentFrames(frames);
    ChorusLine::skipSilentFrames(chorusLeft, chorusRight, frames);
    return frames;
}

InstrumentChannel::EffectFrameInputs InstrumentChannel::readEffectInputs(bool reference)
{
    using namespace ParameterIndex;
    const auto* table = getParameterTable();
    EffectFrameInputs inputs;
    inputs.delayLength = reference ? computeDelayLength() : currentDelayLength();
    inputs.feedback = table[delayFeedback].currentPlain;
    inputs.mix = table[delayMix].currentPlain;
    inputs.lowCorner = table[delayLowpass].currentPlain;
    inputs.highCorner = table[delayHighpass].currentPlain;
    inputs.gain = (float)(table[mainVolume].target * 0.4);
    inputs.chorusDepth = (float)(table[chorus].target * 0.002);
    return inputs;
}

void InstrumentChannel::configureEffects(const EffectFrameInputs& in, bool reference)
{
    setDelayInputs(in);

    // The delay hears the band between the two corners, with inverted polarity.
    double cutoffA = in.lowCorner * in.lowCorner * 20000.0f;
    cutoffA = std::min(std::max(cutoffA, 20.0), 20000.0);
    double cutoffB = in.highCorner * in.highCorner * 20000.0f;
    cutoffB = std::max(std::min(cutoffB, 15000.0), 60.0);
    if (reference)
    {
        for (size_t side = 0; side < 2; ++side)
        {
            delayInputFilterA[side].setCutoffAndDamping(cutoffA, 1.0);
            delayInputFilterB[side].setCutoffAndDamping(cutoffB, 1.0);
        }
    }
    else
    {
        // Both sides run at one rate from the same corners: the right side takes the left's
        // coefficients instead of computing the same tangents again.
        delayInputFilterA[0].setCutoffAndDampingIfChanged(cutoffA, 1.0);
        delayInputFilterB[0].setCutoffAndDampingIfChanged(cutoffB, 1.0);
        if (delayInputFilterA[1].needsCoefficients(cutoffA, 1.0))
            delayInputFilterA[1].takeCoefficientsFrom(delayInputFilterA[0]);
        if (delayInputFilterB[1].needsCoefficients(cutoffB, 1.0))
            delayInputFilterB[1].takeCoefficientsFrom(delayInputFilterB[0]);
    }

    chorusLeft.setDepth(in.chorusDepth);
    chorusRight.setDepth(in.chorusDepth);
}

void InstrumentChannel::processEffects(float* frame, const EffectFrameInputs& in)
{
    mixDelayFrame(frame[0], frame[1], in.mix);
    const float left = chorusLeft.process(frame[0]);
    const float right = chorusRight.process(frame[1]);
    frame[0] = in.gain * left;
    frame[1] = right * in.gain;
}

bool InstrumentChannel::delayFiltersAtRest() const
{
    for (size_t side = 0; side < 2; ++side)
        if (!delayInputFilterA[side].isAtRest() || !delayInputFilterB[side].isAtRest())
            return false;
    return true;
}

void InstrumentChannel::setSampleRate(double rate)
{
    // The nominal rate (ramp clock, amplitude envelope) deliberately stays at its construction value.
    if (rate == engineRate)
        return;
    syncVoices();
    effectsConfigured = false;
    engineRate = rate;
    chorusLeft.setRate(rate);
    chorusRight.setRate(rate);
    for (size_t side = 0; side < 2; ++side)
    {
        delayInputFilterA[side].rate = rate;
        delayInputFilterA[side].clear();
        delayInputFilterB[side].rate = (float)rate;
    }
    forEachVoice([rate](SynthBase::Voice& voice) { voice.setSampleRate(rate); });
}
