#include "RenderCommand.h"

#include "DemoPhrase.h"
#include "HostRenderer.h"
#include "MidiFileLoader.h"
#include "OrvelundAudioProcessor.h"
#include "ParameterBlock.h"
#include "PresetFileFormat.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <charconv>
#include <cmath>
#include <optional>

namespace
{
constexpr const char* usage = R"(usage: orvelund-render [options] INPUT.mid OUTPUT.wav
       orvelund-render --demo [options] OUTPUT.wav
       orvelund-render --list-presets

Plays a Standard MIDI File through the Orvelund instrument and writes a WAV file.

options:
  --rate HZ          host sample rate (default 44100)
  --block N          host block size in samples (default 512)
  --mono             render to a mono output bus instead of stereo
  --bpm BPM          the play head reports this tempo (default: the file's first tempo, or 120)
  --no-playhead      render without a play head
  --state FILE       load a 124-byte parameter block or a preset file before rendering
  --set INDEX=VALUE  set parameter INDEX (0..30) to the normalised VALUE (0..1) afterwards;
                     may be given more than once
  --tail SECONDS     render this long after the last event (default 2)
  --bits 16|24|32    sample format: 16- or 24-bit integer, 32-bit float (default 32)
  --preset CAT/NAME  load a factory or user preset by category and preset name, as
                     --list-presets shows them
  --list-presets     print the preset categories and their presets, in order, and exit
  --demo             render the built-in demo phrase instead of INPUT.mid
  --help             show this text
)";

struct UsageError
{
    std::string message;
};

struct RenderError
{
    std::string message;
};

struct Options
{
    RenderSettings settings;
    std::optional<double> bpm;
    bool noPlayHead = false;
    std::optional<std::string> stateFile;
    std::optional<std::string> preset;
    bool listPresets = false;
    std::vector<std::pair<int, float>> sets;
    double tailSeconds = 2.0;
    int bits = 32;
    bool demo = false;
    bool help = false;
    std::string input;
    std::string output;
};

double parseNumber(const std::string& option, const std::string& text, double low, double high)
{
    double value = 0.0;
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value) || value < low || value > high)
        throw UsageError{option + " needs a number from " + juce::String(low).toStdString() + " to " +
                         juce::String(high).toStdString() + ", not '" + text + "'"};
    return value;
}

int parseInteger(const std::string& option, const std::string& text, int low, int high)
{
    int value = 0;
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end || value < low || value > high)
        throw UsageError{option + " needs a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'"};
    return value;
}

Options parseOptions(const std::vector<std::string>& arguments)
{
    Options options;
    std::vector<std::string> positional;
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        const auto& argument = arguments[i];
        const auto value = [&]() -> const std::string&
        {
            if (i + 1 >= arguments.size())
                throw UsageError{argument + " needs a value"};
            return arguments[++i];
        };

        if (argument == "--help" || argument == "-h")
            options.help = true;
        else if (argument == "--rate")
            options.settings.sampleRate = parseNumber(argument, value(), 8000.0, 384000.0);
        else if (argument == "--block")
            options.settings.blockSize = parseInteger(argument, value(), 1, 65536);
        else if (argument == "--mono")
            options.settings.mono = true;
        else if (argument == "--bpm")
            options.bpm = parseNumber(argument, value(), 1.0, 1000.0);
        else if (argument == "--no-playhead")
            options.noPlayHead = true;
        else if (argument == "--state")
            options.stateFile = value();
        else if (argument == "--preset")
            options.preset = value();
        else if (argument == "--list-presets")
            options.listPresets = true;
        else if (argument == "--set")
        {
            const auto& text = value();
            const auto equals = text.find('=');
            if (equals == std::string::npos)
                throw UsageError{"--set needs INDEX=VALUE, not '" + text + "'"};
            const int index = parseInteger("--set INDEX", text.substr(0, equals), 0,
                                           OrvelundAudioProcessor::parameterCount - 1);
            const auto normalised = (float)parseNumber("--set VALUE", text.substr(equals + 1), 0.0, 1.0);
            options.sets.emplace_back(index, normalised);
        }
        else if (argument == "--tail")
            options.tailSeconds = parseNumber(argument, value(), 0.0, 3600.0);
        else if (argument == "--bits")
        {
            options.bits = parseInteger(argument, value(), 16, 32);
            if (options.bits != 16 && options.bits != 24 && options.bits != 32)
                throw UsageError{"--bits must be 16, 24 or 32"};
        }
        else if (argument == "--demo")
            options.demo = true;
        else if (argument.size() > 1 && argument[0] == '-')
            throw UsageError{"unknown option '" + argument + "'"};
        else
            positional.push_back(argument);
    }

    if (options.help || options.listPresets)
        return options;
    if (options.stateFile && options.preset)
        throw UsageError{"--state and --preset exclude each other"};
    if (options.noPlayHead && options.bpm)
        throw UsageError{"--bpm and --no-playhead exclude each other"};

    const size_t expected = options.demo ? 1 : 2;
    if (positional.size() != expected)
        throw UsageError{options.demo ? "--demo needs exactly one argument, OUTPUT.wav"
                                      : "expected INPUT.mid and OUTPUT.wav"};
    if (!options.demo)
        options.input = positional[0];
    options.output = positional.back();
    return options;
}

juce::File fileFromArgument(const std::string& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile(juce::String(path));
}

void loadStateFile(OrvelundAudioProcessor& processor, const std::string& path)
{
    const auto file = fileFromArgument(path);
    juce::MemoryBlock data;
    // Parameter blocks and presets are tiny: anything large is not one.
    if (!file.existsAsFile() || file.getSize() > 4096 || !file.loadFileAsData(data))
        throw RenderError{"cannot read state file " + file.getFullPathName().quoted().toStdString()};
    const auto payload =
        PresetFileFormat::decodePresetData(data.getData(), data.getSize(), processor.getLegacyPresetSize());
    if (!payload)
        throw RenderError{file.getFileName().quoted().toStdString() +
                          " is neither a 124-byte parameter block nor a preset file"};
    processor.readState(payload->getData(), (int)payload->getSize(), true);
}

void loadPreset(OrvelundAudioProcessor& processor, const std::string& categoryAndName)
{
    const juce::String text(categoryAndName);
    const auto slash = text.indexOfChar('/');
    if (slash < 0)
        throw UsageError{"--preset needs CATEGORY/NAME, not '" + categoryAndName + "'"};
    const auto categoryName = text.substring(0, slash);
    const auto presetName = text.substring(slash + 1);

    const auto& store = processor.getPresetStore();
    for (const auto& category : store.getCategories())
    {
        if (category.displayName != categoryName)
            continue;
        for (const auto& preset : category.presets)
        {
            if (preset.name != presetName)
                continue;
            const auto payload = store.readPresetFile(juce::File(preset.path));
            if (!payload)
                throw RenderError{"cannot read preset file " + preset.path.quoted().toStdString()};
            processor.readState(payload->getData(), (int)payload->getSize(), true);
            return;
        }
    }
    throw RenderError{"no preset '" + categoryAndName + "' (see --list-presets)"};
}

void listPresets(std::ostream& out)
{
    OrvelundAudioProcessor processor;
    for (const auto& category : processor.getPresetStore().getCategories())
    {
        out << category.displayName << "\n";
        for (const auto& preset : category.presets)
            out << "  " << preset.name << "\n";
    }
}

class WavSink
{
public:
    WavSink(const juce::File& target, double sampleRate, int channels, int bits)
        : temporary(target)
    {
        auto stream = temporary.getFile().createOutputStream();
        if (stream == nullptr)
            throw RenderError{"cannot write " + target.getFullPathName().quoted().toStdString()};
        juce::WavAudioFormat format;
        writer.reset(format.createWriterFor(stream.get(), sampleRate, (unsigned int)channels, bits, {}, 0));
        if (writer == nullptr)
            throw RenderError{"cannot create a WAV writer for " +
                              target.getFullPathName().quoted().toStdString()};
        stream.release(); // the writer owns it now
    }

    bool write(const juce::AudioBuffer<float>& block, int numSamples)
    {
        return writer->writeFromAudioSampleBuffer(block, 0, numSamples);
    }

    void commit()
    {
        writer.reset();
        if (!temporary.overwriteTargetFileWithTemporary())
            throw RenderError{"cannot replace " +
                              temporary.getTargetFile().getFullPathName().quoted().toStdString()};
    }

private:
    juce::TemporaryFile temporary;
    std::unique_ptr<juce::AudioFormatWriter> writer;
};

int render(const Options& options, std::ostream& out, std::ostream& err)
{
    RenderSettings settings = options.settings;
    std::vector<TimedMidiEvent> events;
    double fileTempo = demoPhraseTempo;

    if (options.demo)
    {
        events = eventsFromSequence(makeDemoPhrase(), settings.sampleRate);
    }
    else
    {
        juce::String error;
        auto loaded = loadMidiFile(fileFromArgument(options.input), settings.sampleRate, error);
        if (!loaded)
            throw RenderError{error.toStdString()};
        events = std::move(loaded->events);
        fileTempo = loaded->firstTempo;
    }

    if (options.noPlayHead)
        settings.playHeadTempo.reset();
    else
        settings.playHeadTempo = options.bpm.value_or(fileTempo);

    const auto outputFile = fileFromArgument(options.output);
    if (outputFile.isDirectory())
        throw RenderError{outputFile.getFullPathName().quoted().toStdString() + " is a folder"};
    if (!outputFile.getParentDirectory().isDirectory())
        throw RenderError{"cannot write " + outputFile.getFullPathName().quoted().toStdString() +
                          ": its folder does not exist"};

    OrvelundAudioProcessor processor;
    if (options.stateFile)
        loadStateFile(processor, *options.stateFile);
    if (options.preset)
        loadPreset(processor, *options.preset);
    for (const auto& [index, value] : options.sets)
        processor.getHostParameter(index).setValueNotifyingHost(value);

    WavSink sink(outputFile, settings.sampleRate, settings.mono ? 1 : 2, options.bits);
    const int64_t total = renderLength(events, settings.sampleRate, options.tailSeconds);

    // Progress for renders that take noticeable time: one line, rewritten in place.
    const bool showProgress = total > (int64_t)(60.0 * settings.sampleRate);
    int lastPercent = -1;
    const auto progress = [&](int64_t done, int64_t all)
    {
        const int percent = (int)(100 * done / juce::jmax<int64_t>(1, all));
        if (showProgress && percent / 5 != lastPercent / 5)
        {
            err << "\rorvelund-render: " << percent << "%" << std::flush;
            lastPercent = percent;
        }
    };

    HostRenderer renderer(settings);
    const bool ok = renderer.render(
        processor, events, total,
        [&sink](const juce::AudioBuffer<float>& block, int n) { return sink.write(block, n); }, progress);
    if (showProgress)
        err << "\n";
    if (!ok)
        throw RenderError{"writing " + outputFile.getFullPathName().quoted().toStdString() + " failed"};
    sink.commit();

    out << "orvelund-render: wrote " << outputFile.getFullPathName() << " (" << total << " samples at "
        << settings.sampleRate << " Hz, " << (settings.mono ? "mono" : "stereo") << ")\n";
    return 0;
}
} // namespace

int runRenderCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    try
    {
        const auto options = parseOptions(arguments);
        if (options.help)
        {
            out << usage;
            return 0;
        }
        if (options.listPresets)
        {
            listPresets(out);
            return 0;
        }
        return render(options, out, err);
    }
    catch (const UsageError& error)
    {
        err << "orvelund-render: " << error.message << " (see --help)\n";
        return 2;
    }
    catch (const RenderError& error)
    {
        err << "orvelund-render: " << error.message << "\n";
        return 1;
    }
    catch (const std::exception& error)
    {
        err << "orvelund-render: " << error.what() << "\n";
        return 1;
    }
}
