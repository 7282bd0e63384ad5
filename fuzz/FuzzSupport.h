#pragma once

#include "OrvelundAudioProcessor.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

// Shared by the fuzz targets: one processor for the whole run (building one per input would
// spend the run on allocating delay lines), with preset folders of its own, and the checks that
// turn a wrong result into a crash that libFuzzer reports.
namespace fuzzing
{
inline OrvelundAudioProcessor& processor()
{
    static OrvelundAudioProcessor* instance = []
    {
        const auto root =
            juce::File::getSpecialLocation(juce::File::tempDirectory).getChildFile("orvelund-fuzz");
        auto* created = new OrvelundAudioProcessor(SupportFolders::fromRoots(root, root, "Orvelund"));
        created->prepareToPlay(44100.0, 512);
        return created;
    }();
    return *instance;
}

[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void expectParametersInRange(OrvelundAudioProcessor& p)
{
    for (auto* parameter : p.getParameters())
        if (!(parameter->getValue() >= 0.0f && parameter->getValue() <= 1.0f))
            fail("a parameter left 0..1");
}

// Renders one block with the given MIDI and checks every sample.
inline void renderChecked(OrvelundAudioProcessor& p, int numSamples, juce::MidiBuffer& midi)
{
    juce::AudioBuffer<float> buffer(2, numSamples);
    buffer.clear();
    {
        const juce::ScopedLock lock(p.getCallbackLock());
        p.processBlock(buffer, midi);
    }
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < numSamples; ++i)
            if (!std::isfinite(buffer.getSample(c, i)))
                fail("an output sample is not finite");
}

inline void renderChecked(OrvelundAudioProcessor& p, int numSamples)
{
    juce::MidiBuffer midi;
    midi.addEvent(juce::MidiMessage::noteOn(1, 60, (juce::uint8)100), 0);
    renderChecked(p, numSamples, midi);
}
} // namespace fuzzing
