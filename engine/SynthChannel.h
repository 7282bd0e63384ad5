#pragma once

#include "SynthEvent.h"
#include "SynthParameters.h"
#include "SynthVoice.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace SynthBase
{

// The generic engine channel: turns MIDI into timestamped events, keeps a queue that other threads
// may fill, dispatches events at their frame, allocates, steals and releases voices, handles the
// sustain pedal, smooths its parameter table and renders one frame at a time.
//
// Everything here runs on the audio thread except the event queue, whose pushes from elsewhere are
// bracketed by the lock hook. Nothing allocates after construction.
class Channel
{
public:
    static constexpr int eventCapacity = 4096;
    static constexpr int noteSlots = 129;
    static constexpr int outputChannelCount = 2;

    using LockHook = void (*)(bool lock, void* context);

    explicit Channel(double nominalRate);
    virtual ~Channel();

    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // Voice management.
    virtual Voice* getVoiceForNote(int note);
    virtual Voice* takeVoiceForRelease(int note);
    virtual Voice* getHeldVoice(int index);
    virtual void setSustainPedal(float value);
    virtual float getSustainPedal() const;
    virtual int getVoiceMode() const;
    virtual double getPitchBend() const;
    virtual double getModWheel() const;
    // Releases every held key as its note-off would; what the sustain pedal holds stays held.
    void releaseAllKeys();
    // Frees every voice at once: nothing sounds from the next frame and the pedal holds nothing.
    void silenceAllVoices();

    // MIDI entry points.
    virtual void noteOn(int midiChannel, int note, int frame, bool fromAudioThread, float velocity) = 0;
    virtual void noteOff(int midiChannel, int note, int frame, bool fromAudioThread, float velocity) = 0;
    virtual void pitchBend(int midiChannel, int frame, bool fromAudioThread, float value) = 0;
    virtual void controller(int midiChannel, int number, int frame, bool fromAudioThread, float value) = 0;
    virtual void handleMidiMessage(int status, int data1, int data2, int frame, bool fromAudioThread);

    // Parameter table.
    virtual void setParameterNormalised(int index, float value);
    virtual void setParameterNormalisedRamped(int index, float value, float seconds);
    virtual void setParameterPlain(int index, float plain);
    virtual void setParameterPlainRamped(int index, float plain, float seconds);
    virtual float getParameterNormalised(int index) const;
    virtual float getParameter(int index, bool fromCurrent) const;
    virtual float getParameterTarget(int index) const;
    virtual float getParameterCurrent(int index) const;
    virtual int getNumParameters() const = 0;
    virtual ParameterInfo getParameterInfo(int index) const = 0;
    virtual void parameterChanged(int index, float plain) = 0;

    // Events.
    virtual void handleEvent(const SynthEvent& event) = 0;
    virtual void pushEventLocked(const SynthEvent& event);
    virtual void pushEvent(bool fromAudioThread, const SynthEvent& event);

    virtual void postProcessFrame(float* frame);
    virtual void setSampleRate(double rate);

    // Called by the processor once per host block, in this order.
    void dispatchParameterChanges();
    void beginBlock(int64_t frameBase);
    void setHostTempo(double bpm) { hostTempo = bpm; }
    // Renders one frame into out[0] (left) and out[1] (right).
    void renderFrame(int64_t frameTime, float* out);
    // Renders `count` frames from frameTime on into left[] and right[]: the same samples as
    // renderFrame frame after frame.
    void renderFrames(int64_t frameTime, int count, float* left, float* right);
    // Brings the voices' own state up to date; what they report between blocks is current after it.
    void endBlock() { syncVoices(); }

    void setLockHook(LockHook hook, void* context);

    // The straightforward rendering (every ramp, every voice and effect computed in full each
    // frame) instead of the optimised one; both give the same samples. Kept for measuring and
    // for checking the optimisations against.
    void setReferencePath(bool useReferencePath);
    bool isReferencePath() const { return referencePath; }

    double getNominalRate() const { return nominalRate; }
    double getHostTempo() const { return hostTempo; }
    int getQueuedEventCount() const { return queueCount; }
    int getActiveVoiceCount() const;
    int getFreeVoiceCount() const;
    Voice* getActiveHead() const { return activeHead; }
    Voice* getVoiceForNoteSlot(int note) const;
    const ParameterRecord& getParameterRecord(int index) const { return parameters[(size_t)index]; }

protected:
    // Takes ownership of a voice and pushes it at the head of the free list.
    void addVoice(std::unique_ptr<Voice> voice);
    // Builds the parameter table from getNumParameters / getParameterInfo; derived constructors
    // call it once they can answer those.
    void buildParameterTable();
    // Empties the changed list without notifying anyone.
    void clearChangedList();

    // Sums the active voices into out[0], out[1] in active-list order and retires finished ones.
    virtual void renderVoices(float* out);
    // A derived channel that renders from its own copy of the voices' state writes it back here.
    // Voices are managed only from events, so the channel calls it before dispatching a frame's
    // events, at the end of a block, and when the rendering path or the rate changes.
    virtual void syncVoices() {}
    // A derived channel may render runs of frames between events at once (not on the reference
    // path): at most spanCapacity() frames (0: frame by frame). Every frame of a run gets its ramps
    // advanced and, at the first, its events dispatched; prepareSpanFrame(i, unchanged) is then
    // called for it, so that the derived channel can take what it needs from the parameter table
    // (`unchanged` says that nothing in the table moved since frame i - 1), and at the end
    // renderSpan renders the run. Frames from where nothing moves any more are handed on at once:
    // repeatSpanFrame(from, to) stands for prepareSpanFrame(i, true) for i in [from, to).
    virtual int spanCapacity() const { return 0; }
    virtual void prepareSpanFrame(int, bool) {}
    virtual void repeatSpanFrame(int from, int to)
    {
        for (int i = from; i < to; ++i)
            prepareSpanFrame(i, true);
    }
    virtual void renderSpan(int, float*, float*) {}
    // Returns a finished voice to the free list.
    void retireVoice(Voice* voice);
    const ParameterRecord* getParameterTable() const { return parameters.data(); }

    template <typename Function>
    void forEachVoice(Function&& function)
    {
        for (auto& voice : pool)
            function(*voice);
    }

    double nominalRate;
    double inverseNominalRate;
    double hostTempo = 0.0;
    float sustainPedal = 0.0f;
    int64_t currentFrame = 0;

private:
    void writeParameter(int index, float value, bool ramp);
    void advanceRamps();
    // Dispatches the events of this frame of the block, syncing the voices first if there are any.
    void dispatchEvents(int64_t blockFrame);
    static void advanceRamp(ParameterRecord& record);
    void markChanged(int index);
    void unlinkActive(Voice* voice);
    void pushActiveHead(Voice* voice);
    void pushFreeHead(Voice* voice);
    Voice* popFreeHead();
    void lock(bool shouldLock);

    std::array<SynthEvent, eventCapacity> queue{};
    // Read without the lock to skip locking an empty queue; changed only under the lock or on
    // the audio thread while the host holds it.
    std::atomic<int> queueCount{0};
    std::array<SynthEvent, eventCapacity> blockEvents{};
    std::array<uint64_t, eventCapacity> sortKeys{};
    int blockCount = 0;
    int readPosition = 0;
    int64_t frameBase = 0;

    std::vector<std::unique_ptr<Voice>> pool;
    Voice* freeHead = nullptr;
    Voice* activeHead = nullptr;
    Voice* activeTail = nullptr;
    std::array<Voice*, noteSlots> voiceByNote{};

    std::vector<ParameterRecord> parameters;
    std::vector<int> changedList;
    int changedCount = 0;
    std::vector<int> rampList;
    int rampCount = 0;
    std::vector<int> movingList; // ramps with a non-zero step
    int movingCount = 0;
    bool referencePath = false;
    float rampClockRate;
    std::vector<float> scratch;

    LockHook lockHook = nullptr;
    void* lockContext = nullptr;
};

} // namespace SynthBase
