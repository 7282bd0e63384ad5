#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// A MIDI message at an absolute host sample position.
struct TimedMidiEvent
{
    int64_t samplePosition = 0;
    juce::MidiMessage message;
};

struct RenderSettings
{
    double sampleRate = 44100.0;
    int blockSize = 512;
    bool mono = false;
    // The tempo the play head reports; no value means the host offers no play head at all.
    std::optional<double> playHeadTempo = 120.0;
};

// Drives a processor the way a host does: bus layout, prepareToPlay, then fixed-size blocks
// with their MIDI under the callback lock, and a play head that moves with the blocks.
// Every block is rendered whole; the sink receives only the samples below totalSamples.
class HostRenderer
{
public:
    using BlockSink = std::function<bool(const juce::AudioBuffer<float>& block, int numSamples)>;
    using Progress = std::function<void(int64_t renderedSamples, int64_t totalSamples)>;

    explicit HostRenderer(RenderSettings settings);

    // Answers false when the processor refuses the bus layout or the sink fails.
    bool render(juce::AudioProcessor& processor, const std::vector<TimedMidiEvent>& events,
                int64_t totalSamples, const BlockSink& sink, const Progress& progress = {});

private:
    RenderSettings settings;
};

// Sorts events by sample position, keeping the given order among equal positions.
void sortEvents(std::vector<TimedMidiEvent>& events);

// Samples from the first sample to the end of the tail after the last event.
int64_t renderLength(const std::vector<TimedMidiEvent>& events, double sampleRate, double tailSeconds);
