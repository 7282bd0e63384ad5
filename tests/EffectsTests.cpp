#include "ChorusLine.h"
#include "DelayLine.h"
#include "EngineDriver.h"

#include <gtest/gtest.h>

#include <bit>
#include <numbers>
#include <random>
#include <vector>

using namespace ParameterIndex;

namespace
{
// Normalised value of "Delay Length" that selects note-value index i.
float lengthIndex(int i)
{
    return (float)i / 5.0f;
}
} // namespace

TEST(Delay, LengthFromNoteValueAndTempo)
{
    EngineDriver engine;
    auto& channel = engine.channel;
    channel.setParameterPlain(delayTempo, 120.0f);
    const int expected[] = {88200, 66150, 44100, 33075, 22050, 11025}; // 2, 1.5, 1, 0.75, 0.5, 0.25 beats
    for (int i = 0; i < 6; ++i)
    {
        channel.setParameterNormalised(delayLength, lengthIndex(i));
        EXPECT_EQ(channel.computeDelayLength(), expected[i]) << "note value " << i;
    }

    // Host values 0.1 and 0.3 are plain 0.5 and 1.5, rounded half away from zero.
    channel.setParameterNormalised(delayLength, 0.1f);
    EXPECT_EQ(channel.computeDelayLength(), 66150);
    channel.setParameterNormalised(delayLength, 0.3f);
    EXPECT_EQ(channel.computeDelayLength(), 44100);
}

TEST(Delay, SyncUsesTheHostTempoOnlyWhenThereIsOne)
{
    EngineDriver engine;
    auto& channel = engine.channel;
    channel.setParameterPlain(delayTempo, 120.0f);
    channel.setParameterNormalised(delayLength, lengthIndex(4)); // half a beat

    channel.setHostTempo(90.0);
    EXPECT_EQ(channel.computeDelayLength(), 22050) << "sync off: the parameter tempo";
    channel.setParameterNormalised(delaySyncToHost, 1.0f);
    EXPECT_EQ(channel.computeDelayLength(), 29400) << "sync on: the host tempo";
    channel.setHostTempo(0.0);
    EXPECT_EQ(channel.computeDelayLength(), 22050) << "no host tempo: the parameter tempo again";
}

TEST(Delay, LongestDelayFitsAt192kHz)
{
    EngineDriver engine;
    auto& channel = engine.channel;
    channel.setSampleRate(2.0 * 192000.0);
    channel.setParameterPlain(delayTempo, 60.0f);
    channel.setParameterNormalised(delayLength, 0.0f);
    EXPECT_EQ(channel.computeDelayLength(), 768000);
    engine.block(16);
    EXPECT_EQ(channel.getDelayLine(0).getLength(), 768000);
}

TEST(Delay, LengthChangeRefillsSilentlyThenFadesIn)
{
    DelayLine line(2000);
    line.feedback = 0.0f;
    const int length = 1000;
    line.setLength(length);

    std::vector<float> out;
    for (int i = 0; i < 3 * length; ++i)
        out.push_back(line.process(1.0f));

    for (int i = 0; i < length; ++i)
        ASSERT_EQ(out[(size_t)i], 0.0f) << "silent while the line is rewritten, frame " << i;
    EXPECT_EQ(line.getRefill(), 0);

    // After the refill the return fades in by 0.002 per frame; the first writes of the refill
    // were themselves faded in from 1/500.
    EXPECT_FLOAT_EQ(out[(size_t)length], 0.002f * (2.0f / 500.0f));
    EXPECT_NEAR(out[(size_t)length + 100], 0.202f * (102.0f / 500.0f), 1e-6);
    // The gain stops at the first step past 1 (float steps of 0.002 land just short of 1).
    EXPECT_NEAR(out[(size_t)length + 600], 1.0f, 0.0025) << "fully faded in after 500 frames";
    EXPECT_EQ(out.back(), line.getGain());
}

TEST(Delay, MixZeroSilencesTheReturnButTheLineRuns)
{
    EngineDriver engine;
    auto& channel = engine.channel;
    channel.setParameterNormalised(delayMix, 0.0f);
    channel.setParameterNormalised(chorus, 0.0f);
    channel.setParameterNormalised(mainVolume, 1.0f);
    float frame[2] = {0.5f, -0.25f};
    channel.postProcessFrame(frame);
    EXPECT_FLOAT_EQ(frame[0], 0.4f * 0.5f) << "volume 1 is a gain of 0.4";
    EXPECT_FLOAT_EQ(frame[1], 0.4f * -0.25f);
    EXPECT_GT(channel.getDelayLine(0).getLength(), 1);
}

TEST(Chorus, DepthFromParameterAndRate)
{
    EngineDriver engine;
    engine.block(1);
    EXPECT_EQ(engine.channel.getChorusLine(0).getDepthFrames(), 8) << "default 0.1 at 88200";
    engine.channel.setParameterNormalised(chorus, 1.0f);
    engine.block(1);
    EXPECT_EQ(engine.channel.getChorusLine(1).getDepthFrames(), 88);
}

TEST(Chorus, ZeroDepthPassesTheSignalAndDepthDelaysIt)
{
    ChorusLine still(0.0);
    still.setRate(88200.0);
    for (int i = 0; i < 100; ++i)
    {
        still.setDepth(0.0f);
        const float x = (float)i * 0.01f;
        ASSERT_EQ(still.process(x), x);
    }

    // With depth the read point stays between the newest sample and 2 * depth frames behind.
    ChorusLine moving(0.0);
    moving.setRate(88200.0);
    for (int i = 0; i < 88200; ++i)
    {
        moving.setDepth(0.002f);
        const auto newest = (float)i;
        const float y = moving.process(newest);
        ASSERT_LE(y, newest);
        ASSERT_GE(y, newest - 2.0f * 88.0f - 1.0f);
    }
}

TEST(Chorus, LfoAnglesOfManyFramesAreThoseOfOneFrameAtATime)
{
    // Two whole LFO cycles at every rate, taken in runs of random length, and the skipped runs
    // (whose angles are not kept) land on the same phase.
    std::mt19937 random(7);
    for (const double rate : {16000.0, 44100.0, 88112.0, 88200.0, 96000.0, 176400.0, 192000.0, 384000.0})
        for (const double startPhase : {0.0, std::numbers::pi})
        {
            ChorusLine stepped(startPhase);
            ChorusLine together(startPhase);
            stepped.setRate(rate);
            together.setRate(rate);
            const auto frames = (int)(2.0 * rate / 1.2);
            float angles[64];
            for (int done = 0; done < frames;)
            {
                const int count = std::uniform_int_distribution<int>(1, 64)(random);
                const bool skip = count % 5 == 0;
                together.nextLfoAngles(skip ? nullptr : angles, count);
                for (int i = 0; i < count; ++i)
                {
                    const float angle = stepped.nextLfoAngle();
                    if (!skip)
                    {
                        ASSERT_EQ(std::bit_cast<uint32_t>(angles[i]), std::bit_cast<uint32_t>(angle))
                            << "rate " << rate << ", frame " << done + i;
                    }
                }
                done += count;
            }
            ASSERT_EQ(together.nextLfoAngle(), stepped.nextLfoAngle()) << "rate " << rate;
        }
}

TEST(Chorus, SkippedSilenceLeavesTheLinesAsProcessingItWould)
{
    ChorusLine processedA(0.0), processedB(std::numbers::pi);
    ChorusLine skippedA(0.0), skippedB(std::numbers::pi);
    for (auto* line : {&processedA, &processedB, &skippedA, &skippedB})
        line->setDepth(0.002f);
    // Enough frames to go round the ring more than once, so old samples must be overwritten.
    int frame = 0;
    for (int round = 0; round < 4000; ++round)
    {
        for (int i = 0; i < 40; ++i, ++frame)
        {
            const auto x = (float)(frame % 17) - 8.0f;
            ASSERT_EQ(processedA.process(x), skippedA.process(x));
            ASSERT_EQ(processedB.process(-x), skippedB.process(-x));
        }
        for (int i = 0; i < 63; ++i)
        {
            processedA.process(0.0f);
            processedB.process(0.0f);
        }
        ChorusLine::skipSilentFrames(skippedA, skippedB, 63);
        frame += 63;
    }
}

namespace
{
// Inputs in stretches: sound, +0 long enough for a line to go quiet, and -0 (which is not
// silence to the lines' bookkeeping).
float stretchInput(int frame)
{
    const int stretch = (frame / 300) % 4;
    if (stretch == 1 || stretch == 2)
        return 0.0f;
    if (stretch == 3 && frame % 7 == 0)
        return -0.0f;
    return (float)(frame % 13) * 0.125f - 0.75f;
}
} // namespace

TEST(Delay, SteadyRunsKeepTrackOfSilenceAsFrameByFrame)
{
    // A line longer than a run, and one shorter, which a run goes round more than once.
    for (const int32_t length : {170, 5})
    {
        DelayLine frameByFrame(1000);
        DelayLine inRuns(1000);
        for (auto* line : {&frameByFrame, &inRuns})
        {
            line->setLength(length);
            while (!line->isSteady())
                line->process(0.5f);
        }
        std::mt19937 random(11);
        for (int frame = 0; frame < 20000;)
        {
            const int count = std::uniform_int_distribution<int>(1, 64)(random);
            DelayLine::Steady steady(inRuns);
            for (int i = 0; i < count; ++i, ++frame)
            {
                const float x = stretchInput(frame);
                ASSERT_EQ(std::bit_cast<uint32_t>(steady.process(x)),
                          std::bit_cast<uint32_t>(frameByFrame.process(x)))
                    << "length " << length << ", frame " << frame;
            }
            steady.finish(count);
            ASSERT_EQ(inRuns.framesBeforeSilence(), frameByFrame.framesBeforeSilence())
                << "length " << length << ", frame " << frame;
            ASSERT_EQ(inRuns.holdsSilence(), frameByFrame.holdsSilence())
                << "length " << length << ", frame " << frame;
        }
    }
}

TEST(Chorus, PlannedRunsPlayAndKeepTrackOfSilenceAsFrameByFrame)
{
    ChorusLine frameByFrame(std::numbers::pi);
    ChorusLine inRuns(std::numbers::pi);
    for (auto* line : {&frameByFrame, &inRuns})
        line->setDepth(0.002f);
    std::mt19937 random(12);
    float angles[ChorusLine::maxFrames];
    ChorusLine::ReadPlan plan;
    for (int frame = 0; frame < 20000;)
    {
        const int count = std::uniform_int_distribution<int>(1, ChorusLine::maxFrames)(random);
        inRuns.nextLfoAngles(angles, count);
        inRuns.planReads(angles, count, plan);
        ChorusLine::Planned planned(inRuns, plan);
        for (int i = 0; i < count; ++i, ++frame)
        {
            const float x = stretchInput(frame);
            ASSERT_EQ(std::bit_cast<uint32_t>(planned.process(x, i)),
                      std::bit_cast<uint32_t>(frameByFrame.process(x)))
                << "frame " << frame;
        }
        planned.finish(count);
        ASSERT_EQ(inRuns.readsSilence(), frameByFrame.readsSilence()) << "frame " << frame;
    }
}

TEST(Effects, SampleRateChangeKeepsDelayContents)
{
    EngineDriver engine;
    engine.noteOn(60);
    engine.run(8000);
    engine.noteOff(60);
    engine.run(200000);
    const int length = engine.channel.getDelayLine(0).getLength();
    engine.channel.setSampleRate(88200.0 * 2);
    EXPECT_EQ(engine.channel.getDelayLine(0).getLength(), length)
        << "the line keeps its state until the next frame";
    EXPECT_EQ(engine.channel.getChorusLine(0).getDepthFrames(), 88);
    engine.block(1);
    EXPECT_EQ(engine.channel.getDelayLine(0).getLength(), engine.channel.computeDelayLength());
    EXPECT_NEAR(engine.channel.getDelayLine(0).getLength(), 2 * length, 2);
}
