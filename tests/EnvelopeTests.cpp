#include "AdsrEnvelope.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
AdsrEnvelopeParameters timeValues(float attack, float decay, float sustain, float release)
{
    return {attack, decay, sustain, release};
}
} // namespace

TEST(Envelope, SegmentLengthsAreRootOfTimeTimesRate)
{
    struct Case
    {
        float time;
        float rate;
        int frames;
    };
    // A time value of 0 is clamped to 0.0001, whose root is 0.01.
    for (const auto& c :
         {Case{0.0f, 88200.0f, 882}, Case{0.0001f, 88200.0f, 882}, Case{0.25f, 88200.0f, 44100},
          Case{1.0f, 96000.0f, 96000}, Case{6.0f, 88200.0f, (int)(std::sqrt(6.0f) * 88200.0f)}})
    {
        auto parameters = timeValues(c.time, c.time, 0.5f, c.time);
        AdsrEnvelope envelope;
        envelope.start(parameters, c.rate);
        EXPECT_EQ(envelope.getAttackFrames(), c.frames) << c.time << " at " << c.rate;
        EXPECT_EQ(envelope.getDecayFrames(), c.frames);
        EXPECT_EQ(envelope.getReleaseFrames(), c.frames);
        EXPECT_GE(parameters.attack, 0.0001f) << "the clamped value is written back";
    }
}

TEST(Envelope, AttackPeaksBelowOneAndDecayStopsAboveSustain)
{
    auto parameters = timeValues(0.01f, 0.0001f, 0.25f, 0.01f); // 8820-frame attack, 882-frame decay
    AdsrEnvelope envelope;
    envelope.start(parameters, 88200.0f);
    const int frames = envelope.getAttackFrames();

    float peak = 0.0f;
    for (int i = 1; i < frames; ++i)
        peak = envelope.step();
    EXPECT_EQ(envelope.getState(), AdsrEnvelope::State::attack);
    EXPECT_NEAR(peak, (frames - 1.0f) / frames, 2e-4) << "float accumulation of 1/frames";
    EXPECT_LT(peak, 1.0f);

    const float firstDecay = envelope.step();
    EXPECT_EQ(envelope.getState(), AdsrEnvelope::State::decay) << "the frame the count is reached decays";
    EXPECT_LT(firstDecay, peak);

    float level = firstDecay;
    while (envelope.getState() == AdsrEnvelope::State::decay)
        level = envelope.step();
    EXPECT_EQ(envelope.getState(), AdsrEnvelope::State::sustain);
    // The attack stops one step short of 1 and the decay takes one step fewer than its count.
    const float attackFrames = (float)envelope.getAttackFrames();
    const float decayFrames = (float)envelope.getDecayFrames();
    EXPECT_NEAR(level, 0.5f - 1.0f / attackFrames + 0.5f / decayFrames, 2e-4);
    EXPECT_GT(level, envelope.getSustainLevel());
    EXPECT_EQ(envelope.step(), level) << "sustain holds";
}

TEST(Envelope, TinySustainKeepsSounding)
{
    auto parameters = timeValues(0.0001f, 0.0001f, 0.000001f, 0.01f);
    AdsrEnvelope envelope;
    envelope.start(parameters, 88200.0f);
    EXPECT_FLOAT_EQ(envelope.getSustainLevel(), 0.001f);
    for (int i = 0; i < 10000; ++i)
        envelope.step();
    EXPECT_EQ(envelope.getState(), AdsrEnvelope::State::sustain);
    EXPECT_GT(envelope.getLevel(), 0.0f);
}

TEST(Envelope, ReleaseFromPartialAttackRampsToZeroInReleaseFrames)
{
    auto parameters = timeValues(0.01f, 0.01f, 0.5f, 0.0001f);
    AdsrEnvelope envelope;
    envelope.start(parameters, 88200.0f);
    for (int i = 0; i < 100; ++i)
        envelope.step();
    const float partial = envelope.getLevel();
    ASSERT_GT(partial, 0.0f);
    ASSERT_LT(partial, 0.2f);

    envelope.release();
    envelope.release(); // a second release changes nothing
    EXPECT_EQ(envelope.getState(), AdsrEnvelope::State::release);
    const int frames = envelope.getReleaseFrames();
    float previous = partial;
    for (int i = 1; i < frames; ++i)
    {
        const float level = envelope.step();
        ASSERT_LT(level, previous);
        previous = level;
    }
    EXPECT_NEAR(previous, partial / frames, 1e-6) << "linear from the partial level";
    EXPECT_EQ(envelope.step(), 0.0f) << "the release count ends on exactly 0";
    EXPECT_EQ(envelope.getState(), AdsrEnvelope::State::idle);
    envelope.release();
    EXPECT_EQ(envelope.getState(), AdsrEnvelope::State::idle);
}

TEST(Envelope, ZeroSustainGoesIdleAfterDecay)
{
    auto parameters = timeValues(0.0001f, 0.0001f, 0.0f, 0.01f);
    AdsrEnvelope envelope;
    envelope.start(parameters, 88200.0f);
    int frames = 0;
    while (envelope.getState() != AdsrEnvelope::State::idle && frames < 10000)
    {
        envelope.step();
        ++frames;
    }
    EXPECT_EQ(frames, 882 + 882 - 1);
}
