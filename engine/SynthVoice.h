#pragma once

#include <cstdint>

namespace SynthBase
{

class Channel;

// A voice of the generic engine. The channel owns the voices and links them into its free and
// active lists; the product voice supplies the sound.
class Voice
{
public:
    virtual ~Voice() = default;

    // Index 0 is the note frequency in Hz, 1 the velocity 0..1; other indices are ignored.
    virtual void setVoiceParameter(int index, float value) = 0;
    virtual float getVoiceParameter(int index) const = 0;
    virtual void setSampleRate(double rate) = 0;
    virtual bool isSustainPedalDown() const = 0;
    virtual void startNote() = 0;
    virtual void stopNote() = 0;
    virtual bool isKeyDown() const = 0;
    // Writes one stereo frame into out[0], out[1]; true once the voice has finished.
    virtual bool renderVoiceFrame(float* out) = 0;

    int32_t getNote() const { return note; }
    bool isInFreeList() const { return inFreeList; }
    Channel* getChannel() const { return channel; }
    // The next voice in whichever list (free or active) this voice is on.
    Voice* getNext() const { return next; }

private:
    friend class Channel;

    int32_t note = 0;
    bool inFreeList = false;
    Voice* next = nullptr;
    Voice* previous = nullptr;
    Channel* channel = nullptr;
};

} // namespace SynthBase
