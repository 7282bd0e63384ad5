#include "RenderScenarios.h"

#include "VoiceBank.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cmath>
#include <cstdlib>

// Golden renders pin the instrument's sound: any change that moves a kept sample by more than
// 1e-6 fails. Set ORVELUND_UPDATE_GOLDEN=1 to rewrite the fixtures after an intended change.
namespace
{
constexpr int frameStride = 16; // every 16th stereo frame is kept
constexpr float tolerance = 1.0e-6f;

juce::File fixtureFile(const std::string& name)
{
    return juce::File(ORVELUND_GOLDEN_DIR).getChildFile(juce::String(name) + ".f32");
}

std::vector<float> keptFrames(const std::vector<float>& interleaved)
{
    std::vector<float> kept;
    for (size_t frame = 0; 2 * frame + 1 < interleaved.size(); frame += frameStride)
    {
        kept.push_back(interleaved[2 * frame]);
        kept.push_back(interleaved[2 * frame + 1]);
    }
    return kept;
}

class GoldenRender : public ::testing::TestWithParam<RenderScenario>
{
};
} // namespace

TEST_P(GoldenRender, MatchesFixture)
{
    const auto& scenario = GetParam();
    const auto kept = keptFrames(renderScenario(scenario));
    for (float sample : kept)
        ASSERT_TRUE(std::isfinite(sample));

    const auto file = fixtureFile(scenario.name);
    if (std::getenv("ORVELUND_UPDATE_GOLDEN") != nullptr)
    {
        file.getParentDirectory().createDirectory();
        ASSERT_TRUE(file.replaceWithData(kept.data(), kept.size() * sizeof(float)));
        return;
    }

    juce::MemoryBlock data;
    ASSERT_TRUE(file.loadFileAsData(data)) << "missing fixture " << file.getFullPathName();
    ASSERT_EQ(data.getSize(), kept.size() * sizeof(float));
    const auto* expectedData = static_cast<const float*>(data.getData());
    const std::vector<float> expected(expectedData, expectedData + kept.size());
    const auto [worst, worstIndex] = largestDifference(kept, expected);
    EXPECT_LE(worst, tolerance) << "frame " << (worstIndex / 2) * frameStride
                                << (worstIndex % 2 ? " right" : " left") << ": " << kept[worstIndex]
                                << " instead of " << expected[worstIndex];
}

TEST_P(GoldenRender, OptimisedPathMatchesTheReferencePath)
{
    // The optimised path is exact but for its vector sines and filter tangents, which may differ
    // from the C library's in the last bit; on every sample, not only the kept ones, that stays
    // within the golden tolerance.
    OrvelundAudioProcessor optimised;
    OrvelundAudioProcessor reference;
    reference.getChannel().setReferencePath(true);
    const auto fast = renderScenario(GetParam(), optimised);
    const auto slow = renderScenario(GetParam(), reference);
    ASSERT_EQ(fast.size(), slow.size());
    const auto [worst, worstIndex] = largestDifference(fast, slow);
    EXPECT_LE(worst, tolerance) << "frame " << worstIndex / 2 << ": " << fast[worstIndex] << " instead of "
                                << slow[worstIndex];
}

TEST(EffectsOnSilence, SkippedFramesLeaveTheSoundOfTheNextNoteUnchanged)
{
    // Once the delay, its filters and the chorus hold nothing but zeros, silent frames only move
    // their clocks on. With no delay feedback that state comes within seconds of a release; the
    // note after it must sound exactly as the straightforward path plays it.
    RenderScenario scenario;
    scenario.name = "silence-between-notes";
    scenario.seconds = 5.0;
    scenario.parameters = {{ParameterIndex::delayFeedback, 0.0f}, {ParameterIndex::chorus, 0.8f}};
    const auto note = [&](double at, bool on)
    {
        const auto sample = (int64_t)(at * scenario.settings.sampleRate);
        scenario.events.push_back({sample, on ? juce::MidiMessage::noteOn(1, 60, (juce::uint8)100)
                                              : juce::MidiMessage::noteOff(1, 60)});
    };
    note(0.0, true);
    note(0.2, false);
    note(4.0, true);
    note(4.5, false);

    OrvelundAudioProcessor optimised;
    OrvelundAudioProcessor reference;
    reference.getChannel().setReferencePath(true);
    const auto fast = renderScenario(scenario, optimised);
    const auto slow = renderScenario(scenario, reference);
    ASSERT_EQ(fast.size(), slow.size());

    // Silent stretch before the second note: the skipping was in use.
    const auto silentFrom = (size_t)(3.5 * scenario.settings.sampleRate) * 2;
    const auto secondNote = (size_t)(4.0 * scenario.settings.sampleRate) * 2;
    for (size_t i = silentFrom; i < secondNote; ++i)
        ASSERT_EQ(slow[i], 0.0f) << "the reference is not silent yet at frame " << i / 2;
    const auto [worst, index] = largestDifference(fast, slow);
    EXPECT_LE(worst, tolerance) << "frame " << index / 2;
    float peak = 0.0f;
    for (size_t i = secondNote; i < fast.size(); ++i)
        peak = std::max(peak, std::abs(fast[i]));
    EXPECT_GT(peak, 0.05f) << "the second note sounds";
}

TEST(VectorUnits, EveryUnitThisProcessorOffersRendersLikeTheReference)
{
    // The build carries the voices' code for several vector units and picks one at run time; each
    // one this machine can run must sound the same, down to the golden tolerance.
    const auto scenarios = goldenScenarios();
    std::vector<std::vector<float>> references;
    for (const auto& scenario : scenarios)
    {
        OrvelundAudioProcessor reference;
        reference.getChannel().setReferencePath(true);
        references.push_back(renderScenario(scenario, reference));
    }

    const auto targets = hwy::SupportedAndGeneratedTargets();
    ASSERT_FALSE(targets.empty());
    for (const int64_t target : targets)
    {
        hwy::SetSupportedTargetsForTest(target);
        hwy::GetChosenTarget().Update(hwy::SupportedTargets());
        EXPECT_STREQ(VoiceBank::getTargetName(), hwy::TargetName(target));
        for (size_t i = 0; i < scenarios.size(); ++i)
        {
            OrvelundAudioProcessor optimised;
            const auto samples = renderScenario(scenarios[i], optimised);
            const auto [worst, index] = largestDifference(samples, references[i]);
            EXPECT_LE(worst, tolerance)
                << hwy::TargetName(target) << ", " << scenarios[i].name << ", frame " << index / 2;
        }
    }
    hwy::SetSupportedTargetsForTest(0);
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
}

TEST(GoldenRenderSanity, ScenariosSoundAndStayInRange)
{
    for (const auto& scenario : goldenScenarios())
    {
        const auto samples = renderScenario(scenario);
        float peak = 0.0f;
        for (float sample : samples)
            peak = std::max(peak, std::abs(sample));
        EXPECT_GT(peak, 0.01f) << scenario.name;
        EXPECT_LT(peak, 2.0f) << scenario.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, GoldenRender, ::testing::ValuesIn(goldenScenarios()),
                         [](const auto& testInfo)
                         {
                             auto name = testInfo.param.name;
                             for (auto& c : name)
                                 if (!std::isalnum((unsigned char)c))
                                     c = '_';
                             return name;
                         });
