#include "RenderScenarios.h"

#include <gtest/gtest.h>

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

TEST_P(GoldenRender, OptimisedPathEqualsTheReferencePath)
{
    // Every optimisation of the engine is exact: the straightforward path gives the same bits.
    OrvelundAudioProcessor optimised;
    OrvelundAudioProcessor reference;
    reference.getChannel().setReferencePath(true);
    const auto fast = renderScenario(GetParam(), optimised);
    const auto slow = renderScenario(GetParam(), reference);
    ASSERT_EQ(fast.size(), slow.size());
    for (size_t i = 0; i < fast.size(); ++i)
        ASSERT_EQ(fast[i], slow[i]) << "frame " << i / 2;
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
