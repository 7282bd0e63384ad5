#include "PluginHosting.h"

#include <gtest/gtest.h>

#include <cstring>

std::unique_ptr<juce::AudioPluginInstance> loadPlugin(Format format)
{
    juce::OwnedArray<juce::PluginDescription> found;
    std::unique_ptr<juce::AudioPluginFormat> pluginFormat;
    if (format == Format::vst3)
    {
        pluginFormat = std::make_unique<juce::VST3PluginFormat>();
        pluginFormat->findAllTypesForFile(found, ORVELUND_VST3_BUNDLE);
    }
    else
    {
        pluginFormat = std::make_unique<juce::LV2PluginFormat>();
        const juce::File bundle(ORVELUND_LV2_BUNDLE);
        pluginFormat->searchPathsForPlugins(
            juce::FileSearchPath(bundle.getParentDirectory().getFullPathName()), false, false);
        pluginFormat->findAllTypesForFile(found, ORVELUND_LV2_URI);
    }
    if (found.isEmpty())
        return nullptr;

    juce::String error;
    auto instance = pluginFormat->createInstanceFromDescription(*found[0], 44100.0, 512, error);
    EXPECT_TRUE(error.isEmpty()) << error;
    return instance;
}

std::string formatName(Format format)
{
    return format == Format::vst3 ? "VST3" : "LV2";
}

// The instrument's own state chunk inside each format's saved state. JUCE's VST3 hosting keeps
// the component state as Base64 text in an XML document; the VST3 wrapper appends private data
// (ending in "JUCEPrivateData") to the chunk. JUCE's LV2 wrapper keeps the chunk as a Base64
// "StateString" in the Turtle text of the LV2 state.
namespace
{
const juce::String privateDataMagic{"JUCEPrivateData"};
} // namespace

juce::MemoryBlock chunkFromState(Format format, const juce::MemoryBlock& state)
{
    juce::MemoryBlock chunk;
    if (format == Format::vst3)
    {
        const auto xml = juce::AudioProcessor::getXmlFromBinary(state.getData(), (int)state.getSize());
        if (xml == nullptr || xml->getChildByName("IComponent") == nullptr)
            return {};
        chunk.fromBase64Encoding(xml->getChildByName("IComponent")->getAllSubText());
        const auto size = chunk.getSize();
        const auto magicSize = (size_t)privateDataMagic.length();
        const auto* bytes = static_cast<const char*>(chunk.getData());
        if (size > magicSize + 16 &&
            std::memcmp(bytes + size - magicSize, privateDataMagic.toRawUTF8(), magicSize) == 0)
        {
            uint64_t privateSize = 0;
            std::memcpy(&privateSize, bytes + size - magicSize - 8, 8);
            chunk.setSize(size - magicSize - 8 - (size_t)privateSize - 8);
        }
        return chunk;
    }
    const auto text = state.toString();
    const auto start = text.indexOf(":StateString> \"");
    if (start < 0)
        return {};
    const auto value = text.substring(start)
                           .fromFirstOccurrenceOf("\"", false, false)
                           .upToFirstOccurrenceOf("\"", false, false);
    chunk.fromBase64Encoding(value);
    return chunk;
}

// A format's saved state (from a fresh instance) carrying another chunk.
juce::MemoryBlock stateWithChunk(Format format, const juce::MemoryBlock& templateState,
                                 const juce::MemoryBlock& chunk)
{
    juce::MemoryBlock state;
    if (format == Format::vst3)
    {
        auto xml =
            juce::AudioProcessor::getXmlFromBinary(templateState.getData(), (int)templateState.getSize());
        auto* component = xml->getChildByName("IComponent");
        component->deleteAllTextElements();
        component->addTextElement(chunk.toBase64Encoding());
        juce::AudioProcessor::copyXmlToBinary(*xml, state);
        return state;
    }
    const auto text = templateState.toString();
    const auto start = text.indexOf(":StateString> \"") + juce::String(":StateString> \"").length();
    const auto end = text.indexOfChar(start, '"');
    const auto replaced = text.substring(0, start) + chunk.toBase64Encoding() + text.substring(end);
    state.append(replaced.toRawUTF8(), replaced.getNumBytesAsUTF8());
    return state;
}
