#include "OrvelundAudioProcessor.h"
#include "VoiceBank.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

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

namespace
{
// After the usual table, each load's optimised cost beside its straightforward cost from the same
// run, and a straight line through the optimised held-note costs: the fixed cost and the cost per
// voice.
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& reports) override
    {
        ConsoleReporter::ReportRuns(reports);
        for (const auto& run : reports)
        {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const auto counter = run.counters.find("cpu_per_audio");
            if (counter == run.counters.end())
                continue;
            // "heldNotes/notes:24/reference:0" -> load "heldNotes/notes:24", path 0
            const auto name = run.benchmark_name();
            const auto cut = name.rfind("/reference:");
            if (cut == std::string::npos)
                continue;
            const auto load = name.substr(0, cut);
            auto found =
                std::find_if(costs.begin(), costs.end(), [&](const auto& c) { return c.first == load; });
            if (found == costs.end())
                found = costs.insert(costs.end(), {load, Cost{}});
            auto& entry = found->second;
            (name.substr(cut + 11) == "1" ? entry.reference : entry.optimised) = counter->second.value;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\nVoices rendered with: %s\n", VoiceBank::getTargetName());
        std::printf("%-22s %14s %16s %9s\n", "load", "optimised", "straightforward", "speed-up");
        std::vector<double> xs, ys;
        for (const auto& [load, cost] : costs)
        {
            std::printf("%-22s %14.5f %16.5f %8.1fx\n", load.c_str(), cost.optimised, cost.reference,
                        cost.optimised > 0.0 ? cost.reference / cost.optimised : 0.0);
            if (load.rfind("heldNotes/notes:", 0) == 0 && cost.optimised > 0.0)
            {
                xs.push_back(std::stod(load.substr(16)));
                ys.push_back(cost.optimised);
            }
        }
        if (xs.size() >= 2)
        {
            double mx = 0.0, my = 0.0;
            for (size_t i = 0; i < xs.size(); ++i)
            {
                mx += xs[i] / (double)xs.size();
                my += ys[i] / (double)xs.size();
            }
            double sxy = 0.0, sxx = 0.0;
            for (size_t i = 0; i < xs.size(); ++i)
            {
                sxy += (xs[i] - mx) * (ys[i] - my);
                sxx += (xs[i] - mx) * (xs[i] - mx);
            }
            const double slope = sxx > 0.0 ? sxy / sxx : 0.0;
            std::printf("held notes, least squares: fixed %.5f + %.5f per voice (CPU s per audio s)\n",
                        my - slope * mx, slope);
        }
    }

private:
    struct Cost
    {
        double optimised = 0.0;
        double reference = 0.0;
    };
    // In the order the loads ran.
    std::vector<std::pair<std::string, Cost>> costs;
};
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
