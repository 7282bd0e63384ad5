#pragma once

#include "PresetFileFormat.h"
#include "SupportFolders.h"

#include <gtest/gtest.h>

#include <vector>

namespace presettest
{
// Folders of a product installation under a temporary root: the user and the shared roots, and
// the factory library copied from the build when asked for.
class PresetFolders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = juce::File::createTempFile("orvelund-presets-test");
        ASSERT_TRUE(root.createDirectory());
    }
    void TearDown() override { root.deleteRecursively(); }

    SupportFolders folders()
    {
        return SupportFolders::fromRoots(root.getChildFile("user"), root.getChildFile("shared"), "Orvelund");
    }

    juce::File userPresets() { return folders().userFolder.getChildFile("User Presets"); }

    juce::File factoryRoot()
    {
        return root.getChildFile("shared/Application Support/Mossbrink/Orvelund/Factory Presets");
    }

    void installFactoryLibrary()
    {
        ASSERT_TRUE(juce::File(ORVELUND_FACTORY_PRESETS_DIR).copyDirectoryTo(factoryRoot()));
    }

    juce::File root;
};

// A parameter block of 31 equal values, optionally followed by more bytes.
inline juce::MemoryBlock valuesBlock(float value, int totalSize = 124)
{
    juce::MemoryBlock block;
    for (int i = 0; i < 31; ++i)
        block.append(&value, sizeof value);
    block.setSize((size_t)totalSize, true);
    return block;
}

inline void writeFile(const juce::File& file, const juce::MemoryBlock& data)
{
    file.getParentDirectory().createDirectory();
    ASSERT_TRUE(file.replaceWithData(data.getData(), data.getSize()));
}

inline void writePreset(const juce::File& file, float value)
{
    writeFile(file, PresetFileFormat::encodePresetFile(valuesBlock(value)));
}
} // namespace presettest
