// orvelund-make-presets: writes the factory library's preset files from its readable source.
//
//   orvelund-make-presets SOURCE.txt OUTPUT_FOLDER
//
// The source lists categories in order, each followed by its presets in order; a preset lists only
// the parameters that differ from the defaults, by parameter ID, as normalised values:
//
//   category LEADS
//   preset INIT
//   preset Glass Lead
//     Mod Feedback = 0.35
//
// Category n becomes the folder "NN_CATEGORY" and its m-th preset the file "MM_Name.orvelundpreset"
// under OUTPUT_FOLDER/Factory Presets, so that listing order and display names come out as written.

#include "InstrumentParameters.h"
#include "PresetFileFormat.h"

#include <juce_core/juce_core.h>

#include <iostream>
#include <map>
#include <vector>

namespace
{
struct Preset
{
    juce::String name;
    std::array<float, instrumentParameterCount> values{};
};

struct Category
{
    juce::String name;
    std::vector<Preset> presets;
};

int parameterIndexFor(const juce::String& id)
{
    for (int i = 0; i < instrumentParameterCount; ++i)
        if (id == instrumentParameters[(size_t)i].id)
            return i;
    return -1;
}

std::vector<Category> parse(const juce::StringArray& lines, juce::String& error)
{
    std::vector<Category> categories;
    for (int lineNumber = 0; lineNumber < lines.size(); ++lineNumber)
    {
        const auto line = lines[lineNumber].upToFirstOccurrenceOf("#", false, false).trim();
        const auto where = "line " + juce::String(lineNumber + 1) + ": ";
        if (line.isEmpty())
            continue;
        if (line.startsWith("category "))
        {
            categories.push_back({line.fromFirstOccurrenceOf(" ", false, false).trim(), {}});
        }
        else if (line.startsWith("preset "))
        {
            if (categories.empty())
                return error = where + "a preset before any category", std::vector<Category>{};
            Preset preset;
            preset.name = line.fromFirstOccurrenceOf(" ", false, false).trim();
            for (int i = 0; i < instrumentParameterCount; ++i)
                preset.values[(size_t)i] = instrumentParameters[(size_t)i].defaultValue;
            categories.back().presets.push_back(preset);
        }
        else if (line.contains("="))
        {
            if (categories.empty() || categories.back().presets.empty())
                return error = where + "a value outside a preset", std::vector<Category>{};
            const auto id = line.upToFirstOccurrenceOf("=", false, false).trim();
            const auto text = line.fromFirstOccurrenceOf("=", false, false).trim();
            const int index = parameterIndexFor(id);
            const auto value = text.getFloatValue();
            if (index < 0)
                return error = where + "unknown parameter \"" + id + "\"", std::vector<Category>{};
            if (!text.containsOnly("0123456789.") || value < 0.0f || value > 1.0f)
                return error = where + "\"" + text + "\" is not a value from 0 to 1", std::vector<Category>{};
            categories.back().presets.back().values[(size_t)index] = value;
        }
        else
        {
            return error = where + "cannot read \"" + line + "\"", std::vector<Category>{};
        }
    }
    return categories;
}

juce::String numbered(int position, const juce::String& name)
{
    return juce::String(position).paddedLeft('0', 2) + "_" + name;
}
} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3)
    {
        std::cerr << "usage: orvelund-make-presets SOURCE.txt OUTPUT_FOLDER\n";
        return 2;
    }
    const auto source = juce::File::getCurrentWorkingDirectory().getChildFile(argv[1]);
    const auto output = juce::File::getCurrentWorkingDirectory().getChildFile(argv[2]);
    if (!source.existsAsFile())
    {
        std::cerr << "orvelund-make-presets: cannot read " << source.getFullPathName() << "\n";
        return 1;
    }

    juce::StringArray lines;
    source.readLines(lines);
    juce::String error;
    const auto categories = parse(lines, error);
    if (error.isNotEmpty())
    {
        std::cerr << "orvelund-make-presets: " << source.getFileName() << " " << error << "\n";
        return 1;
    }

    const auto root = output.getChildFile("Factory Presets");
    root.deleteRecursively();
    int written = 0;
    for (size_t c = 0; c < categories.size(); ++c)
    {
        const auto folder = root.getChildFile(numbered((int)c + 1, categories[c].name));
        if (!folder.createDirectory())
        {
            std::cerr << "orvelund-make-presets: cannot create " << folder.getFullPathName() << "\n";
            return 1;
        }
        for (size_t p = 0; p < categories[c].presets.size(); ++p)
        {
            const auto& preset = categories[c].presets[p];
            juce::MemoryBlock payload;
            {
                juce::MemoryOutputStream out(payload, false); // little-endian float32 values
                for (float value : preset.values)
                    out.writeFloat(value);
            }
            const auto file = folder.getChildFile(numbered((int)p + 1, preset.name) + ".orvelundpreset");
            const auto data = PresetFileFormat::encodePresetFile(payload);
            if (!file.replaceWithData(data.getData(), data.getSize()))
            {
                std::cerr << "orvelund-make-presets: cannot write " << file.getFullPathName() << "\n";
                return 1;
            }
            ++written;
        }
    }
    std::cout << "orvelund-make-presets: wrote " << written << " presets in " << categories.size()
              << " categories to " << root.getFullPathName() << "\n";
    return 0;
}
