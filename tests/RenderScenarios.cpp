#include "RenderScenarios.h"

#include "DemoPhrase.h"
#include "MidiFileLoader.h"

#include <cmath>

namespace
{
class ScenarioBuilder
{
public:
    ScenarioBuilder(std::string name, double rate = 44100.0, int block = 512)
    {
        scenario.name = std::move(name);
        scenario.settings.sampleRate = rate;
        scenario.settings.blockSize = block;
        scenario.settings.playHeadTempo = 120.0;
    }

    ScenarioBuilder& at(double seconds, const juce::MidiMessage& message)
    {
        scenario.events.push_back({(int64_t)std::llround(seconds * scenario.settings.sampleRate), message});
        return *this;
    }

    ScenarioBuilder& note(int number, double on, double off, int velocity = 100)
    {
        at(on, juce::MidiMessage::noteOn(1, number, (juce::uint8)velocity));
        return at(off, juce::MidiMessage::noteOff(1, number));
    }

    ScenarioBuilder& parameter(int index, float value)
    {
        scenario.parameters.emplace_back(index, value);
        return *this;
    }

    ScenarioBuilder& tempo(std::optional<double> bpm)
    {
        scenario.settings.playHeadTempo = bpm;
        return *this;
    }

    ScenarioBuilder& length(double seconds)
    {
        scenario.seconds = seconds;
        return *this;
    }

    RenderScenario build()
    {
        sortEvents(scenario.events);
        return scenario;
    }

private:
    RenderScenario scenario;
};

juce::MidiMessage controller(int number, int value)
{
    return juce::MidiMessage::controllerEvent(1, number, value);
}

void smallPhrase(ScenarioBuilder& builder)
{
    builder.note(48, 0.0, 0.9, 90).note(55, 0.0, 0.9, 80).note(64, 0.05, 0.4, 110).note(67, 0.45, 0.8, 100);
}
} // namespace

RenderScenario demoScenario()
{
    RenderScenario scenario;
    scenario.name = "demo";
    scenario.settings.playHeadTempo = demoPhraseTempo;
    scenario.events = eventsFromSequence(makeDemoPhrase(), scenario.settings.sampleRate);
    scenario.seconds = (double)renderLength(scenario.events, scenario.settings.sampleRate, 2.0) /
                       scenario.settings.sampleRate;
    return scenario;
}

std::vector<RenderScenario> goldenScenarios()
{
    using namespace ParameterIndex;
    std::vector<RenderScenario> scenarios;

    scenarios.push_back(ScenarioBuilder("single-note").note(69, 0.01, 0.5).build());

    {
        ScenarioBuilder builder("chord-stealing");
        for (int i = 0; i < 25; ++i)
            builder.note(36 + i, 0.05, 0.6, 60 + i);
        for (int i = 0; i < 4; ++i)
            builder.note(72 + i * 3, 0.3, 0.7, 100);
        scenarios.push_back(builder.build());
    }

    scenarios.push_back(ScenarioBuilder("sustain-pedal")
                            .at(0.0, controller(64, 127))
                            .note(60, 0.0, 0.2)
                            .note(64, 0.1, 0.3)
                            .note(60, 0.4, 0.5)
                            .at(0.8, controller(64, 0))
                            .build());

    {
        ScenarioBuilder builder("bend-vibrato");
        builder.note(57, 0.0, 1.2, 110);
        for (int i = 0; i <= 20; ++i)
            builder.at(0.2 + 0.01 * i, juce::MidiMessage::pitchWheel(1, 8192 + (8191 * i) / 20));
        builder.at(0.6, juce::MidiMessage::pitchWheel(1, 8192));
        for (int i = 0; i <= 10; ++i)
            builder.at(0.3 + 0.05 * i, controller(1, (127 * i) / 10));
        scenarios.push_back(builder.build());
    }

    for (const double bpm : {90.0, 150.0})
    {
        ScenarioBuilder builder(bpm == 90.0 ? "delay-sync-90" : "delay-sync-150");
        builder.parameter(delaySyncToHost, 1.0f)
            .parameter(delayLength, 0.8f)
            .parameter(delayMix, 1.0f)
            .parameter(delayFeedback, 0.7f)
            .tempo(bpm)
            .length(2.0)
            .note(72, 0.0, 0.08, 120);
        scenarios.push_back(builder.build());
    }

    for (const double rate : {48000.0, 96000.0})
    {
        ScenarioBuilder builder(rate == 48000.0 ? "host-48k" : "host-96k", rate, 480);
        smallPhrase(builder);
        scenarios.push_back(builder.build());
    }

    {
        // Modulation-heavy patch: narrowed and morphed oscillators, high feedback, fast wobble.
        ScenarioBuilder builder("modulation-patch");
        builder.parameter(osc1Morph, 0.5f)
            .parameter(osc1Width, 0.4f)
            .parameter(osc2Morph, 0.8f)
            .parameter(osc2Width, 0.6f)
            .parameter(modFeedback, 0.6f)
            .parameter(modFreqMult, 0.5f)
            .parameter(wobbleSpeed, 0.9f)
            .parameter(wobbleDepth, 1.0f)
            .parameter(highcutReso, 0.9f)
            .parameter(chorus, 0.7f)
            .tempo(std::nullopt);
        smallPhrase(builder);
        scenarios.push_back(builder.build());
    }

    scenarios.push_back(worstCaseScenario());
    return scenarios;
}

RenderScenario worstCaseScenario()
{
    // 24 held notes with the wheel up (vibrato moves every voice's pitch and so its filter),
    // the bend moving every block and every smoothed parameter re-aimed every block through its
    // controller. The low cutoff keeps the filter below its 15 kHz limit, so it really moves.
    using namespace ParameterIndex;
    ScenarioBuilder builder("worst-case", 44100.0, 256);
    builder.parameter(highcutFreq, 0.5f).tempo(120.0).length(1.0);
    for (int i = 0; i < 24; ++i)
        builder.note(36 + i * 2, 0.0, 0.8, 70 + i);
    builder.at(0.0, controller(1, 127));
    const int smoothed[] = {mainVolume,  osc1Morph,     osc1Width,    osc2Morph,     osc2Width,
                            modFeedback, wobbleSpeed,   wobbleDepth,  highcutFreq,   highcutReso,
                            chorus,      delayFeedback, delayLowpass, delayHighpass, delayMix};
    for (int block = 0; block * 256 < 44100; ++block)
    {
        const double seconds = block * 256 / 44100.0;
        builder.at(seconds, juce::MidiMessage::pitchWheel(1, 8192 + (int)(4000.0 * std::sin(block * 0.1))));
        for (int k = 0; k < (int)std::size(smoothed); ++k)
        {
            const int index = smoothed[k];
            const int controllerNumber = index == mainVolume ? 7 : 18 + index;
            const int value = 40 + (int)std::lround(30.0 * std::sin(block * 0.07 + k));
            builder.at(seconds, controller(controllerNumber, value));
        }
    }
    return builder.build();
}

juce::AudioProcessorParameter* findInstrumentParameter(juce::AudioProcessor& processor, int index)
{
    // Hosted formats may publish extra parameters (an LV2 bypass comes first), so match by name.
    const juce::String name = instrumentParameters[(size_t)index].name;
    for (auto* parameter : processor.getParameters())
        if (parameter->getName(100) == name)
            return parameter;
    return nullptr;
}

std::vector<float> renderScenario(const RenderScenario& scenario, juce::AudioProcessor& processor)
{
    for (const auto& [index, value] : scenario.parameters)
        if (auto* parameter = findInstrumentParameter(processor, index))
            parameter->setValueNotifyingHost(value);

    const int channels = scenario.settings.mono ? 1 : 2;
    const auto total = (int64_t)std::llround(scenario.seconds * scenario.settings.sampleRate);
    std::vector<float> samples;
    samples.reserve((size_t)(total * channels));
    HostRenderer renderer(scenario.settings);
    renderer.render(processor, scenario.events, total,
                    [&](const juce::AudioBuffer<float>& block, int n)
                    {
                        for (int k = 0; k < n; ++k)
                            for (int c = 0; c < channels; ++c)
                                samples.push_back(block.getSample(c, k));
                        return true;
                    });
    return samples;
}

RenderScenario withControllersAtBlockStarts(RenderScenario scenario)
{
    const int block = scenario.settings.blockSize;
    for (auto& event : scenario.events)
        if (!event.message.isNoteOnOrOff())
            event.samplePosition -= event.samplePosition % block;
    sortEvents(scenario.events);
    return scenario;
}

std::vector<float> renderScenario(const RenderScenario& scenario)
{
    OrvelundAudioProcessor processor;
    return renderScenario(scenario, processor);
}

RenderDifference largestDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    RenderDifference result;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (const float difference = std::abs(a[i] - b[i]); difference > result.largest)
            result = {difference, i};
    return result;
}
