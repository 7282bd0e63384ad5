#include "PresetStore.h"

#include "PresetFileFormat.h"

#include <algorithm>
#include <iostream>

PresetStore::PresetStore(const juce::String& fileExtension, const juce::String& appGroup, int legacySize,
                         const juce::String& productFolderName)
    : PresetStore(fileExtension, appGroup, legacySize, SupportFolders::forProduct(productFolderName))
{
}

PresetStore::PresetStore(const juce::String& fileExtension, const juce::String& appGroup, int legacySize,
                         SupportFolders supportFolders)
    : extension(fileExtension)
    , appGroupIdentifier(appGroup)
    , legacyPresetSize(legacySize)
    , folders(std::move(supportFolders))
{
    current.name = "missing preset";
    buildCategories();
}

void PresetStore::buildCategories()
{
    categories.clear();
    const auto factoryRoot = folders.sharedFolder.getChildFile(factoryFolderName);
    for (const auto& folder : listChildren(factoryRoot, juce::File::findDirectories, "*"))
    {
        PresetCategory category;
        category.isUser = false;
        category.folderName = folder.getFileName();
        category.displayName = displayNameFromFileName(category.folderName, false);
        category.index = (int)categories.size();
        categories.push_back(std::move(category));
        scanCategory((int)categories.size() - 1);
    }

    PresetCategory user;
    user.isUser = true;
    user.displayName = userFolderName;
    user.folderName = userFolderName;
    user.index = (int)categories.size();
    categories.push_back(std::move(user));
    scanCategory((int)categories.size() - 1);
}

juce::File PresetStore::folderOf(const PresetCategory& category) const
{
    if (category.isUser)
        return folders.userFolder.getChildFile(category.folderName);
    return folders.sharedFolder.getChildFile(factoryFolderName + "/" + category.folderName);
}

juce::Array<juce::File> PresetStore::listChildren(const juce::File& folder, int whatToFind,
                                                  const juce::String& wildcard)
{
    juce::Array<juce::File> children;
    if (folder.getFullPathName().isEmpty() || !folder.isDirectory())
        return children;
    for (const auto& entry :
         juce::RangedDirectoryIterator(folder, false, wildcard, whatToFind, juce::File::FollowSymlinks::yes))
        children.add(entry.getFile());
    // Plain character order ignoring case, not numeric: "10_Pad" sorts before "2_Bass".
    std::sort(children.begin(), children.end(),
              [](const juce::File& a, const juce::File& b)
              { return a.getFullPathName().compareIgnoreCase(b.getFullPathName()) < 0; });
    return children;
}

bool PresetStore::scanCategory(int categoryIndex)
{
    if (categoryIndex < 0 || categoryIndex >= (int)categories.size())
        return false;
    auto& category = categories[(size_t)categoryIndex];
    const auto folder = folderOf(category);
    if (!folder.isDirectory())
        return false;

    category.presets.clear();
    for (const auto& file : listChildren(folder, juce::File::findFiles, "*." + extension))
    {
        if (!readPresetFile(file))
            continue;

        PresetEntry entry;
        entry.valid = true;
        entry.name = displayNameFromFileName(file.getFileName(), category.isUser);
        entry.index = (int)category.presets.size();
        entry.categoryIndex = categoryIndex;
        entry.isUser = category.isUser;
        entry.path = file.getFullPathName();
        category.presets.push_back(entry);

        // Keeps the current record's index and path right after a re-listing.
        if (current.valid && current.categoryIndex == categoryIndex && current.name.compare(entry.name) == 0)
            current = entry;
    }
    return true;
}

std::optional<juce::MemoryBlock> PresetStore::readPresetFile(const juce::File& file) const
{
    const auto size = file.getSize();
    if (size > maximumFileSize)
        return std::nullopt;
    juce::MemoryBlock bytes;
    if (!file.loadFileAsData(bytes) || (int64_t)bytes.getSize() != size)
        return std::nullopt;
    return decodePresetData(bytes.getData(), bytes.getSize());
}

bool PresetStore::isValidPresetData(const void* bytes, size_t length) const
{
    return PresetFileFormat::isValidPresetData(bytes, length, legacyPresetSize);
}

std::optional<juce::MemoryBlock> PresetStore::decodePresetData(const void* bytes, size_t length) const
{
    return PresetFileFormat::decodePresetData(bytes, length, legacyPresetSize);
}

juce::String PresetStore::displayNameFromFileName(const juce::String& fileName, bool isUser)
{
    juce::String name = fileName;
    if (!isUser)
    {
        juce::StringArray pieces;
        pieces.addTokens(fileName, "_", "");
        if (pieces.size() < 2)
            return "Unknown name";
        pieces.remove(0);
        name = pieces.joinIntoString("_");
    }

    juce::StringArray pieces;
    pieces.addTokens(name, ".", "");
    if (pieces.size() < 2)
        return name;
    pieces.remove(pieces.size() - 1);
    return pieces.joinIntoString(".");
}

void PresetStore::savePreset(const juce::MemoryBlock& data, const juce::String& name, int categoryIndex)
{
    if (categoryIndex < 0 || categoryIndex >= (int)categories.size() ||
        !categories[(size_t)categoryIndex].isUser)
        return;

    const auto file = PresetFileFormat::encodePresetFile(data);

    bool blocked = false;
    auto folder = folders.userFolder;
    for (const auto& piece : juce::StringArray::fromTokens(userFolderName, "/", ""))
    {
        folder = folder.getChildFile(piece);
        if (folder.exists() && !folder.isDirectory())
        {
            std::cout << "Invalid path (pathname is file)" << std::endl;
            blocked = true;
            break;
        }
        if (!folder.exists())
            folder.createDirectory();
    }

    if (!blocked)
    {
        // Written beside the target and renamed over it, so a failed write never costs the user
        // the preset that was there before.
        const auto target = folder.getChildFile(name + "." + extension);
        juce::TemporaryFile temporary(target);
        if (auto stream = temporary.getFile().createOutputStream(8192))
        {
            const bool written = stream->write(file.getData(), file.getSize()) &&
                                 (stream->flush(), stream->getStatus().wasOk());
            stream.reset();
            if (written)
                temporary.overwriteTargetFileWithTemporary();
        }
    }

    scanCategory(categoryIndex);

    for (const auto& entry : categories[(size_t)categoryIndex].presets)
        if (entry.name.compareIgnoreCase(name) == 0)
        {
            current = entry;
            break;
        }
}

bool PresetStore::selectPreset(int categoryIndex, int presetIndex)
{
    if (categoryIndex < 0 || categoryIndex >= (int)categories.size())
        return false;
    const auto& presets = categories[(size_t)categoryIndex].presets;
    if (presetIndex < 0 || presetIndex >= (int)presets.size())
        return false;
    current = presets[(size_t)presetIndex];
    return true;
}
