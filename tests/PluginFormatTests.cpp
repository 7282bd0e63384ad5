#include "PluginHosting.h"
#include "RenderScenarios.h"

#include <gtest/gtest.h>

#include <cmath>

// The built VST3 and LV2 bundles, loaded through JUCE's own plug-in hosting, must behave as the
// processor does when called directly.
namespace
{
class PluginFormat : public ::testing::TestWithParam<Format>
{
};
} // namespace

TEST_P(PluginFormat, LoadsAsTheInstrument)
{
    auto plugin = loadPlugin(GetParam());
    ASSERT_NE(plugin, nullptr) << formatName(GetParam());
    const auto description = plugin->getPluginDescription();
    EXPECT_EQ(description.name, "Orvelund");
    EXPECT_EQ(description.manufacturerName, "Mossbrink");
    if (GetParam() == Format::vst3) // JUCE's LV2 hosting does not read versions
    {
        EXPECT_EQ(description.version, "1.3.1");
    }
    EXPECT_TRUE(description.isInstrument);
    EXPECT_TRUE(plugin->acceptsMidi());
    EXPECT_EQ(plugin->getTotalNumInputChannels(), 0);
    EXPECT_EQ(plugin->getTotalNumOutputChannels(), 2);
}

TEST_P(PluginFormat, PublishesTheThirtyOneParameters)
{
    auto plugin = loadPlugin(GetParam());
    ASSERT_NE(plugin, nullptr);
    const auto& parameters = plugin->getParameters();
    ASSERT_GE(parameters.size(), 31);
    for (int i = 0; i < 31; ++i)
    {
        const auto& descriptor = instrumentParameters[(size_t)i];
        auto* parameter = findInstrumentParameter(*plugin, i);
        ASSERT_NE(parameter, nullptr) << descriptor.name;
        if (GetParam() == Format::vst3)
        {
            EXPECT_EQ(parameters[i], parameter) << "VST3 keeps the index order";
        }
        EXPECT_EQ(parameter->getName(100), descriptor.name);
        EXPECT_FLOAT_EQ(parameter->getDefaultValue(), descriptor.defaultValue) << descriptor.id;
        EXPECT_FLOAT_EQ(parameter->getValue(), descriptor.defaultValue) << descriptor.id;
        EXPECT_TRUE(parameter->isAutomatable()) << descriptor.id;
        auto* withId = dynamic_cast<juce::HostedAudioProcessorParameter*>(parameter);
        ASSERT_NE(withId, nullptr);
        if (GetParam() == Format::vst3)
        {
            // VST3 identifies parameters by a hash of their ID.
            const auto hash = (uint32_t)juce::String(descriptor.id).hashCode() & 0x7fffffffu;
            EXPECT_EQ(withId->getParameterID(), juce::String(hash)) << descriptor.id;
        }
        else
        {
            // LV2 publishes parameters under the plug-in's URI with their IDs escaped.
            const auto expected =
                "des:" ORVELUND_LV2_URI ":" + juce::String(descriptor.id).replace(" ", "_20");
            EXPECT_EQ(withId->getParameterID(), expected);
        }
    }
    if (GetParam() == Format::vst3) // LV2 hosts format values themselves
    {
        EXPECT_EQ(parameters[0]->getCurrentValueAsText(), "0.7000000");
    }
}

TEST_P(PluginFormat, RendersTheSameSamplesAsTheProcessor)
{
    for (const auto& golden : goldenScenarios())
    {
        if (golden.settings.sampleRate != 44100.0)
            continue;
        const auto scenario = withControllersAtBlockStarts(golden);
        auto plugin = loadPlugin(GetParam());
        ASSERT_NE(plugin, nullptr);
        const auto hosted = renderScenario(scenario, *plugin);
        const auto direct = renderScenario(scenario);
        ASSERT_EQ(hosted.size(), direct.size());
        const auto [worst, where] = largestDifference(hosted, direct);
        EXPECT_LE(worst, 1e-6f) << formatName(GetParam()) << " " << scenario.name << " differs at frame "
                                << where / 2 << " by " << worst << " (" << hosted[where] << " vs "
                                << direct[where] << ")";
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PluginFormat, ::testing::Values(Format::vst3, Format::lv2),
                         [](const auto& testInfo) { return formatName(testInfo.param); });

namespace
{
// Parameter changes travel between an LV2 host and its plug-in only while it processes.
void processOneBlock(juce::AudioPluginInstance& plugin)
{
    plugin.prepareToPlay(44100.0, 512);
    juce::AudioBuffer<float> buffer(2, 512);
    juce::MidiBuffer midi;
    plugin.processBlock(buffer, midi);
}

float valueFor(int index)
{
    return (float)(index + 1) / 32.0f;
}
} // namespace

TEST_P(PluginFormat, StateRoundTripsThroughTheHostAndIntoTheOtherFormat)
{
    const auto format = GetParam();
    const auto other = format == Format::vst3 ? Format::lv2 : Format::vst3;

    auto source = loadPlugin(format);
    ASSERT_NE(source, nullptr);
    for (int i = 0; i < 31; ++i)
        findInstrumentParameter(*source, i)->setValueNotifyingHost(valueFor(i));
    processOneBlock(*source);
    juce::MemoryBlock state;
    source->getStateInformation(state);
    const auto chunk = chunkFromState(format, state);
    ASSERT_GE(chunk.getSize(), 124u);
    EXPECT_EQ(static_cast<const float*>(chunk.getData())[5], valueFor(5))
        << "the chunk is the parameter block";

    // Into a fresh instance of the same format, and into one of the other format.
    for (const auto target : {format, other})
    {
        auto restored = loadPlugin(target);
        ASSERT_NE(restored, nullptr);
        juce::MemoryBlock fresh;
        restored->getStateInformation(fresh);
        const auto restoredState = target == format ? state : stateWithChunk(target, fresh, chunk);
        restored->setStateInformation(restoredState.getData(), (int)restoredState.getSize());
        processOneBlock(*restored);
        for (int i = 0; i < 31; ++i)
            EXPECT_FLOAT_EQ(findInstrumentParameter(*restored, i)->getValue(), valueFor(i))
                << formatName(format) << " to " << formatName(target) << ", parameter " << i;

        // Saved again, it is the same chunk: the same values and the same current preset.
        juce::MemoryBlock saved;
        restored->getStateInformation(saved);
        EXPECT_EQ(chunkFromState(target, saved), chunk) << formatName(format) << " to " << formatName(target);
    }
}
