#include "OrvelundAudioProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

using namespace ParameterIndex;

namespace
{
class FixedPlayHead : public juce::AudioPlayHead
{
public:
    explicit FixedPlayHead(std::optional<double> bpmToReport, bool hasPosition = true)
        : bpm(bpmToReport)
        , positionAvailable(hasPosition)
    {
    }

    juce::Optional<PositionInfo> getPosition() const override
    {
        if (!positionAvailable)
            return {};
        PositionInfo info;
        if (bpm)
            info.setBpm(*bpm);
        return info;
    }

private:
    std::optional<double> bpm;
    bool positionAvailable;
};

struct ProcessorHarness
{
    explicit ProcessorHarness(int channels = 2, double rate = 44100.0, int block = 512)
        : blockSize(block)
    {
        if (channels == 1)
        {
            juce::AudioProcessor::BusesLayout layout;
            layout.outputBuses.add(juce::AudioChannelSet::mono());
            EXPECT_TRUE(processor.setBusesLayout(layout));
        }
        processor.prepareToPlay(rate, block);
        buffer.setSize(channels, block);
    }

    void process(std::initializer_list<juce::MidiMessage> messages = {}, int numSamples = -1)
    {
        buffer.setSize(buffer.getNumChannels(), numSamples < 0 ? blockSize : numSamples, false, false, true);
        buffer.clear();
        juce::MidiBuffer midi;
        for (const auto& message : messages)
            midi.addEvent(message, 0);
        const juce::ScopedLock lock(processor.getCallbackLock());
        processor.processBlock(buffer, midi);
    }

    float engineTarget(int index) { return processor.getChannel().getParameterNormalised(index); }

    OrvelundAudioProcessor processor;
    juce::AudioBuffer<float> buffer;
    int blockSize;
};
} // namespace

TEST(Processor, IdentityAndBuses)
{
    OrvelundAudioProcessor processor;
    EXPECT_EQ(processor.getName(), "Orvelund");
    EXPECT_TRUE(processor.acceptsMidi());
    EXPECT_FALSE(processor.producesMidi());
    EXPECT_EQ(processor.getTotalNumInputChannels(), 0);
    EXPECT_EQ(processor.getTotalNumOutputChannels(), 2);
    EXPECT_EQ(processor.getBus(false, 0)->getName(), "Output");
    EXPECT_EQ(processor.getParameters().size(), 31);

    juce::AudioProcessor::BusesLayout layout;
    layout.outputBuses.add(juce::AudioChannelSet::create5point1());
    EXPECT_FALSE(processor.checkBusesLayoutSupported(layout));
    layout.outputBuses.getReference(0) = juce::AudioChannelSet::mono();
    EXPECT_TRUE(processor.checkBusesLayoutSupported(layout));
}

TEST(Processor, ParametersMatchTheDescriptorTable)
{
    OrvelundAudioProcessor processor;
    const auto& parameters = processor.getParameters();
    for (int i = 0; i < 31; ++i)
    {
        const auto& descriptor = instrumentParameters[(size_t)i];
        auto* parameter = dynamic_cast<juce::AudioParameterFloat*>(parameters[i]);
        ASSERT_NE(parameter, nullptr);
        EXPECT_EQ(parameter->getParameterID(), descriptor.id);
        EXPECT_EQ(parameter->getName(100), descriptor.name);
        EXPECT_EQ(parameters[i]->getDefaultValue(), descriptor.defaultValue);
        EXPECT_EQ(parameters[i]->getValue(), descriptor.defaultValue);
        EXPECT_TRUE(parameters[i]->isAutomatable());
        EXPECT_EQ(processor.getControllerForParameter(i), i == 0 ? 7 : 18 + i);
        EXPECT_EQ(processor.getParameterForController(processor.getControllerForParameter(i)), i);
    }
    EXPECT_EQ(parameters[mainVolume]->getCurrentValueAsText(), "0.7000000");
    EXPECT_EQ(processor.getParameterForController(1), -1);
    EXPECT_EQ(processor.getParameterForController(64), -1);
}

TEST(Processor, VelocityZeroNoteOnIsANoteOff)
{
    ProcessorHarness harness;
    harness.process({juce::MidiMessage::noteOn(1, 60, (juce::uint8)100)});
    auto* voice = harness.processor.getChannel().getVoiceForNoteSlot(60);
    ASSERT_NE(voice, nullptr);
    EXPECT_TRUE(voice->isKeyDown());
    harness.process({juce::MidiMessage::noteOn(1, 60, (juce::uint8)0)});
    EXPECT_FALSE(voice->isKeyDown());
}

TEST(Processor, PitchBendCentreIsNotQuiteZero)
{
    ProcessorHarness harness;
    harness.process({juce::MidiMessage::pitchWheel(1, 8192)});
    EXPECT_EQ(harness.processor.getChannel().getPitchBend(), 0.00006103515625);
}

TEST(Processor, BoundControllersSetParametersOneBlockBeforeTheEngine)
{
    ProcessorHarness harness;
    harness.process({juce::MidiMessage::controllerEvent(5, 7, 127)});
    EXPECT_EQ(harness.processor.getHostParameter(mainVolume).get(), 1.0f) << "controller 7 on any channel";
    EXPECT_FLOAT_EQ(harness.engineTarget(mainVolume), 0.7f) << "the engine hears it at the next block";
    harness.process();
    EXPECT_EQ(harness.engineTarget(mainVolume), 1.0f);

    for (int i = 1; i < 31; ++i)
    {
        harness.process({juce::MidiMessage::controllerEvent(1, 18 + i, 127)});
        EXPECT_EQ(harness.processor.getHostParameter(i).get(), 1.0f) << "controller " << 18 + i;
    }
}

TEST(Processor, SustainAndModWheelNeverSetParameters)
{
    ProcessorHarness harness;
    juce::Array<float> before;
    for (auto* parameter : harness.processor.getParameters())
        before.add(parameter->getValue());
    harness.process(
        {juce::MidiMessage::controllerEvent(1, 64, 127), juce::MidiMessage::controllerEvent(1, 1, 127)});
    for (int i = 0; i < 31; ++i)
        EXPECT_EQ(harness.processor.getParameters()[i]->getValue(), before[i]);
    EXPECT_EQ(harness.processor.getChannel().getSustainPedal(), 1.0f);
    EXPECT_EQ(harness.processor.getChannel().getModWheel(), 1.0);
}

TEST(Processor, HostTempoIsClampedAndDefaulted)
{
    struct Case
    {
        std::optional<double> bpm;
        bool hasPosition;
        double expected;
    };
    const Case cases[] = {
        {300.0, true, 240.0},         {30.0, true, 60.0},
        {97.5, true, 97.5},           {std::nullopt, true, 120.0},
        {std::nullopt, false, 120.0}, {std::numeric_limits<double>::quiet_NaN(), true, 120.0}};
    for (const auto& c : cases)
    {
        ProcessorHarness harness;
        FixedPlayHead playHead(c.bpm, c.hasPosition);
        harness.processor.setPlayHead(&playHead);
        harness.process();
        EXPECT_EQ(harness.processor.getChannel().getHostTempo(), c.expected);
        harness.processor.setPlayHead(nullptr);
    }

    ProcessorHarness noPlayHead;
    noPlayHead.process();
    EXPECT_EQ(noPlayHead.processor.getChannel().getHostTempo(), 0.0) << "no play head, no host tempo";
}

TEST(Processor, MonoOutputRendersTheLeftSideWithEqualPeaks)
{
    ProcessorHarness mono(1);
    ProcessorHarness stereo(2);
    for (auto* harness : {&mono, &stereo})
        for (int b = 0; b < 20; ++b)
            harness->process(b == 0 ? std::initializer_list<juce::MidiMessage>{juce::MidiMessage::noteOn(
                                          1, 64, (juce::uint8)110)}
                                    : std::initializer_list<juce::MidiMessage>{});
    EXPECT_GT(mono.processor.peakLeft.load(), 0.0f);
    EXPECT_EQ(mono.processor.peakLeft.load(), mono.processor.peakRight.load());
    EXPECT_EQ(mono.processor.peakLeft.load(), stereo.processor.peakLeft.load());
    for (int k = 0; k < 512; ++k)
        ASSERT_EQ(mono.buffer.getSample(0, k), stereo.buffer.getSample(0, k));
}

TEST(Processor, ZeroSampleBlocksRenderNothingAndKeepThePeaks)
{
    ProcessorHarness harness;
    harness.process({juce::MidiMessage::noteOn(1, 64, (juce::uint8)110)});
    harness.process();
    const float peak = harness.processor.peakLeft.load();
    ASSERT_GT(peak, 0.0f);
    harness.processor.peakLeft = 0.5f * peak;
    harness.process({}, 0);
    EXPECT_EQ(harness.processor.peakLeft.load(), 0.5f * peak);
    harness.process();
    for (int k = 0; k < harness.blockSize; ++k)
        ASSERT_TRUE(std::isfinite(harness.buffer.getSample(0, k)));
}

TEST(Processor, NonFiniteParameterValuesNeverReachTheEngine)
{
    ProcessorHarness harness;
    harness.process({juce::MidiMessage::noteOn(1, 64, (juce::uint8)110)});
    auto& volume =
        static_cast<juce::AudioProcessorParameter&>(harness.processor.getHostParameter(mainVolume));
    auto& feedback =
        static_cast<juce::AudioProcessorParameter&>(harness.processor.getHostParameter(modFeedback));
    volume.setValue(std::numeric_limits<float>::quiet_NaN());
    feedback.setValue(std::numeric_limits<float>::infinity());
    for (int b = 0; b < 4; ++b)
        harness.process();
    EXPECT_FLOAT_EQ(harness.engineTarget(mainVolume), 0.7f) << "the last good value is kept";
    EXPECT_TRUE(std::isfinite(harness.engineTarget(modFeedback)));
    for (int k = 0; k < harness.blockSize; ++k)
        ASSERT_TRUE(std::isfinite(harness.buffer.getSample(0, k)));
    EXPECT_GT(harness.buffer.getMagnitude(0, 0, harness.blockSize), 0.0f);
}

TEST(Processor, QueuedNotesFromOtherThreadsTakeTheCallbackLock)
{
    ProcessorHarness harness;
    harness.processor.queueNoteOn(60, 0.8f);
    EXPECT_EQ(harness.processor.getChannel().getQueuedEventCount(), 1);
    harness.process();
    auto* voice = harness.processor.getChannel().getVoiceForNoteSlot(60);
    ASSERT_NE(voice, nullptr);
    EXPECT_FLOAT_EQ(voice->getVoiceParameter(1), 0.8f);
    harness.processor.queueNoteOff(60, 0.0f);
    harness.process();
    EXPECT_FALSE(voice->isKeyDown());
}

TEST(Processor, StateHoldsTheParameterValues)
{
    // Folders without presets, so that no preset identity follows the values.
    const auto root = juce::File::createTempFile("orvelund-state-test");
    const auto folders = SupportFolders::fromRoots(root, root, "Orvelund");
    const juce::ScopeGuard removeRoot{[&root] { root.deleteRecursively(); }};
    OrvelundAudioProcessor source(folders);
    source.getHostParameter(modFeedback).setValueNotifyingHost(0.9f);
    juce::MemoryBlock state;
    source.getStateInformation(state);
    EXPECT_EQ(state.getSize(), 124u);

    OrvelundAudioProcessor restored(folders);
    restored.setStateInformation(state.getData(), (int)state.getSize());
    for (int i = 0; i < 31; ++i)
        EXPECT_EQ(restored.getParameters()[i]->getValue(), source.getParameters()[i]->getValue()) << i;

    // A short block restores what it covers and silences the delay return.
    restored.setStateInformation(state.getData(), 100);
    EXPECT_EQ(restored.getHostParameter(delayMix).get(), 0.0f);
}

TEST(Processor, HostStopMessagesReleaseOrSilenceButSetNoParameter)
{
    struct Case
    {
        int controllerNumber;
        bool voiceStillActive; // all notes off releases; all sound off frees the voice at once
    };
    for (const auto& c : {Case{123, true}, Case{120, false}})
    {
        ProcessorHarness harness;
        harness.process({juce::MidiMessage::noteOn(1, 60, (juce::uint8)100)});
        juce::Array<float> before;
        for (auto* parameter : harness.processor.getParameters())
            before.add(parameter->getValue());
        harness.process({juce::MidiMessage::controllerEvent(16, c.controllerNumber, 127)});

        auto& channel = harness.processor.getChannel();
        EXPECT_EQ(channel.getVoiceForNoteSlot(60), nullptr) << c.controllerNumber;
        EXPECT_EQ(channel.getActiveVoiceCount(), c.voiceStillActive ? 1 : 0) << c.controllerNumber;
        for (int i = 0; i < 31; ++i)
            EXPECT_EQ(harness.processor.getParameters()[i]->getValue(), before[i]) << c.controllerNumber;
        EXPECT_EQ(harness.processor.getParameterForController(c.controllerNumber), -1);
    }
}
