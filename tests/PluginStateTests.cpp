#include "OrvelundAudioProcessor.h"
#include "PresetTestSupport.h"
#include "RenderScenarios.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace presettest;
using namespace ParameterIndex;

namespace
{
class ChangeCounter : public juce::ChangeListener
{
public:
    void changeListenerCallback(juce::ChangeBroadcaster*) override { ++count; }
    int count = 0;
};

juce::MemoryBlock trailer(const juce::String& category, const juce::String& preset)
{
    juce::MemoryBlock block;
    const int32_t words[2] = {category.hashCode(), preset.hashCode()};
    block.append(words, sizeof words);
    return block;
}

class PluginState : public PresetFolders
{
protected:
    std::unique_ptr<OrvelundAudioProcessor> makeProcessor(bool withFactory = true)
    {
        if (withFactory && !factoryRoot().isDirectory())
            installFactoryLibrary();
        return std::make_unique<OrvelundAudioProcessor>(folders());
    }

    static void setAll(OrvelundAudioProcessor& processor, float value)
    {
        for (auto* parameter : processor.getParameters())
            parameter->setValueNotifyingHost(value);
    }

    static float value(OrvelundAudioProcessor& processor, int index)
    {
        return processor.getParameters()[index]->getValue();
    }
};
} // namespace

TEST_F(PluginState, InitialPresetIsSelectedNotLoadedAndNamedInTheState)
{
    auto processor = makeProcessor();
    const auto& current = processor->getPresetStore().getCurrent();
    ASSERT_TRUE(current.valid);
    EXPECT_EQ(current.name, "INIT");
    EXPECT_EQ(processor->getPresetStore().getCategory(current.categoryIndex).displayName, "LEADS");
    for (int i = 0; i < 31; ++i)
        EXPECT_EQ(value(*processor, i), instrumentParameters[(size_t)i].defaultValue);

    juce::MemoryBlock state;
    processor->getStateInformation(state);
    ASSERT_EQ(state.getSize(), 132u);
    EXPECT_EQ(
        std::memcmp(static_cast<const char*>(state.getData()) + 124, trailer("LEADS", "INIT").getData(), 8),
        0);

    juce::MemoryBlock payload;
    processor->writeState(payload, true);
    EXPECT_EQ(payload.getSize(), 124u) << "a preset payload has no identity";
}

TEST_F(PluginState, WithoutFactoryLibraryThereIsNoCurrentPreset)
{
    auto processor = makeProcessor(false);
    EXPECT_FALSE(processor->getPresetStore().getCurrent().valid);
    EXPECT_EQ(processor->getPresetStore().getCurrent().name, "INIT");
    juce::MemoryBlock state;
    processor->getStateInformation(state);
    EXPECT_EQ(state.getSize(), 124u);
}

TEST_F(PluginState, HostChunksOfEverySize)
{
    // The chunk holds 0.75 everywhere and names "Warm Pad" in "PADS"; the processor starts at 0.25.
    auto chunk = valuesBlock(0.75f);
    chunk.append(trailer("PADS", "Warm Pad").getData(), 8);
    chunk.setSize(5000, true);

    struct Case
    {
        int size;
        int valuesRead;     // parameters that take the chunk's value (a partial word reads as 0)
        const char* preset; // the current preset afterwards; nullptr: none
    };
    const Case cases[] = {{0, 0, "INIT"},        {1, 1, "INIT"},     {3, 1, "INIT"},
                          {100, 25, "INIT"},     {120, 30, "INIT"},  {124, 31, "INIT"},
                          {128, 31, nullptr},    {131, 31, nullptr}, {132, 31, "Warm Pad"},
                          {5000, 31, "Warm Pad"}};
    for (const auto& c : cases)
    {
        auto processor = makeProcessor();
        ChangeCounter changes;
        processor->addChangeListener(&changes);
        setAll(*processor, 0.25f);
        processor->setStateInformation(chunk.getData(), c.size);

        for (int i = 0; i < 31; ++i)
        {
            float expected = 0.25f;
            if (i < c.valuesRead)
                expected = (i + 1) * 4 <= c.size ? 0.75f : 0.0f;
            if (i == delayMix && c.valuesRead < 31)
                expected = 0.0f; // a short block silences the delay return
            EXPECT_EQ(value(*processor, i), expected) << "size " << c.size << ", parameter " << i;
        }
        const auto& current = processor->getPresetStore().getCurrent();
        EXPECT_EQ(current.valid, c.preset != nullptr) << "size " << c.size;
        if (c.preset != nullptr)
        {
            EXPECT_EQ(current.name, c.preset) << "size " << c.size;
        }

        juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
        EXPECT_EQ(changes.count, 1) << "one change message for size " << c.size;
        processor->removeChangeListener(&changes);
    }
}

TEST_F(PluginState, ATrailerNamingAMissingPresetRestoresValuesAndClearsTheSelection)
{
    auto processor = makeProcessor();
    auto chunk = valuesBlock(0.5f);
    chunk.append(trailer("PADS", "No Such Pad").getData(), 8);
    processor->setStateInformation(chunk.getData(), (int)chunk.getSize());
    EXPECT_EQ(value(*processor, modFeedback), 0.5f);
    EXPECT_FALSE(processor->getPresetStore().getCurrent().valid);
}

TEST_F(PluginState, DamagedValuesEndInRangeAndFinite)
{
    auto processor = makeProcessor();
    auto chunk = valuesBlock(0.5f);
    auto* values = static_cast<float*>(chunk.getData());
    values[chorus] = std::numeric_limits<float>::quiet_NaN();
    values[modFeedback] = std::numeric_limits<float>::infinity();
    values[wobbleDepth] = -std::numeric_limits<float>::infinity();
    values[highcutFreq] = 7.0f;
    values[highcutReso] = -3.0f;
    processor->setStateInformation(chunk.getData(), (int)chunk.getSize());

    EXPECT_EQ(value(*processor, chorus), instrumentParameters[chorus].defaultValue)
        << "non-finite: the default";
    EXPECT_EQ(value(*processor, modFeedback), instrumentParameters[modFeedback].defaultValue);
    EXPECT_EQ(value(*processor, wobbleDepth), instrumentParameters[wobbleDepth].defaultValue);
    EXPECT_EQ(value(*processor, highcutFreq), 1.0f) << "finite: clamped";
    EXPECT_EQ(value(*processor, highcutReso), 0.0f);
}

TEST_F(PluginState, LoadingAPresetPayloadNeverChangesTheCurrentRecord)
{
    auto processor = makeProcessor();
    const auto before = processor->getPresetStore().getCurrent();
    auto payload = valuesBlock(0.5f);
    payload.append(trailer("PADS", "Warm Pad").getData(), 8);
    processor->readState(payload.getData(), (int)payload.getSize(), true);
    EXPECT_EQ(value(*processor, modFeedback), 0.5f);
    EXPECT_EQ(processor->getPresetStore().getCurrent().name, before.name);
    EXPECT_EQ(processor->getPresetStore().getCurrent().path, before.path);
}

TEST_F(PluginState, StateRoundTripsIntoAFreshProcessor)
{
    auto source = makeProcessor();
    for (int i = 0; i < 31; ++i)
        source->getParameters()[i]->setValueNotifyingHost((float)i / 31.0f);
    const auto& store = source->getPresetStore();
    ASSERT_TRUE(source->getPresetStore().selectPreset(store.getCurrent().categoryIndex + 1, 2));
    juce::MemoryBlock state;
    source->getStateInformation(state);

    auto restored = makeProcessor();
    restored->setStateInformation(state.getData(), (int)state.getSize());
    for (int i = 0; i < 31; ++i)
        EXPECT_EQ(value(*restored, i), value(*source, i));
    EXPECT_EQ(restored->getPresetStore().getCurrent().path, source->getPresetStore().getCurrent().path);
}

// The factory library as installed: enough presets, all in the instrument's range, each sounding
// and distinct from the others, none clipping on the demo phrase.
class FactoryLibrary : public PluginState
{
};

TEST_F(FactoryLibrary, HasSixCategoriesOfPlayablePresets)
{
    auto processor = makeProcessor();
    const auto& store = processor->getPresetStore();
    ASSERT_GE(store.getNumCategories() - 1, 6);
    int count = 0;
    for (const auto& category : store.getCategories())
        if (!category.isUser)
        {
            EXPECT_GE(category.presets.size(), 6u) << category.displayName;
            count += (int)category.presets.size();
        }
    EXPECT_GE(count, 48);
    EXPECT_EQ(store.getCategory(0).displayName, "LEADS");
    EXPECT_EQ(store.getCategory(0).presets[0].name, "INIT");

    // INIT is the default sound.
    const auto payload = store.readPresetFile(juce::File(store.getCategory(0).presets[0].path));
    ASSERT_TRUE(payload);
    for (int i = 0; i < 31; ++i)
        EXPECT_EQ(static_cast<const float*>(payload->getData())[i],
                  instrumentParameters[(size_t)i].defaultValue);
}

TEST_F(FactoryLibrary, EveryPresetSoundsDistinctAndUnclippedOnTheDemo)
{
    auto catalogue = makeProcessor();
    const auto demo = demoScenario();
    std::vector<std::pair<juce::String, std::vector<float>>> renders;
    for (const auto& category : catalogue->getPresetStore().getCategories())
        for (const auto& preset : category.presets)
        {
            const auto label = category.displayName + "/" + preset.name;
            const auto payload = catalogue->getPresetStore().readPresetFile(juce::File(preset.path));
            ASSERT_TRUE(payload) << label;
            for (int i = 0; i < 31; ++i)
            {
                const float v = static_cast<const float*>(payload->getData())[i];
                EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << label << " parameter " << i;
            }

            OrvelundAudioProcessor processor(folders());
            processor.readState(payload->getData(), (int)payload->getSize(), true);
            auto samples = renderScenario(demo, processor);
            float peak = 0.0f;
            double energy = 0.0;
            for (float s : samples)
            {
                ASSERT_TRUE(std::isfinite(s)) << label;
                peak = std::max(peak, std::abs(s));
                energy += (double)s * s;
            }
            EXPECT_LE(peak, 1.0f) << label;
            EXPECT_GT(std::sqrt(energy / (double)samples.size()), 0.01) << label << " is nearly silent";
            for (const auto& [other, otherSamples] : renders)
            {
                double difference = 0.0;
                for (size_t k = 0; k < samples.size(); ++k)
                    difference += std::abs(samples[k] - otherSamples[k]);
                EXPECT_GT(difference / (double)samples.size(), 1e-3) << label << " sounds like " << other;
            }
            renders.emplace_back(label, std::move(samples));
        }
}
