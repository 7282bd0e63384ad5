#include "OrvelundAudioProcessor.h"
#include "PresetFileFormat.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>

// The processor used as a host and its editor use it at once: one thread renders while this
// (the message) thread sets parameters with gestures, reads and resets the meters, saves and
// restores the state, loads presets and plays notes from the on-screen keyboard. Built with
// ThreadSanitizer in CI, which fails the run on any data race; on its own it checks that the
// output stays finite and that every note queued from here was heard.
int main()
{
    juce::ScopedJuceInitialiser_GUI juceInitialiser;

    const auto root = juce::File::createTempFile("orvelund-thread-check");
    const juce::ScopeGuard removeRoot{[&root] { root.deleteRecursively(); }};
    const auto folders =
        SupportFolders::fromRoots(root.getChildFile("user"), root.getChildFile("shared"), "Orvelund");
    const auto userPresets = folders.userFolder.getChildFile("User Presets");
    userPresets.createDirectory();
    std::vector<juce::MemoryBlock> presetFiles;
    for (int p = 0; p < 4; ++p)
    {
        juce::MemoryBlock payload;
        for (int i = 0; i < OrvelundAudioProcessor::parameterCount; ++i)
        {
            const float value = (float)((p * 5 + i) % 10) / 9.0f;
            payload.append(&value, sizeof value);
        }
        presetFiles.push_back(PresetFileFormat::encodePresetFile(payload));
        userPresets.getChildFile("Thread " + juce::String(p) + ".orvelundpreset")
            .replaceWithData(presetFiles.back().getData(), presetFiles.back().getSize());
    }

    OrvelundAudioProcessor processor(folders);
    constexpr int blockSize = 128;
    processor.prepareToPlay(44100.0, blockSize);

    std::atomic<bool> running{true};
    std::atomic<bool> finite{true};
    std::atomic<float> loudest{0.0f};
    std::thread audio(
        [&]
        {
            juce::AudioBuffer<float> buffer(2, blockSize);
            for (int block = 0; running.load(); ++block)
            {
                juce::MidiBuffer midi;
                midi.addEvent(juce::MidiMessage::noteOn(1, 40 + block % 40, (juce::uint8)80), 0);
                midi.addEvent(juce::MidiMessage::noteOff(1, 40 + (block + 20) % 40), 64);
                midi.addEvent(juce::MidiMessage::controllerEvent(1, 19 + block % 30, block % 128), 32);
                midi.addEvent(juce::MidiMessage::pitchWheel(1, block * 97 % 16384), 16);
                buffer.clear();
                {
                    const juce::ScopedLock lock(processor.getCallbackLock());
                    processor.processBlock(buffer, midi);
                }
                for (int c = 0; c < 2; ++c)
                    for (int i = 0; i < blockSize; ++i)
                        if (!std::isfinite(buffer.getSample(c, i)))
                            finite = false;
                loudest = std::max(loudest.load(), buffer.getMagnitude(0, blockSize));
            }
        });

    std::mt19937 random{4242u};
    std::uniform_real_distribution<float> anyValue(0.0f, 1.0f);
    auto& store = processor.getPresetStore();
    float peakSeen = 0.0f;
    for (int round = 0; round < 300; ++round)
    {
        for (int i = 0; i < OrvelundAudioProcessor::parameterCount; ++i)
        {
            auto& parameter = processor.getHostParameter(i);
            parameter.beginChangeGesture();
            parameter.setValueNotifyingHost(i == 0 ? 0.7f : anyValue(random));
            parameter.endChangeGesture();
        }

        peakSeen =
            std::max({peakSeen, processor.peakLeft.exchange(0.0f), processor.peakRight.exchange(0.0f)});

        juce::MemoryBlock state;
        processor.getStateInformation(state);
        processor.setStateInformation(state.getData(), (int)state.getSize());

        const auto& file = presetFiles[(size_t)round % presetFiles.size()];
        if (const auto payload = store.decodePresetData(file.getData(), file.getSize()))
            processor.readState(payload->getData(), (int)payload->getSize(), true);
        if (round % 50 == 0)
            store.scanCategory(store.getUserCategoryIndex());

        processor.queueNoteOn(90 + round % 10, 0.9f);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        processor.queueNoteOff(90 + round % 10, 0.0f);
    }
    running = false;
    audio.join();

    if (!finite)
    {
        std::fprintf(stderr, "orvelund_thread_safety: a sample was not finite\n");
        return 1;
    }
    if (peakSeen <= 0.0f || loudest.load() <= 0.0f)
    {
        std::fprintf(stderr, "orvelund_thread_safety: the processor stayed silent\n");
        return 1;
    }
    std::printf("orvelund_thread_safety: 300 rounds against the audio thread, no fault\n");
    return 0;
}
