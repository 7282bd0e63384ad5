#include "InstrumentParameters.h"
#include "PresetFileFormat.h"
#include "RenderCommand.h"
#include "SupportFolders.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

namespace
{
struct CommandResult
{
    int exitCode;
    std::string out;
    std::string err;
};

CommandResult run(std::vector<std::string> arguments)
{
    std::ostringstream out;
    std::ostringstream err;
    const int code = runRenderCommand(arguments, out, err);
    return {code, out.str(), err.str()};
}

std::unique_ptr<juce::AudioFormatReader> openWav(const juce::File& file)
{
    juce::WavAudioFormat format;
    return std::unique_ptr<juce::AudioFormatReader>(
        format.createReaderFor(file.createInputStream().release(), true));
}

juce::AudioBuffer<float> readWav(const juce::File& file)
{
    auto reader = openWav(file);
    juce::AudioBuffer<float> buffer((int)reader->numChannels, (int)reader->lengthInSamples);
    reader->read(&buffer, 0, buffer.getNumSamples(), 0, true, true);
    return buffer;
}

int countLines(const std::string& text)
{
    return (int)std::count(text.begin(), text.end(), '\n');
}

// A type-1 file at 100 BPM: a tempo track and a note track with one note on beat 2 (0.6 s).
juce::File writeMidiFile(const juce::File& folder)
{
    juce::MidiMessageSequence tempoTrack;
    tempoTrack.addEvent(juce::MidiMessage::tempoMetaEvent(600000), 0.0);
    juce::MidiMessageSequence noteTrack;
    noteTrack.addEvent(juce::MidiMessage::noteOn(3, 69, (juce::uint8)100), 960.0);
    noteTrack.addEvent(juce::MidiMessage::noteOff(3, 69), 1440.0);
    noteTrack.addEvent(juce::MidiMessage::controllerEvent(3, 7, 127), 1440.0);
    juce::MidiFile file;
    file.setTicksPerQuarterNote(960);
    file.addTrack(tempoTrack);
    file.addTrack(noteTrack);
    const auto path = folder.getChildFile("one-note.mid");
    juce::FileOutputStream stream(path);
    file.writeTo(stream, 1);
    return path;
}

class RenderTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::createTempFile("orvelund-render-test");
        ASSERT_TRUE(folder.createDirectory());
    }
    void TearDown() override { folder.deleteRecursively(); }

    juce::File folder;
};
} // namespace

TEST_F(RenderTool, DemoIsStereoSoundingAndUnclipped)
{
    const auto output = folder.getChildFile("demo.wav");
    const auto result = run({"--demo", output.getFullPathName().toStdString()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto reader = openWav(output);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->numChannels, 2u);
    EXPECT_EQ(reader->sampleRate, 44100.0);
    EXPECT_EQ(reader->bitsPerSample, 32u);
    EXPECT_TRUE(reader->usesFloatingPointData);

    const auto audio = readWav(output);
    const float peak = juce::jmax(audio.getMagnitude(0, 0, audio.getNumSamples()),
                                  audio.getMagnitude(1, 0, audio.getNumSamples()));
    EXPECT_GT(peak, 0.2f);
    EXPECT_LE(peak, 1.0f);
    EXPECT_GT(audio.getRMSLevel(0, 0, audio.getNumSamples()), 0.02f);
}

TEST_F(RenderTool, MidiFileNotesSoundWhereTheFileSaysAndTheTailFollows)
{
    const auto input = writeMidiFile(folder);
    const auto output = folder.getChildFile("note.wav");
    const auto result = run({"--tail", "1", "--bits", "24", "--set", "28=0",
                             input.getFullPathName().toStdString(), output.getFullPathName().toStdString()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto audio = readWav(output);

    // The last event sits at 0.9 s (1440 ticks at 100 BPM); one second of tail follows it.
    EXPECT_EQ(audio.getNumSamples(), 39690 + 1 + 44100);
    const int onset = 26460; // 0.6 s
    EXPECT_EQ(audio.getMagnitude(0, 0, onset), 0.0f) << "silence before the note";
    EXPECT_GT(audio.getMagnitude(0, onset, 64), 0.0f) << "sound within the chorus delay of the onset";
    EXPECT_GT(audio.getMagnitude(0, 39690 + 4410, 4410), 0.0f) << "the release tail after the note-off";
    EXPECT_EQ(audio.getMagnitude(0, audio.getNumSamples() - 4410, 4410), 0.0f) << "silence at the end";
}

TEST_F(RenderTool, DelayEchoesAtTheParameterTempoWithoutPlayHead)
{
    const auto input = writeMidiFile(folder);
    const auto output = folder.getChildFile("echo.wav");
    // Delay sync on but no play head: the "Delay Tempo" parameter (60 + 180 * 0.3333 = 120 BPM)
    // with note value index 4 (half a beat, 0.25 s) applies.
    const auto result = run({"--no-playhead", "--set", "30=1", "--set", "24=0.33333334", "--set", "29=0.8",
                             "--set", "28=1", "--set", "8=0", "--set", "7=0",
                             input.getFullPathName().toStdString(), output.getFullPathName().toStdString()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto audio = readWav(output);
    const int onset = 26460;
    const int echo = onset + 11025;
    const float note = audio.getMagnitude(0, onset, 2000);
    const float between = audio.getMagnitude(0, echo - 6000, 4000);
    const float echoed = audio.getMagnitude(0, echo, 2000);
    EXPECT_GT(echoed, 10.0f * between) << "an echo 0.25 s after the note";
    EXPECT_GT(note, between);
}

TEST_F(RenderTool, BadInputGivesOneLineAndNoFile)
{
    const auto output = folder.getChildFile("out.wav");
    const auto outputPath = output.getFullPathName().toStdString();
    const auto notMidi = folder.getChildFile("not.mid");
    notMidi.replaceWithText("this is not a MIDI file");
    const auto badState = folder.getChildFile("state.bin");
    badState.replaceWithText("short");

    struct Case
    {
        std::vector<std::string> arguments;
        int exitCode;
    };
    const Case cases[] = {
        {{"--rate"}, 2},
        {{"--rate", "abc", "--demo", outputPath}, 2},
        {{"--bits", "12", "--demo", outputPath}, 2},
        {{"--set", "31=0.5", "--demo", outputPath}, 2},
        {{"--set", "3=1.5", "--demo", outputPath}, 2},
        {{"--frobnicate", "--demo", outputPath}, 2},
        {{"--demo"}, 2},
        {{outputPath}, 2},
        {{folder.getChildFile("missing.mid").getFullPathName().toStdString(), outputPath}, 1},
        {{notMidi.getFullPathName().toStdString(), outputPath}, 1},
        {{"--state", badState.getFullPathName().toStdString(), "--demo", outputPath}, 1},
        {{"--demo", folder.getChildFile("no/such/folder/out.wav").getFullPathName().toStdString()}, 1},
        {{"--demo", folder.getFullPathName().toStdString()}, 1},
    };
    for (const auto& c : cases)
    {
        const auto result = run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_EQ(countLines(result.err), 1) << result.err;
        EXPECT_EQ(result.err.rfind("orvelund-render: ", 0), 0u) << result.err;
        EXPECT_FALSE(output.exists());
    }
    EXPECT_EQ(folder.getNumberOfChildFiles(juce::File::findFiles), 2) << "no temporary files left behind";
}

TEST_F(RenderTool, StateFileAndMonoOutput)
{
    // A headerless 124-byte block and a 140-byte preset file set the same values.
    juce::MemoryBlock block;
    for (int i = 0; i < 31; ++i)
    {
        const float value = i == 0 ? 1.0f : 0.5f;
        block.append(&value, sizeof value);
    }
    const auto stateFile = folder.getChildFile("state.bin");
    stateFile.replaceWithData(block.getData(), block.getSize());

    const auto output = folder.getChildFile("mono.wav");
    const auto result =
        run({"--demo", "--mono", "--rate", "48000", "--block", "100", "--state",
             stateFile.getFullPathName().toStdString(), output.getFullPathName().toStdString()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto reader = openWav(output);
    EXPECT_EQ(reader->numChannels, 1u);
    EXPECT_EQ(reader->sampleRate, 48000.0);
}

TEST_F(RenderTool, HelpPrintsUsage)
{
    const auto result = run({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("usage: orvelund-render"), std::string::npos);
}

TEST_F(RenderTool, PresetsAreListedAndRenderedByCategoryAndName)
{
    // A user preset in this test run's own home (the tests run with HOME and XDG_CONFIG_HOME
    // inside the build tree), with the volume at 0 so that its effect is plain.
    const auto userPresets = SupportFolders::forProduct("Orvelund").userFolder.getChildFile("User Presets");
    const auto presetFile = userPresets.getChildFile("Render Test Silence.orvelundpreset");
    juce::MemoryBlock payload;
    for (int i = 0; i < 31; ++i)
    {
        const float value = i == 0 ? 0.0f : instrumentParameters[(size_t)i].defaultValue;
        payload.append(&value, sizeof value);
    }
    userPresets.createDirectory();
    const auto file = PresetFileFormat::encodePresetFile(payload);
    ASSERT_TRUE(presetFile.replaceWithData(file.getData(), file.getSize()));
    const juce::ScopeGuard removePreset{[&presetFile] { presetFile.deleteFile(); }};

    const auto listing = run({"--list-presets"});
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_NE(listing.out.find("User Presets\n  Render Test Silence\n"), std::string::npos) << listing.out;

    const auto output = folder.getChildFile("preset.wav");
    const auto rendered = run(
        {"--demo", "--preset", "User Presets/Render Test Silence", output.getFullPathName().toStdString()});
    ASSERT_EQ(rendered.exitCode, 0) << rendered.err;
    const auto audio = readWav(output);
    EXPECT_EQ(audio.getMagnitude(0, 0, audio.getNumSamples()), 0.0f) << "the preset's volume of 0 applied";

    for (const char* bad : {"User Presets/No Such Preset", "No Category/INIT", "no-slash"})
    {
        const auto result = run({"--demo", "--preset", bad, output.getFullPathName().toStdString()});
        EXPECT_NE(result.exitCode, 0) << bad;
        EXPECT_EQ(countLines(result.err), 1) << result.err;
    }
}

namespace
{
// One Standard MIDI File chunk: its four-letter type, a big-endian length and the body.
juce::MemoryBlock chunk(const char* type, const std::vector<uint8_t>& body, uint32_t claimedLength = 0)
{
    juce::MemoryBlock block(type, 4);
    const uint32_t length = claimedLength != 0 ? claimedLength : (uint32_t)body.size();
    const uint8_t bigEndian[4] = {(uint8_t)(length >> 24), (uint8_t)(length >> 16), (uint8_t)(length >> 8),
                                  (uint8_t)length};
    block.append(bigEndian, 4);
    block.append(body.data(), body.size());
    return block;
}

juce::MemoryBlock header(int tracks = 1)
{
    return chunk("MThd", {0, 1, 0, (uint8_t)tracks, 0x01, 0xe0});
}
} // namespace

TEST_F(RenderTool, BadFilesAndArgumentsNeverCrashOrLeaveAPartialFile)
{
    // Every input either renders a readable WAV or fails with one line and writes nothing.
    const auto output = folder.getChildFile("fuzzed.wav");
    const auto outputPath = output.getFullPathName().toStdString();
    const auto input = folder.getChildFile("input.mid");
    const auto inputPath = input.getFullPathName().toStdString();
    const auto check = [&](const std::vector<std::string>& arguments, const std::string& what)
    {
        output.deleteFile();
        const auto result = run(arguments);
        if (result.exitCode == 0)
        {
            // Random arguments may name another output; the expected one must then be whole.
            if (output.exists())
            {
                // A file without notes and no tail is a WAV of no samples.
                EXPECT_NE(openWav(output), nullptr) << what;
            }
        }
        else
        {
            EXPECT_EQ(countLines(result.err), 1) << what << ": " << result.err;
            EXPECT_EQ(result.err.rfind("orvelund-render: ", 0), 0u) << what << ": " << result.err;
            EXPECT_FALSE(output.exists()) << what;
        }
        for (const auto& entry : juce::RangedDirectoryIterator(folder, false, "*_temp*"))
            ADD_FAILURE() << what << ": left " << entry.getFile().getFileName();
    };

    const auto valid = writeMidiFile(folder);
    juce::MemoryBlock original;
    ASSERT_TRUE(valid.loadFileAsData(original));

    // Every truncation of a valid file.
    for (size_t length = 0; length < original.getSize(); ++length)
    {
        input.replaceWithData(original.getData(), length);
        check({"--tail", "0", inputPath, outputPath}, "truncated to " + std::to_string(length));
    }

    // Seeded corruptions: a few bytes of the valid file overwritten.
    std::mt19937 random{31337u};
    std::uniform_int_distribution<size_t> where(0, original.getSize() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 60; ++round)
    {
        juce::MemoryBlock corrupt(original);
        for (int k = 0; k < 1 + round % 4; ++k)
            corrupt[where(random)] = (char)byte(random);
        input.replaceWithData(corrupt.getData(), corrupt.getSize());
        // A corrupt delta time can make a file that lasts minutes or hours; rendering that is
        // right but slow, and the refusal of files beyond the limit is checked below.
        juce::MidiFile parsed;
        juce::MemoryInputStream stream(corrupt, false);
        if (parsed.readFrom(stream, false))
        {
            parsed.convertTimestampTicksToSeconds();
            if (parsed.getLastTimestamp() > 30.0)
                continue;
        }
        check({"--tail", "0", inputPath, outputPath}, "corruption " + std::to_string(round));
    }

    // Huge: a track claiming four gigabytes, a delta time of years at the slowest tempo, and a
    // file of many thousands of events.
    {
        auto file = header();
        file.append(chunk("MTrk", {0x00, 0x90, 60, 100}, 0xfffffff0u).getData(), 12);
        input.replaceWithData(file.getData(), file.getSize());
        check({inputPath, outputPath}, "track longer than the file");
    }
    {
        auto file = header();
        const auto track = chunk("MTrk", {0x00, 0xff, 0x51, 0x03, 0xff, 0xff, 0xff, 0x8f, 0xff, 0xff, 0x7f,
                                          0x90, 60, 100, 0x00, 0xff, 0x2f, 0x00});
        file.append(track.getData(), track.getSize());
        input.replaceWithData(file.getData(), file.getSize());
        const auto result = run({inputPath, outputPath});
        EXPECT_EQ(result.exitCode, 1) << "a file lasting days is refused before rendering";
        EXPECT_NE(result.err.find("longer than"), std::string::npos) << result.err;
        EXPECT_FALSE(output.exists());
    }
    {
        std::vector<uint8_t> body;
        for (int i = 0; i < 60000; ++i)
        {
            const uint8_t note = (uint8_t)(i % 128);
            body.insert(body.end(), {0x00, (uint8_t)(i % 2 == 0 ? 0x90 : 0x80), note, 100});
        }
        body.insert(body.end(), {0x00, 0xff, 0x2f, 0x00});
        auto file = header();
        const auto track = chunk("MTrk", body);
        file.append(track.getData(), track.getSize());
        input.replaceWithData(file.getData(), file.getSize());
        check({"--tail", "0.1", inputPath, outputPath}, "sixty thousand events at once");
    }

    // Missing files, outputs that cannot be written, and nonsense options in seeded mixtures.
    const auto aFile = folder.getChildFile("plain.txt");
    aFile.replaceWithText("x");
    const std::vector<std::string> vocabulary{
        "--rate",
        "--block",
        "--bits",
        "--tail",
        "--set",
        "--state",
        "--preset",
        "--bpm",
        "--mono",
        "--demo",
        "-x",
        "",
        "0",
        "-1",
        "1e400",
        "nan",
        "65537",
        "3=",
        "=0.5",
        "31=1",
        "LEADS/INIT",
        "/",
        "--",
        inputPath,
        outputPath,
        folder.getChildFile("missing.mid").getFullPathName().toStdString(),
        aFile.getFullPathName().toStdString() + "/out.wav",
        folder.getFullPathName().toStdString()};
    std::uniform_int_distribution<size_t> pick(0, vocabulary.size() - 1);
    std::uniform_int_distribution<int> count(0, 6);
    input.replaceWithData(original.getData(), original.getSize());
    for (int round = 0; round < 80; ++round)
    {
        std::vector<std::string> arguments;
        const int n = count(random);
        for (int k = 0; k < n; ++k)
            arguments.push_back(vocabulary[pick(random)]);
        std::string joined;
        for (const auto& argument : arguments)
            joined += argument + " ";
        arguments.insert(arguments.begin(), {"--tail", "0"}); // keeps the renders that succeed short
        check(arguments, "arguments: " + joined);
    }
}
