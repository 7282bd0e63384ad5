#pragma once

#include "HostRenderer.h"
#include "OrvelundAudioProcessor.h"

#include <string>
#include <utility>
#include <vector>

// A short, fully specified render: host settings, MIDI and parameter values.
struct RenderScenario
{
    std::string name;
    RenderSettings settings;
    double seconds = 1.5;
    std::vector<std::pair<int, float>> parameters; // index, normalised value
    std::vector<TimedMidiEvent> events;
};

// The renderer's built-in demo phrase at 44.1 kHz, with a play head at its tempo.
RenderScenario demoScenario();

// Everything moving at once: the most expensive case for the engine.
RenderScenario worstCaseScenario();

// The scenarios whose output is kept as golden fixtures.
std::vector<RenderScenario> goldenScenarios();

// The instrument parameter with this index as the processor publishes it, found by name.
juce::AudioProcessorParameter* findInstrumentParameter(juce::AudioProcessor& processor, int index);

// A copy whose controller, bend and pedal events sit on the first sample of their block: JUCE's
// VST3 hosting turns controllers into parameter changes, which only take effect per block.
RenderScenario withControllersAtBlockStarts(RenderScenario scenario);

// The largest absolute difference between two renders of the same length, and where it is.
struct RenderDifference
{
    float largest = 0.0f;
    size_t index = 0;
};
RenderDifference largestDifference(const std::vector<float>& a, const std::vector<float>& b);

// Renders a scenario through a fresh processor; interleaved stereo (or mono) samples.
std::vector<float> renderScenario(const RenderScenario& scenario, juce::AudioProcessor& processor);
std::vector<float> renderScenario(const RenderScenario& scenario);
