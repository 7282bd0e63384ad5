#include "EngineDriver.h"
#include "InstrumentVoice.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ParameterIndex;

namespace
{
InstrumentVoice& startVoice(EngineDriver& engine, int note, int velocity)
{
    engine.noteOn(note, velocity);
    engine.block(1);
    return *static_cast<InstrumentVoice*>(engine.voiceFor(note));
}
} // namespace

TEST(Voice, VelocityFactorsFollowTheirSwitches)
{
    struct Case
    {
        int switchIndex;
        bool on;
        int velocity;
        float volume, filter, feedback;
    };
    const float smallest = (1.0f / 127.0f) * (1.0f / 127.0f);
    const Case cases[] = {
        {volumeVelMod, true, 127, 1.0f, 1.0f, 1.0f},
        {volumeVelMod, true, 1, smallest * 0.7f + 0.3f, smallest * 0.8f + 0.2f, smallest},
        {volumeVelMod, false, 1, 0.7f, smallest * 0.8f + 0.2f, smallest},
        {highCutVelMod, false, 1, smallest * 0.7f + 0.3f, 1.0f, smallest},
        {feedbackVelMod, false, 1, smallest * 0.7f + 0.3f, smallest * 0.8f + 0.2f, 1.0f},
    };
    for (const auto& c : cases)
    {
        EngineDriver engine;
        engine.channel.setParameterNormalised(c.switchIndex, c.on ? 1.0f : 0.0f);
        const auto& voice = startVoice(engine, 60, c.velocity);
        EXPECT_FLOAT_EQ(voice.getVolumeVelocityFactor(), c.volume) << c.switchIndex << " " << c.velocity;
        EXPECT_FLOAT_EQ(voice.getFilterVelocityFactor(), c.filter);
        EXPECT_FLOAT_EQ(voice.getFeedbackVelocityFactor(), c.feedback);
    }
    EXPECT_NEAR(smallest * 0.7f + 0.3f, 0.30004f, 1e-5);
}

TEST(Voice, EnvelopeTimesComeFromParametersAtNoteStart)
{
    EngineDriver engine;
    engine.channel.setParameterNormalised(attackVelMod, 0.0f);
    engine.channel.setParameterPlain(adsrAttack, 0.5f);
    engine.channel.setParameterPlain(adsrRelease, 0.5f);
    engine.channel.setParameterPlain(modAttack, 1.5f);
    auto& voice = startVoice(engine, 60, 100);

    EXPECT_NEAR(voice.getAmpParameters().attack, 0.5f * 0.5f * 0.5f * 6.0f, 1e-5);
    EXPECT_NEAR(voice.getAmpParameters().release, 0.5f * 0.5f * 6.0f, 1e-5)
        << "release is squared, not cubed";
    EXPECT_NEAR(voice.getModParameters().attack, 0.75f * 1.5f, 1e-5);
    EXPECT_NEAR(voice.getAmpEnvelope().getAttackFrames(), (int)(std::sqrt(0.75f) * 88200.0f), 1);

    // Changing the parameter later does not touch the sounding note.
    engine.channel.setParameterPlain(adsrAttack, 0.1f);
    engine.block(1);
    EXPECT_NEAR(voice.getAmpParameters().attack, 0.75f, 1e-5);
}

TEST(Voice, VelocityShortensTheAttackWhenSwitchedOn)
{
    EngineDriver engine;
    engine.channel.setParameterPlain(adsrAttack, 0.5f);
    auto& voice = startVoice(engine, 60, 127);
    EXPECT_FLOAT_EQ(voice.getAmpParameters().attack, 0.0001f) << "full velocity: 0.000001, clamped";
}

TEST(Voice, ShapedOscillatorMorphAndWidth)
{
    // Width 0.1: a whole sine in the first tenth of the period, then rest just below zero.
    EXPECT_NEAR(InstrumentVoice::shapedOscillator(0.025, 0.1f, 0.0f), 1.0f, 1e-6);
    EXPECT_NEAR(InstrumentVoice::shapedOscillator(0.075, 0.1f, 0.0f), -1.0f, 1e-6);
    EXPECT_NEAR(InstrumentVoice::shapedOscillator(0.5, 0.1f, 0.0f), -0.000628f, 1e-6);
    EXPECT_NEAR(InstrumentVoice::shapedOscillator(0.99, 0.1f, 0.75f), -0.75f, 1e-3)
        << "morph weighs the square's -1";

    const float s = std::sin((float)(2.0 * M_PI * 0.1));
    EXPECT_FLOAT_EQ(InstrumentVoice::shapedOscillator(0.1, 1.0f, 0.75f), 0.75f * (1.0f - s) + s);
}

TEST(Voice, ModulatorRatioTable)
{
    const std::pair<float, double> cases[] = {{0.0f, 0.5}, {0.99f, 0.5}, {1.0f, 1.0}, {2.5f, 2.0},
                                              {3.0f, 3.0}, {4.99f, 4.0}, {5.0f, 4.0}};
    for (const auto& [value, ratio] : cases)
        EXPECT_EQ(InstrumentVoice::modulatorRatio(value), ratio) << value;
}

TEST(Voice, FilterLimits)
{
    EXPECT_EQ(InstrumentVoice::filterCutoff(440.0, 1.0f, 1.0f), 15000.0f);
    EXPECT_EQ(InstrumentVoice::filterCutoff(8.1757989156, 0.0f, 1.0f), 60.0f);
    EXPECT_FLOAT_EQ(InstrumentVoice::filterCutoff(440.0, 0.5f, 1.0f),
                    (float)((20000.0 - 440.0) * 0.25 + 440.0));
    EXPECT_EQ(InstrumentVoice::filterDamping(2.9f, 0.2f), (double)0.04f);
    EXPECT_FLOAT_EQ((float)InstrumentVoice::filterDamping(2.7f, 0.2f), 0.3f * 0.2f);
}

TEST(Voice, CarrierWidthFollowsItsParameter)
{
    EngineDriver engine;
    engine.channel.setParameterNormalised(osc1Width, 1.0f);
    auto& voice = startVoice(engine, 60, 100);
    EXPECT_NEAR(voice.getCarrierWidth(), 0.1f, 1e-6);
}

TEST(Voice, FinishesOnTheFrameItsReleaseReachesZero)
{
    EngineDriver engine;
    auto& voice = startVoice(engine, 69, 100);
    engine.block(20000);
    engine.noteOff(69);
    engine.block(1); // the note-off is dispatched on this frame and the release starts
    const int releaseFrames = voice.getAmpEnvelope().getReleaseFrames();
    ASSERT_EQ(voice.getAmpEnvelope().getState(), AdsrEnvelope::State::release);

    engine.block(releaseFrames - 2);
    EXPECT_FALSE(voice.isInFreeList());
    EXPECT_NE(engine.left.back(), 0.0f);
    engine.block(1);
    EXPECT_TRUE(voice.isInFreeList()) << "finished on the frame its level became 0";
}

TEST(Voice, ProducesTheNotesPitch)
{
    // With no modulation, no wobble and an open filter the carrier is a sine at the note frequency.
    EngineDriver engine;
    engine.channel.setParameterNormalised(modFeedback, 0.0f);
    engine.channel.setParameterNormalised(wobbleDepth, 0.0f);
    engine.channel.setParameterNormalised(delayMix, 0.0f);
    engine.channel.setParameterNormalised(chorus, 0.0f);
    engine.noteOn(69, 127);
    engine.run(88200);

    int crossings = 0;
    for (size_t i = 44100; i + 1 < engine.left.size(); ++i)
        if (engine.left[i] <= 0.0f && engine.left[i + 1] > 0.0f)
            ++crossings;
    EXPECT_NEAR(crossings, 220, 1) << "440 Hz over half a second";
}
