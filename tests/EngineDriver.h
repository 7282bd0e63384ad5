#pragma once

#include "InstrumentChannel.h"

#include <vector>

// Drives an InstrumentChannel as the processor does, block by block, without JUCE.
struct EngineDriver
{
    InstrumentChannel channel;
    std::vector<float> left;
    std::vector<float> right;

    void midi(int status, int data1, int data2, int frame = 0)
    {
        channel.handleMidiMessage(status, data1, data2, frame, true);
    }
    void noteOn(int note, int velocity = 100, int frame = 0) { midi(0x90, note, velocity, frame); }
    void noteOff(int note, int frame = 0) { midi(0x80, note, 0, frame); }
    void pedal(bool down, int frame = 0) { midi(0xB0, 64, down ? 127 : 0, frame); }

    // Renders one block of engine frames, appending the output.
    void block(int frames)
    {
        channel.beginBlock(0);
        const auto start = left.size();
        left.resize(start + (size_t)frames);
        right.resize(start + (size_t)frames);
        channel.renderFrames(0, frames, left.data() + start, right.data() + start);
        channel.endBlock();
    }

    // Renders in blocks of 1024 frames until `frames` frames have passed.
    void run(int frames)
    {
        while (frames > 0)
        {
            const int n = frames < 1024 ? frames : 1024;
            block(n);
            frames -= n;
        }
    }

    SynthBase::Voice* voiceFor(int note) const { return channel.getVoiceForNoteSlot(note); }

    std::vector<SynthBase::Voice*> activeVoices() const
    {
        std::vector<SynthBase::Voice*> voices;
        for (auto* voice = channel.getActiveHead(); voice != nullptr; voice = voice->getNext())
            voices.push_back(voice);
        return voices;
    }
};
