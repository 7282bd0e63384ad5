#include "OrvelundAudioProcessor.h"

#include <benchmark/benchmark.h>

#include <cmath>

// CPU cost of the instrument at a 44.1 kHz host with 256-sample blocks. "cpu_per_audio" is CPU
// seconds spent per second of audio. Every case runs twice: on the optimised engine and on the
// straightforward reference path that gives the same samples, so the speed-up can be read from
// one run even when the machine's speed drifts.
namespace
{
constexpr double hostRate = 44100.0;
constexpr int blockSize = 256;

enum class Load
{
    heldNotes,
    worstCase,
};

void render(benchmark::State& state, Load load)
{
    const int notes = (int)state.range(0);
    const bool reference = state.range(1) != 0;
    OrvelundAudioProcessor processor;
    processor.getChannel().setReferencePath(reference);
    processor.prepareToPlay(hostRate, blockSize);
    juce::AudioBuffer<float> buffer(2, blockSize);
    juce::MidiBuffer midi;

    if (load == Load::worstCase)
    {
        // Mod wheel up and a cutoff low enough to move with the vibrato.
        processor.getHostParameter(ParameterIndex::highcutFreq).setValueNotifyingHost(0.5f);
        midi.addEvent(juce::MidiMessage::controllerEvent(1, 1, 127), 0);
    }
    for (int i = 0; i < notes; ++i)
        midi.addEvent(juce::MidiMessage::noteOn(1, 36 + i * 2, (juce::uint8)100), 0);

    // Let the notes reach their sustain before measuring.
    for (int b = 0; b < (int)(hostRate / blockSize); ++b)
    {
        processor.processBlock(buffer, midi);
        midi.clear();
    }

    // The smoothed parameters that the worst case re-aims every block.
    const int smoothed[] = {0, 9, 10, 11, 12, 17, 19, 20, 21, 22, 23, 25, 26, 27, 28};
    int block = 0;
    for (auto _ : state)
    {
        if (load == Load::worstCase)
        {
            midi.clear();
            midi.addEvent(juce::MidiMessage::pitchWheel(1, 8192 + (int)(4000.0 * std::sin(block * 0.1))), 0);
            for (int index : smoothed)
                processor.getHostParameter(index).setValueNotifyingHost(
                    0.3f + 0.2f * (float)std::sin(block * 0.07 + index));
            ++block;
        }
        processor.processBlock(buffer, midi);
        benchmark::DoNotOptimize(buffer.getReadPointer(0));
    }
    state.counters["cpu_per_audio"] = benchmark::Counter(
        blockSize / hostRate, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void heldNotes(benchmark::State& state)
{
    render(state, Load::heldNotes);
}

void worstCase(benchmark::State& state)
{
    render(state, Load::worstCase);
}
} // namespace

BENCHMARK(heldNotes)
    ->ArgNames({"notes", "reference"})
    ->ArgsProduct({{0, 1, 8, 16, 24}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(worstCase)
    ->ArgNames({"notes", "reference"})
    ->ArgsProduct({{24}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
