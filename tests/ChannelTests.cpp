#include "EngineDriver.h"
#include "InstrumentVoice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace
{
int countVoicesOnNote(const EngineDriver& engine, int note)
{
    const auto voices = engine.activeVoices();
    return (int)std::count_if(voices.begin(), voices.end(), [note](auto* v) { return v->getNote() == note; });
}
} // namespace

TEST(Channel, FreedVoiceIsTheNextOneTaken)
{
    EngineDriver engine;
    EXPECT_EQ(engine.channel.getFreeVoiceCount(), InstrumentChannel::voiceCount);

    engine.noteOn(60);
    engine.noteOn(64);
    engine.block(1);
    auto* first = engine.voiceFor(60);
    auto* second = engine.voiceFor(64);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(engine.channel.getActiveHead(), second) << "the newest voice heads the active list";

    engine.noteOff(60);
    engine.run(200000); // far past the default release
    EXPECT_EQ(engine.channel.getActiveVoiceCount(), 1);
    EXPECT_TRUE(first->isInFreeList());

    engine.noteOn(67);
    engine.block(1);
    EXPECT_EQ(engine.voiceFor(67), first) << "the free list hands out the most recently freed voice";
}

TEST(Channel, TwentyFifthNoteStealsTheOldestReleasedVoice)
{
    EngineDriver engine;
    for (int i = 0; i < 24; ++i)
        engine.noteOn(40 + i);
    engine.block(64);
    auto* released45 = engine.voiceFor(45);
    engine.noteOff(45);
    engine.block(64);
    engine.noteOff(50);
    engine.block(64);
    ASSERT_EQ(engine.channel.getFreeVoiceCount(), 0);

    engine.noteOn(70);
    engine.block(1);
    EXPECT_EQ(engine.voiceFor(70), released45) << "the oldest voice in its release is stolen first";
    EXPECT_TRUE(released45->isKeyDown());
    EXPECT_EQ(countVoicesOnNote(engine, 50), 1) << "the younger released voice keeps sounding";
}

TEST(Channel, WithAllKeysHeldTheOldestHeldVoiceIsReleasedAndRestarted)
{
    EngineDriver engine;
    for (int i = 0; i < 24; ++i)
    {
        engine.noteOn(40 + i);
        engine.block(2);
    }
    auto* oldest = engine.voiceFor(40);
    engine.noteOn(80);
    engine.block(1);

    EXPECT_EQ(engine.voiceFor(80), oldest);
    EXPECT_EQ(engine.voiceFor(40), nullptr);
    EXPECT_TRUE(oldest->isKeyDown());
    EXPECT_EQ(oldest->getNote(), 80);
    EXPECT_EQ(engine.channel.getActiveVoiceCount(), 24);
    const auto& envelope = static_cast<InstrumentVoice*>(oldest)->getAmpEnvelope();
    EXPECT_EQ(envelope.getState(), AdsrEnvelope::State::attack) << "restarted from the attack";

    // Its old key's release now finds nothing to release.
    engine.noteOff(40);
    engine.block(1);
    EXPECT_TRUE(oldest->isKeyDown());
}

TEST(Channel, SameNoteWhileHeldDoesNothingWhileReleasingTakesAnotherVoice)
{
    EngineDriver engine;
    engine.noteOn(60);
    engine.block(500);
    auto* voice = static_cast<InstrumentVoice*>(engine.voiceFor(60));
    const float levelBefore = voice->getAmpEnvelope().getLevel();

    engine.noteOn(60);
    engine.block(1);
    EXPECT_EQ(engine.channel.getActiveVoiceCount(), 1);
    EXPECT_GT(voice->getAmpEnvelope().getLevel(), levelBefore) << "the attack was not restarted";

    engine.noteOff(60);
    engine.block(1);
    engine.noteOn(60);
    engine.block(1);
    EXPECT_EQ(countVoicesOnNote(engine, 60), 2);
    EXPECT_NE(engine.voiceFor(60), voice);
    EXPECT_FALSE(voice->isKeyDown());
}

TEST(Channel, SustainPedalHoldsReleasedKeysAndDropsDuplicatesWhenLifted)
{
    EngineDriver engine;
    engine.pedal(true);
    engine.noteOn(60);
    engine.noteOn(64);
    engine.block(10);
    auto* held = engine.voiceFor(64);
    engine.noteOff(64);
    engine.block(10);
    EXPECT_TRUE(held->isKeyDown()) << "the pedal holds a released key";

    // Strike 60 again with the pedal down: its first voice is released by the pedal's rule only.
    auto* first60 = engine.voiceFor(60);
    engine.noteOff(60);
    engine.block(10);
    engine.noteOn(60);
    engine.block(10);
    auto* second60 = engine.voiceFor(60);
    ASSERT_NE(second60, first60);
    EXPECT_EQ(countVoicesOnNote(engine, 60), 2);

    engine.pedal(false);
    engine.block(1);
    EXPECT_FALSE(held->isKeyDown()) << "a key released under the pedal is released when it lifts";
    EXPECT_FALSE(first60->isKeyDown()) << "the older duplicate is released";
    EXPECT_TRUE(second60->isKeyDown()) << "the voice whose key is down keeps playing";
}

TEST(Channel, QueueHoldsAtMost4096EventsPerBlock)
{
    EngineDriver engine;
    for (int i = 0; i < SynthBase::Channel::eventCapacity + 1; ++i)
        engine.midi(0xE0, 0, 64, 0);
    EXPECT_EQ(engine.channel.getQueuedEventCount(), SynthBase::Channel::eventCapacity);
    engine.block(1);
    EXPECT_EQ(engine.channel.getQueuedEventCount(), 0);
}

TEST(Channel, EventsAreDispatchedAtTheirFrameInArrivalOrder)
{
    EngineDriver engine;
    engine.noteOn(60, 100, 10);
    engine.noteOn(64, 100, 10);
    engine.noteOn(67, 100, 10);
    engine.noteOff(67, 10); // same frame as its note-on: started, then released before it sounded
    engine.noteOn(72, 100, 3);
    engine.channel.beginBlock(0);
    float out[2];
    for (int f = 0; f < 10; ++f)
        engine.channel.renderFrame(f, out);
    EXPECT_EQ(engine.channel.getActiveVoiceCount(), 1) << "only the frame-3 note has started";
    engine.channel.renderFrame(10, out);
    EXPECT_EQ(engine.channel.getActiveVoiceCount(), 3) << "a release from level 0 ends at once";
    EXPECT_TRUE(engine.voiceFor(60)->isKeyDown());
    EXPECT_TRUE(engine.voiceFor(64)->isKeyDown());
    EXPECT_EQ(engine.voiceFor(67), nullptr) << "the note-off followed its note-on";
}

TEST(Channel, EventsOutsideTheRenderedFramesAreDiscardedAtTheNextBlock)
{
    EngineDriver engine;
    engine.noteOn(60, 100, 5000);
    engine.block(100);
    engine.block(6000);
    EXPECT_EQ(engine.channel.getActiveVoiceCount(), 0);
}

TEST(Channel, PitchBendMapping)
{
    struct Case
    {
        int data1;
        int data2;
        double expected;
    };
    for (const auto& c : {Case{0, 64, 0.00006103515625}, Case{127, 127, 1.0}, Case{0, 0, -1.0}})
    {
        EngineDriver engine;
        engine.midi(0xE3, c.data1, c.data2);
        engine.block(1);
        EXPECT_EQ(engine.channel.getPitchBend(), c.expected) << c.data1 << "," << c.data2;
    }
}

TEST(Channel, RampsAreReAimedEveryBlock)
{
    EngineDriver engine;
    auto& channel = engine.channel;
    const float seconds = 2.0f * 512.0f / 44100.0f; // one 512-sample block at 44.1 kHz
    const float frames = 88200.0f * seconds;        // 2048 frames: two blocks of engine frames

    channel.setParameterNormalisedRamped(0, 1.0f, seconds);
    EXPECT_FLOAT_EQ(channel.getParameterTarget(0), 1.0f);
    EXPECT_FLOAT_EQ(channel.getParameterCurrent(0), 0.7f) << "the smoothed value moves only while rendering";
    engine.block(1024);
    EXPECT_NEAR(channel.getParameterCurrent(0), 0.7f + 0.3f * 1024.0f / frames, 1e-4);

    const float reached = channel.getParameterCurrent(0);
    channel.setParameterNormalisedRamped(0, 0.0f, seconds);
    engine.block(1024);
    EXPECT_NEAR(channel.getParameterCurrent(0), reached * 0.5f, 1e-4)
        << "the new ramp starts where the old one was";
    engine.block(1100);
    EXPECT_EQ(channel.getParameterCurrent(0), 0.0f) << "the ramp stops exactly on its target";
    EXPECT_EQ(channel.getParameterRecord(0).rampActive, 0);
}

TEST(Channel, RampOfNoLengthSetsTheValueAtOnce)
{
    EngineDriver engine;
    engine.channel.setParameterNormalisedRamped(0, 0.25f, 0.0f);
    EXPECT_EQ(engine.channel.getParameterCurrent(0), 0.25f);
    engine.block(4);
    EXPECT_EQ(engine.channel.getParameterCurrent(0), 0.25f);
}

TEST(Channel, InvalidDataBytesAndOutOfRangeNotesAreIgnored)
{
    EngineDriver engine;
    engine.midi(0x90, 200, 100);
    engine.midi(0x90, 60, 255);
    engine.channel.noteOn(0, 128, 0, true, 1.0f);
    engine.channel.noteOn(0, -1, 0, true, 1.0f);
    EXPECT_EQ(engine.channel.getQueuedEventCount(), 0);
}

TEST(Channel, AllNotesOffReleasesEveryKeyAtItsFrameAndThePedalKeepsItsHold)
{
    for (const bool pedalDown : {false, true})
    {
        EngineDriver engine;
        engine.pedal(pedalDown);
        engine.noteOn(60);
        engine.noteOn(64);
        engine.noteOn(67);
        engine.block(100);
        engine.noteOff(67); // without the pedal: already releasing; with it: held by the pedal
        engine.block(100);
        const auto voices = engine.activeVoices();
        ASSERT_EQ(voices.size(), 3u);
        std::vector<float> targets;
        for (int i = 0; i < engine.channel.getNumParameters(); ++i)
            targets.push_back(engine.channel.getParameterNormalised(i));

        engine.midi(0xB5, 123, 0, 10);
        engine.channel.beginBlock(0);
        float out[2];
        for (int f = 0; f < 10; ++f)
            engine.channel.renderFrame(f, out);
        EXPECT_TRUE(engine.voiceFor(60)->isKeyDown()) << "nothing happens before the message's frame";
        engine.channel.renderFrame(10, out);

        EXPECT_EQ(engine.voiceFor(60), nullptr);
        EXPECT_EQ(engine.voiceFor(64), nullptr);
        EXPECT_EQ(engine.channel.getActiveVoiceCount(), 3) << "released voices play their release";
        for (auto* voice : voices)
            EXPECT_EQ(voice->isKeyDown(), pedalDown)
                << "pedal " << pedalDown << ", note " << voice->getNote();
        for (int i = 0; i < engine.channel.getNumParameters(); ++i)
            EXPECT_EQ(engine.channel.getParameterNormalised(i), targets[(size_t)i]) << i;

        if (pedalDown)
        {
            engine.pedal(false);
            engine.block(1);
            for (auto* voice : voices)
                EXPECT_FALSE(voice->isKeyDown()) << "lifting the pedal releases what it held";
        }
    }
}

TEST(Channel, AllSoundOffFreesEveryVoiceAtOnceAndTheVoicesStartCleanAgain)
{
    EngineDriver engine;
    engine.channel.setParameterNormalised(ParameterIndex::delayMix, 0.0f);
    engine.channel.setParameterNormalised(ParameterIndex::chorus, 0.0f);
    engine.pedal(true);
    for (int i = 0; i < 30; ++i) // more notes than voices: some were stolen
        engine.noteOn(40 + i);
    engine.block(200);
    engine.noteOff(45);
    engine.noteOff(69);
    engine.block(200);
    ASSERT_EQ(engine.channel.getFreeVoiceCount(), 0);

    engine.midi(0xB0, 120, 0);
    engine.block(1);
    EXPECT_EQ(engine.channel.getActiveVoiceCount(), 0);
    EXPECT_EQ(engine.channel.getFreeVoiceCount(), InstrumentChannel::voiceCount);
    for (int note = 0; note < SynthBase::Channel::noteSlots; ++note)
        EXPECT_EQ(engine.voiceFor(note), nullptr) << note;
    engine.left.clear();
    engine.block(2000);
    // The chorus line lags its input by a frame even at no depth.
    for (size_t f = 2; f < engine.left.size(); ++f)
        ASSERT_EQ(engine.left[f], 0.0f) << "silent at once, frame " << f;

    // A note played afterwards sounds exactly as on a fresh channel.
    EngineDriver fresh;
    fresh.channel.setParameterNormalised(ParameterIndex::delayMix, 0.0f);
    fresh.channel.setParameterNormalised(ParameterIndex::chorus, 0.0f);
    fresh.pedal(true);
    for (auto* driver : {&engine, &fresh})
    {
        driver->left.clear();
        driver->noteOn(60);
        driver->block(3000);
    }
    EXPECT_EQ(engine.left, fresh.left);
    EXPECT_EQ(engine.channel.getActiveVoiceCount(), 1);
}

TEST(Channel, RunsOfFramesRenderLikeTheReferencePathUnderRandomPlaying)
{
    // The optimised path renders runs of frames between events at once; events at any frame,
    // voices that end or change envelope segment inside a run, the pedal, bend, wheel and ramping
    // parameters must not move a sample. Short envelopes make voices end often.
    EngineDriver fast;
    EngineDriver slow;
    slow.channel.setReferencePath(true);
    std::mt19937 random(20261211);
    const auto uniform = [&random](int low, int high)
    { return std::uniform_int_distribution<int>(low, high)(random); };
    for (auto* engine : {&fast, &slow})
    {
        engine->channel.setParameterNormalised(ParameterIndex::adsrAttack, 0.05f);
        engine->channel.setParameterNormalised(ParameterIndex::adsrDecay, 0.1f);
        engine->channel.setParameterNormalised(ParameterIndex::adsrRelease, 0.05f);
    }

    for (int block = 0; block < 120; ++block)
    {
        const int frames = uniform(1, 700);
        std::vector<std::array<int, 4>> events; // status, data1, data2, frame
        for (int n = uniform(0, 6); n > 0; --n)
        {
            const int frame = uniform(0, frames - 1);
            switch (uniform(0, 6))
            {
            case 0:
            case 1:
                events.push_back({0x90, uniform(30, 90), uniform(1, 127), frame});
                break;
            case 6:
            {
                // Released before it sounds: a release from level 0.
                const int note = uniform(30, 90);
                events.push_back({0x90, note, uniform(1, 127), frame});
                events.push_back({0x80, note, 0, frame});
                break;
            }
            case 2:
                events.push_back({0x80, uniform(30, 90), 0, frame});
                break;
            case 3:
                events.push_back({0xB0, 64, uniform(0, 1) * 127, frame});
                break;
            case 4:
                events.push_back({0xE0, 0, uniform(0, 127), frame});
                break;
            default:
                events.push_back({0xB0, 1, uniform(0, 127), frame});
                break;
            }
        }
        const int parameter = uniform(0, instrumentParameterCount - 1);
        const float value = (float)uniform(0, 100) / 100.0f;
        const bool ramp = block % 3 == 0;
        for (auto* engine : {&fast, &slow})
        {
            for (const auto& e : events)
                engine->midi(e[0], e[1], e[2], e[3]);
            if (ramp)
                engine->channel.setParameterNormalisedRamped(parameter, value, 0.01f);
            engine->block(frames);
        }
    }

    ASSERT_EQ(fast.left.size(), slow.left.size());
    for (size_t i = 0; i < fast.left.size(); ++i)
    {
        ASSERT_NEAR(fast.left[i], slow.left[i], 1.0e-6f) << "frame " << i;
        ASSERT_NEAR(fast.right[i], slow.right[i], 1.0e-6f) << "frame " << i;
    }
}
