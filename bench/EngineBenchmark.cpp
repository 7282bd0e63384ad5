#include "OrvelundAudioProcessor.h"

#include <benchmark/benchmark.h>

// CPU cost of the instrument at a 44.1 kHz host with 256-sample blocks and the default patch.
// The "cpu_per_audio" counter is CPU seconds spent per second of audio rendered.
namespace
{
constexpr double hostRate = 44100.0;
constexpr int blockSize = 256;

void renderHeldNotes(benchmark::State& state)
{
    const int notes = (int)state.range(0);
    OrvelundAudioProcessor processor;
    processor.prepareToPlay(hostRate, blockSize);
    juce::AudioBuffer<float> buffer(2, blockSize);
    juce::MidiBuffer midi;
    for (int i = 0; i < notes; ++i)
        midi.addEvent(juce::MidiMessage::noteOn(1, 36 + i * 2, (juce::uint8)100), 0);

    // Let the notes reach their sustain before measuring.
    for (int b = 0; b < (int)(hostRate / blockSize); ++b)
    {
        processor.processBlock(buffer, midi);
        midi.clear();
    }

    for (auto _ : state)
    {
        processor.processBlock(buffer, midi);
        benchmark::DoNotOptimize(buffer.getReadPointer(0));
    }
    state.counters["cpu_per_audio"] = benchmark::Counter(
        blockSize / hostRate, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
} // namespace

BENCHMARK(renderHeldNotes)->ArgName("notes")->Arg(0)->Arg(1)->Arg(8)->Arg(24)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
