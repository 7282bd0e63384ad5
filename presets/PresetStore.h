#pragma once

#include "SupportFolders.h"

#include <juce_core/juce_core.h>

#include <optional>
#include <vector>

// One listed preset, or the store's record of the current one.
struct PresetEntry
{
    bool valid = false;
    juce::String name;
    int index = 0;
    int categoryIndex = 0;
    bool isUser = false;
    juce::String path;
};

struct PresetCategory
{
    bool isUser = false;
    juce::String displayName;
    juce::String folderName;
    int index = 0;
    std::vector<PresetEntry> presets;
};

// The catalogue of presets on disk: factory categories (one sub-folder each of the shared
// "Factory Presets" folder, listed once) followed by the user category (a flat per-user folder
// that presets are saved into). It remembers the current preset and validates, strips and writes
// preset file headers. Used on the message thread only.
class PresetStore
{
public:
    static constexpr int64_t maximumFileSize =
        1 << 20; // presets are 140 bytes; larger files are skipped unread

    PresetStore(const juce::String& extension, const juce::String& appGroupIdentifier, int legacyPresetSize,
                const juce::String& productFolderName);
    PresetStore(const juce::String& extension, const juce::String& appGroupIdentifier, int legacyPresetSize,
                SupportFolders folders);

    bool scanCategory(int categoryIndex);

    bool isValidPresetData(const void* bytes, size_t length) const;
    std::optional<juce::MemoryBlock> decodePresetData(const void* bytes, size_t length) const;
    // The payload of a preset file read whole, or nothing when it is too large, cannot be read
    // whole or fails the header rule.
    std::optional<juce::MemoryBlock> readPresetFile(const juce::File& file) const;
    static juce::String displayNameFromFileName(const juce::String& fileName, bool isUser);

    // Writes a user preset (header + data) and makes it current when it can be found again.
    void savePreset(const juce::MemoryBlock& data, const juce::String& name, int categoryIndex);
    bool selectPreset(int categoryIndex, int presetIndex);

    int getNumCategories() const { return (int)categories.size(); }
    const PresetCategory& getCategory(int index) const { return categories[(size_t)index]; }
    const std::vector<PresetCategory>& getCategories() const { return categories; }
    int getUserCategoryIndex() const { return (int)categories.size() - 1; }

    const PresetEntry& getCurrent() const { return current; }
    PresetEntry& getCurrent() { return current; }
    void setCurrent(const PresetEntry& entry) { current = entry; }

    const SupportFolders& getFolders() const { return folders; }
    const juce::String& getExtension() const { return extension; }
    int getLegacyPresetSize() const { return legacyPresetSize; }

    const juce::String factoryFolderName{"Factory Presets"};
    const juce::String userFolderName{"User Presets"};

private:
    void buildCategories();
    juce::File folderOf(const PresetCategory& category) const;
    static juce::Array<juce::File> listChildren(const juce::File& folder, int whatToFind,
                                                const juce::String& wildcard);

    juce::String extension;
    juce::String appGroupIdentifier;
    int legacyPresetSize;
    SupportFolders folders;
    PresetEntry current;
    std::vector<PresetCategory> categories;
};
