#include "SynthChannel.h"

#include <algorithm>

namespace SynthBase
{

Channel::Channel(double rate)
    : nominalRate(rate)
    , inverseNominalRate(1.0 / rate)
    , rampClockRate((float)rate)
{
}

Channel::~Channel() = default;

void Channel::setLockHook(LockHook hook, void* context)
{
    lockHook = hook;
    lockContext = context;
}

void Channel::lock(bool shouldLock)
{
    if (lockHook != nullptr)
        lockHook(shouldLock, lockContext);
}

//==============================================================================
// Voice lists

void Channel::addVoice(std::unique_ptr<Voice> voice)
{
    voice->channel = this;
    pushFreeHead(voice.get());
    pool.push_back(std::move(voice));
}

void Channel::pushFreeHead(Voice* voice)
{
    voice->inFreeList = true;
    voice->previous = nullptr;
    voice->next = freeHead;
    if (freeHead != nullptr)
        freeHead->previous = voice;
    freeHead = voice;
}

Voice* Channel::popFreeHead()
{
    Voice* voice = freeHead;
    if (voice == nullptr)
        return nullptr;
    freeHead = voice->next;
    if (freeHead != nullptr)
        freeHead->previous = nullptr;
    voice->next = voice->previous = nullptr;
    return voice;
}

void Channel::pushActiveHead(Voice* voice)
{
    voice->inFreeList = false;
    voice->previous = nullptr;
    voice->next = activeHead;
    if (activeHead != nullptr)
        activeHead->previous = voice;
    activeHead = voice;
    if (activeTail == nullptr)
        activeTail = voice;
}

void Channel::unlinkActive(Voice* voice)
{
    if (voice->previous != nullptr)
        voice->previous->next = voice->next;
    else
        activeHead = voice->next;
    if (voice->next != nullptr)
        voice->next->previous = voice->previous;
    else
        activeTail = voice->previous;
    voice->next = voice->previous = nullptr;
}

int Channel::getActiveVoiceCount() const
{
    int count = 0;
    for (auto* voice = activeHead; voice != nullptr; voice = voice->next)
        ++count;
    return count;
}

int Channel::getFreeVoiceCount() const
{
    int count = 0;
    for (auto* voice = freeHead; voice != nullptr; voice = voice->next)
        ++count;
    return count;
}

Voice* Channel::getVoiceForNoteSlot(int note) const
{
    return (note >= 0 && note < noteSlots) ? voiceByNote[(size_t)note] : nullptr;
}

//==============================================================================
// Allocation and release

Voice* Channel::getVoiceForNote(int note)
{
    if (note < 0 || note >= noteSlots)
        return nullptr;
    if (auto* held = voiceByNote[(size_t)note])
        return held;

    Voice* voice = popFreeHead();
    bool stolen = false;
    if (voice == nullptr)
    {
        // Steal the oldest voice in its release; if every key is held, the oldest voice of all.
        for (auto* candidate = activeHead; candidate != nullptr; candidate = candidate->next)
            if (!candidate->isKeyDown())
                voice = candidate;
        if (voice == nullptr)
            voice = activeTail;
        if (voice == nullptr)
            return nullptr;
        stolen = true;
        unlinkActive(voice);
    }

    pushActiveHead(voice);
    voiceByNote[(size_t)note] = voice;

    if (stolen && voice->note != note && voice->isKeyDown())
    {
        const auto previousNote = (size_t)voice->note;
        if (auto* previous = voiceByNote[previousNote]; previous != nullptr && previous->isKeyDown())
            previous->stopNote();
        if (voice->isSustainPedalDown())
            voice->stopNote();
        voiceByNote[previousNote] = nullptr;
    }

    voice->note = note;
    return voice;
}

Voice* Channel::takeVoiceForRelease(int note)
{
    if (note < 0 || note >= noteSlots)
        return nullptr;
    Voice* voice = voiceByNote[(size_t)note];
    voiceByNote[(size_t)note] = nullptr;
    if (voice == nullptr || voice->isSustainPedalDown())
        return nullptr;
    return voice;
}

Voice* Channel::getHeldVoice(int index)
{
    for (auto* voice = activeHead; voice != nullptr; voice = voice->next)
    {
        if (!voice->isKeyDown())
            continue;
        if (index == 0)
            return voice;
        --index;
    }
    return nullptr;
}

void Channel::setSustainPedal(float value)
{
    sustainPedal = value;
    if (value > 0.5f)
        return;

    for (auto* voice = activeHead; voice != nullptr; voice = voice->next)
    {
        if (!voice->isKeyDown())
            continue;
        if (voiceByNote[(size_t)voice->note] != nullptr)
        {
            // The key is still down: release the duplicates that the pedal kept alive.
            for (auto* other = activeHead; other != nullptr; other = other->next)
                if (other != voice && other->note == voice->note)
                    other->stopNote();
        }
        else
        {
            voice->stopNote();
        }
    }
}

void Channel::releaseAllKeys()
{
    for (int note = 0; note < noteSlots; ++note)
        if (voiceByNote[(size_t)note] != nullptr)
            if (auto* voice = takeVoiceForRelease(note))
                voice->stopNote();
}

void Channel::silenceAllVoices()
{
    while (auto* voice = activeHead)
    {
        // Released first so that no voice sits in the free list with its key down.
        voice->stopNote();
        unlinkActive(voice);
        pushFreeHead(voice);
    }
    voiceByNote.fill(nullptr);
}

float Channel::getSustainPedal() const
{
    return sustainPedal;
}

int Channel::getVoiceMode() const
{
    return 0;
}

double Channel::getPitchBend() const
{
    return 0.0;
}

double Channel::getModWheel() const
{
    return 0.0;
}

//==============================================================================
// MIDI and events

void Channel::handleMidiMessage(int status, int data1, int data2, int frame, bool fromAudioThread)
{
    // Data bytes with the top bit set are not MIDI; they would index past the note tables.
    if (data1 < 0 || data1 > 127 || data2 < 0 || data2 > 127)
        return;

    const int midiChannel = status & 0x0F;
    switch ((status >> 4) & 0x0F)
    {
    case 8:
        noteOff(midiChannel, data1, frame, fromAudioThread, (float)data2 / 127.0f);
        break;
    case 9:
        if (data2 == 0)
            noteOff(midiChannel, data1, frame, fromAudioThread, 1.0f);
        else
            noteOn(midiChannel, data1, frame, fromAudioThread, (float)data2 / 127.0f);
        break;
    case 11:
        controller(midiChannel, data1, frame, fromAudioThread, (float)data2 / 127.0f);
        break;
    case 14:
        pitchBend(midiChannel, frame, fromAudioThread,
                  ((float)(data2 * 128 + data1) / 16383.0f) * 2.0f - 1.0f);
        break;
    default:
        break;
    }
}

void Channel::pushEventLocked(const SynthEvent& event)
{
    pushEvent(false, event);
}

void Channel::pushEvent(bool fromAudioThread, const SynthEvent& event)
{
    if (queueCount >= eventCapacity)
        return;
    if (!fromAudioThread)
        lock(true);
    // Checked again under the lock: another thread may have filled the queue meanwhile.
    if (queueCount < eventCapacity)
    {
        queue[(size_t)queueCount] = event;
        ++queueCount;
    }
    if (!fromAudioThread)
        lock(false);
}

void Channel::beginBlock(int64_t newFrameBase)
{
    frameBase = newFrameBase;
    if (queueCount > 0)
    {
        lock(true);
        const int count = queueCount;
        // Sorting on (frame, arrival) keeps events of equal frames in the order they came in.
        for (int i = 0; i < count; ++i)
        {
            const auto biasedFrame = (uint32_t)queue[(size_t)i].frame ^ 0x80000000u;
            sortKeys[(size_t)i] = ((uint64_t)biasedFrame << 32) | (uint32_t)i;
        }
        std::sort(sortKeys.begin(), sortKeys.begin() + count);
        for (int i = 0; i < count; ++i)
            blockEvents[(size_t)i] = queue[(size_t)(sortKeys[(size_t)i] & 0xFFFFFFFFu)];
        blockCount = count;
        queueCount = 0;
        lock(false);
    }
    else
    {
        blockCount = 0;
    }
    readPosition = 0;
}

//==============================================================================
// Parameters

void Channel::buildParameterTable()
{
    const int count = getNumParameters();
    parameters.assign((size_t)count, ParameterRecord{});
    changedList.assign((size_t)count, 0);
    rampList.assign((size_t)count, 0);
    movingList.assign((size_t)count, 0);
    movingCount = 0;
    scratch.assign((size_t)count, 0.0f);
    changedCount = 0;
    rampCount = 0;
    rampClockRate = (float)nominalRate;

    for (int i = 0; i < count; ++i)
    {
        const auto info = getParameterInfo(i);
        auto& record = parameters[(size_t)i];
        record.min = info.min;
        record.max = info.max;
        record.curve = info.curve;
        record.name = info.name;
        record.target = record.rampValue = info.defaultValue;
        record.targetPlain = record.currentPlain = plainFromNormalised(record, info.defaultValue);
    }
    for (int i = 0; i < count; ++i)
        parameterChanged(i, parameters[(size_t)i].currentPlain);
}

void Channel::writeParameter(int index, float value, bool ramp)
{
    auto& record = parameters[(size_t)index];
    record.target = value;
    const float rampFrames = rampClockRate * record.rampTime;
    if (ramp && rampFrames > 0.0f)
    {
        record.rampStep = (value - record.rampValue) / rampFrames;
        record.rampActive = 1;
        record.targetPlain = plainFromNormalised(record, value);
        if (record.rampStep != 0.0f && record.moving == 0)
        {
            record.moving = 1;
            movingList[(size_t)movingCount++] = index;
        }
    }
    else
    {
        // Also taken for a ramp of no length, which would otherwise divide by zero.
        record.rampValue = value;
        record.rampStep = 0.0f;
        record.rampActive = 0;
        record.targetPlain = plainFromNormalised(record, value);
        record.currentPlain = record.targetPlain;
    }
}

void Channel::markChanged(int index)
{
    auto& record = parameters[(size_t)index];
    if (record.changed != 0)
        return;
    record.changed = 1;
    changedList[(size_t)changedCount++] = index;
}

void Channel::setParameterNormalised(int index, float value)
{
    if (index < 0 || index >= (int)parameters.size())
        return;
    writeParameter(index, value, false);
    markChanged(index);
}

void Channel::setParameterNormalisedRamped(int index, float value, float seconds)
{
    if (index < 0 || index >= (int)parameters.size())
        return;
    auto& record = parameters[(size_t)index];
    if (record.curve == Curve::integer)
    {
        writeParameter(index, value, false);
        return;
    }
    if (record.inRampList == 0)
    {
        record.inRampList = 1;
        rampList[(size_t)rampCount++] = index;
    }
    record.rampTime = seconds;
    writeParameter(index, value, true);
    markChanged(index);
}

void Channel::setParameterPlain(int index, float plain)
{
    if (index < 0 || index >= (int)parameters.size())
        return;
    setParameterNormalised(index, normalisedFromPlain(parameters[(size_t)index], plain));
}

void Channel::setParameterPlainRamped(int index, float plain, float seconds)
{
    if (index < 0 || index >= (int)parameters.size())
        return;
    setParameterNormalisedRamped(index, normalisedFromPlain(parameters[(size_t)index], plain), seconds);
}

float Channel::getParameterNormalised(int index) const
{
    return parameters[(size_t)index].target;
}

float Channel::getParameter(int index, bool fromCurrent) const
{
    const auto& record = parameters[(size_t)index];
    return fromCurrent ? normalisedFromPlain(record, record.currentPlain) : record.target;
}

float Channel::getParameterTarget(int index) const
{
    return parameters[(size_t)index].targetPlain;
}

float Channel::getParameterCurrent(int index) const
{
    return parameters[(size_t)index].currentPlain;
}

void Channel::clearChangedList()
{
    for (int i = 0; i < changedCount; ++i)
        parameters[(size_t)changedList[(size_t)i]].changed = 0;
    changedCount = 0;
}

void Channel::dispatchParameterChanges()
{
    const int count = changedCount;
    for (int i = 0; i < count; ++i)
    {
        const int index = changedList[(size_t)i];
        parameters[(size_t)index].changed = 0;
        scratch[(size_t)i] = (float)index;
    }
    changedCount = 0;
    for (int i = 0; i < count; ++i)
    {
        const auto index = (int)scratch[(size_t)i];
        parameterChanged(index, parameters[(size_t)index].currentPlain);
    }
}

void Channel::postProcessFrame(float*)
{
    clearChangedList();
}

void Channel::setSampleRate(double rate)
{
    if (rate == nominalRate)
        return;
    nominalRate = rate;
    inverseNominalRate = 1.0 / rate;
    rampClockRate = (float)rate;
    const auto count = parameters.size();
    for (size_t i = 0; i < count; ++i)
        scratch[i] = parameters[i].target;
    for (size_t i = 0; i < count; ++i)
        writeParameter((int)i, scratch[i], false);
}

//==============================================================================
// Rendering

void Channel::advanceRamp(ParameterRecord& record)
{
    record.rampValue += record.rampStep;
    if ((record.rampStep > 0.0f && record.rampValue > record.target) ||
        (record.rampStep < 0.0f && record.rampValue < record.target))
    {
        record.rampValue = record.target;
        record.rampStep = 0.0f;
        record.rampActive = 0;
    }
    if (record.curve != Curve::integer)
        record.currentPlain = plainFromNormalised(record, record.rampValue);
}

void Channel::advanceRamps()
{
    if (referencePath)
    {
        for (int i = 0; i < rampCount; ++i)
        {
            auto& record = parameters[(size_t)rampList[(size_t)i]];
            if (record.rampActive != 0)
                advanceRamp(record);
        }
        return;
    }

    // A ramp whose step is 0 leaves its value, and so its plain value, where they are: only the
    // moving ones need work. Order does not matter, each record is independent.
    for (int i = 0; i < movingCount;)
    {
        const int index = movingList[(size_t)i];
        auto& record = parameters[(size_t)index];
        if (record.rampActive != 0 && record.rampStep != 0.0f)
        {
            advanceRamp(record);
            ++i;
        }
        else
        {
            record.moving = 0;
            movingList[(size_t)i] = movingList[(size_t)--movingCount];
        }
    }
}

void Channel::dispatchEvents(int64_t blockFrame)
{
    if (readPosition < blockCount && blockEvents[(size_t)readPosition].frame == blockFrame)
    {
        syncVoices();
        while (readPosition < blockCount && blockEvents[(size_t)readPosition].frame == blockFrame)
            handleEvent(blockEvents[(size_t)readPosition++]);
    }
}

void Channel::renderFrame(int64_t frameTime, float* out)
{
    if (!referencePath && spanCapacity() > 0)
    {
        renderFrames(frameTime, 1, out, out + 1);
        return;
    }

    advanceRamps();
    currentFrame = frameTime;
    dispatchEvents(frameTime - frameBase);
    renderVoices(out);
    postProcessFrame(out);
}

void Channel::renderFrames(int64_t frameTime, int count, float* left, float* right)
{
    const int capacity = referencePath ? 0 : spanCapacity();
    if (capacity <= 0)
    {
        for (int i = 0; i < count; ++i)
        {
            float out[outputChannelCount];
            renderFrame(frameTime + i, out);
            left[i] = out[0];
            right[i] = out[1];
        }
        return;
    }

    for (int done = 0; done < count;)
    {
        advanceRamps();
        currentFrame = frameTime + done;
        const int64_t blockFrame = currentFrame - frameBase;
        dispatchEvents(blockFrame);

        // The run ends before the next frame with events (an event whose frame has passed is
        // never dispatched, as frame by frame).
        int length = std::min(count - done, capacity);
        if (readPosition < blockCount)
        {
            const int64_t next = blockEvents[(size_t)readPosition].frame;
            if (next > blockFrame && next - blockFrame < length)
                length = (int)(next - blockFrame);
        }

        prepareSpanFrame(0, false);
        int i = 1;
        for (; i < length && movingCount > 0; ++i)
        {
            advanceRamps();
            prepareSpanFrame(i, movingCount == 0);
        }
        // Once no ramp moves, none starts before the next event: the rest of the run is alike.
        if (i < length)
            repeatSpanFrame(i, length);
        currentFrame = frameTime + done + length - 1;
        renderSpan(length, left + done, right + done);
        done += length;
    }
}

void Channel::renderVoices(float* out)
{
    out[0] = 0.0f;
    out[1] = 0.0f;
    for (auto* voice = activeHead; voice != nullptr;)
    {
        auto* next = voice->next;
        float voiceOut[outputChannelCount] = {0.0f, 0.0f};
        const bool finished = voice->renderVoiceFrame(voiceOut);
        for (int c = 0; c < outputChannelCount; ++c)
            out[c] += voiceOut[c];
        if (finished)
            retireVoice(voice);
        voice = next;
    }
}

void Channel::retireVoice(Voice* voice)
{
    unlinkActive(voice);
    // A voice that ends while its key is held must not stay reachable by note number, or a later
    // note-on would start it while it sits in the free list.
    if (voiceByNote[(size_t)voice->note] == voice)
        voiceByNote[(size_t)voice->note] = nullptr;
    pushFreeHead(voice);
}

void Channel::setReferencePath(bool useReferencePath)
{
    syncVoices();
    referencePath = useReferencePath;
}

} // namespace SynthBase
