#pragma once

#include "AssetArchiveFormat.h"

#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace assettest
{
// A fresh folder per test, removed afterwards.
class TempFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::createTempFile("orvelund-assets-test");
        ASSERT_TRUE(folder.createDirectory());
    }
    void TearDown() override { folder.deleteRecursively(); }

    juce::File folder;
};

// One entry of a hand-made archive. Offset and size default to where the data is laid out;
// overriding them makes damaged archives.
struct RawEntry
{
    std::string name;
    std::string data;
    std::optional<std::int32_t> offset = {};
    std::optional<std::int32_t> size = {};
};

// Lays entries out in the archive format without the packer's checks, so that tests can make
// archives the packer refuses to write (duplicates, bad offsets, names without their NUL).
inline std::string rawArchive(const std::vector<RawEntry>& entries,
                              std::uint32_t magic = AssetArchiveFormat::magic)
{
    const auto count = (std::uint32_t)entries.size();
    std::string bytes(AssetArchiveFormat::indexSize(count), '\0');
    const auto putWord = [&bytes](std::uint64_t position, std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            bytes[position + (std::uint64_t)i] = (char)((value >> (8 * i)) & 0xff);
    };
    putWord(0, magic);
    putWord(4, count);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const auto& entry = entries[i];
        bytes.replace(AssetArchiveFormat::nameSlotPosition(i),
                      std::min(entry.name.size(), (size_t)AssetArchiveFormat::nameSlotSize), entry.name, 0,
                      AssetArchiveFormat::nameSlotSize);
        putWord(AssetArchiveFormat::offsetPosition(count, i),
                (std::uint32_t)entry.offset.value_or((std::int32_t)bytes.size()));
        putWord(AssetArchiveFormat::sizePosition(count, i),
                (std::uint32_t)entry.size.value_or((std::int32_t)entry.data.size()));
        bytes += entry.data;
    }
    return bytes;
}

inline juce::File writeFile(const juce::File& file, const std::string& bytes)
{
    file.getParentDirectory().createDirectory();
    // replaceWithData deletes the file when given nothing to write.
    if (bytes.empty())
    {
        file.deleteFile();
        file.create();
    }
    else
        file.replaceWithData(bytes.data(), bytes.size());
    return file;
}

// Rewrites a file in its own storage, so that a stream already open on it sees the new bytes
// (writeFile puts a new file in its place instead).
inline void overwriteInPlace(const juce::File& file, const std::string& bytes)
{
    juce::FileOutputStream out(file);
    ASSERT_TRUE(out.openedOk());
    ASSERT_TRUE(out.setPosition(0));
    ASSERT_TRUE(out.truncate().wasOk());
    out.write(bytes.data(), bytes.size());
}

inline std::string pngBytes(const juce::Image& image)
{
    juce::MemoryOutputStream out;
    juce::PNGImageFormat().writeImageToStream(image, out);
    return std::string((const char*)out.getData(), out.getDataSize());
}

inline juce::Image filledImage(int width, int height, juce::Colour colour)
{
    juce::Image image(juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
    image.clear(image.getBounds(), colour);
    return image;
}
} // namespace assettest
