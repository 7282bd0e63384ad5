#include "AssetArchive.h"

#include "AssetArchiveFormat.h"

#include <cstring>

#if JUCE_LINUX || JUCE_BSD
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

namespace
{
std::uint32_t readWord(const char* bytes)
{
    return juce::ByteOrder::littleEndianInt(bytes);
}

// JUCE's FreeType typeface dereferences the face even when FreeType refused to open the bytes,
// so bytes that are not a font would crash it: ask FreeType first.
bool isReadableFont(const void* bytes, int size)
{
#if JUCE_LINUX || JUCE_BSD
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0)
        return false;
    FT_Face face = nullptr;
    const bool opened = FT_New_Memory_Face(library, static_cast<const FT_Byte*>(bytes), size, 0, &face) == 0;
    if (face != nullptr)
        FT_Done_Face(face);
    FT_Done_FreeType(library);
    return opened;
#else
    return size > 0 && bytes != nullptr;
#endif
}
} // namespace

AssetArchive::AssetArchive(const juce::String& path)
{
    if (path.isEmpty())
        return;
    const juce::File file(path);
    if (!file.existsAsFile())
        return;

    auto opened = std::make_unique<juce::FileInputStream>(file);
    if (opened->failedToOpen())
        return;
    fileLength = opened->getTotalLength();

    char header[8];
    if (opened->read(header, 8) != 8 || readWord(header) != AssetArchiveFormat::magic)
        return;

    // The entry count comes from the file: an index that claims more than the file holds is a
    // truncated or damaged archive, and allocating for it would trust a number we cannot check.
    const auto count = readWord(header + 4);
    const auto length = AssetArchiveFormat::indexSize(count);
    if (length > (std::uint64_t)fileLength)
        return;

    juce::HeapBlock<char> block((size_t)length);
    if (!opened->setPosition(0) || opened->read(block.get(), (size_t)length) != (int)length)
        return;

    index = std::move(block);
    indexLength = (size_t)length;
    entryCount = count;
    stream = std::move(opened);
}

AssetArchive::~AssetArchive() = default;

bool AssetArchive::hasIndex() const
{
    return indexLength >= 8 && readWord(index.get()) == AssetArchiveFormat::magic;
}

const char* AssetArchive::findEntry(const char* path, int& size)
{
    size = 0;
    if (path == nullptr || !hasIndex())
        return nullptr;

    const auto pathLength = std::strlen(path);
    if (pathLength > (size_t)AssetArchiveFormat::maxNameLength)
        return nullptr;

    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        const char* name = index.get() + AssetArchiveFormat::nameSlotPosition(i);
        // A slot without its terminating NUL names nothing; the first equal name wins, even when
        // its data turns out to be unreadable.
        if (std::memcmp(name, path, pathLength) != 0 || name[pathLength] != '\0')
            continue;

        const auto offset =
            (std::int32_t)readWord(index.get() + AssetArchiveFormat::offsetPosition(entryCount, i));
        const auto length =
            (std::int32_t)readWord(index.get() + AssetArchiveFormat::sizePosition(entryCount, i));
        if (offset < 0 || length < 0 || (juce::int64)offset + length > fileLength)
            return nullptr;

        // One byte more than needed, so that an empty entry still has a non-null block.
        AssetEntry entry;
        entry.bytes.allocate((size_t)length + 1, true);
        entry.length = length;
        if (!stream->setPosition(offset) || stream->read(entry.bytes.get(), (size_t)length) != length)
            return nullptr;

        auto& stored = cache[juce::String::fromUTF8(path)] = std::move(entry);
        size = stored.length;
        return stored.bytes.get();
    }
    return nullptr;
}

const void* AssetArchive::getData(const char* path, int& size)
{
    size = 0;
    if (path == nullptr)
        return nullptr;
    if (const auto cached = cache.find(juce::String::fromUTF8(path)); cached != cache.end())
    {
        size = cached->second.length;
        return cached->second.bytes.get();
    }
    return findEntry(path, size);
}

void AssetArchive::release(const char* path)
{
    if (path != nullptr)
        cache.erase(juce::String::fromUTF8(path));
}

juce::Font AssetArchive::getFont(const char* path)
{
    int size = 0;
    const auto* bytes = getData(path, size);
    if (bytes == nullptr || size == 0 || !isReadableFont(bytes, size))
        return {};

    auto typeface = juce::Typeface::createSystemTypefaceFor(bytes, (size_t)size);
    if (typeface == nullptr || typeface->getName().isEmpty())
        return {};
    return juce::Font(typeface);
}

juce::Image AssetArchive::loadImage(const char* path)
{
    int size = 0;
    const auto* bytes = getData(path, size);
    if (bytes == nullptr)
        return {};
    auto image = size > 0 ? juce::ImageFileFormat::loadFrom(bytes, (size_t)size) : juce::Image();
    release(path);
    return image;
}
