#pragma once

#include <juce_graphics/juce_graphics.h>

#include <memory>
#include <unordered_map>

// Reads the skin's asset archive: the index once at opening, single entries on demand, handed out
// as raw bytes, decoded images or fonts. Never fails: a missing, unreadable or malformed archive
// behaves as one without entries. Message thread only.
class AssetArchive
{
public:
    explicit AssetArchive(const juce::String& path);
    ~AssetArchive();

    AssetArchive(const AssetArchive&) = delete;
    AssetArchive& operator=(const AssetArchive&) = delete;

    // The entry's bytes, cached until release(path) or the archive's destruction. Null with size 0
    // when the archive has no readable entry of that name; a zero-length entry gives a non-null
    // pointer with size 0.
    const void* getData(const char* path, int& size);

    // Frees the cached bytes of path; harmless for a path that is not cached.
    void release(const char* path);

    // A font whose typeface is made from the entry's bytes, or the default font when the entry is
    // missing or is not a font. The bytes stay cached, so asking again does not touch the file.
    juce::Font getFont(const char* path);

    // Fetches, decodes and releases at once: no image bytes stay cached. Null when the entry is
    // missing or does not decode.
    juce::Image loadImage(const char* path);

private:
    struct AssetEntry
    {
        juce::HeapBlock<char> bytes;
        int length = 0;
    };

    const char* findEntry(const char* path, int& size);
    bool hasIndex() const;

    std::unique_ptr<juce::FileInputStream> stream;
    juce::int64 fileLength = 0;
    juce::HeapBlock<char> index;
    size_t indexLength = 0;
    std::uint32_t entryCount = 0;
    std::unordered_map<juce::String, AssetEntry> cache;
};
