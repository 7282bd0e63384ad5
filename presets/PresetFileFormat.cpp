#include "PresetFileFormat.h"

namespace PresetFileFormat
{
namespace
{
uint32_t wordAt(const uint8_t* bytes, size_t offset)
{
    return juce::ByteOrder::littleEndianInt(bytes + offset);
}

bool hasMagic(const uint8_t* bytes, size_t length)
{
    return length >= 4 && wordAt(bytes, 0) == magic;
}
} // namespace

bool isValidPresetData(const void* data, size_t length, int legacyPresetSize)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (bytes == nullptr || length < 4)
        return false;
    if (hasMagic(bytes, length))
        return length >= (size_t)headerSize + 1 && wordAt(bytes, 4) == tag && wordAt(bytes, 12) == length;
    return legacyPresetSize == -1 || (legacyPresetSize >= 0 && length == (size_t)legacyPresetSize);
}

std::optional<juce::MemoryBlock> decodePresetData(const void* data, size_t length, int legacyPresetSize)
{
    if (!isValidPresetData(data, length, legacyPresetSize))
        return std::nullopt;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (hasMagic(bytes, length))
        return juce::MemoryBlock(bytes + headerSize, length - (size_t)headerSize);
    return juce::MemoryBlock(bytes, length);
}

juce::MemoryBlock encodePresetFile(const juce::MemoryBlock& payload)
{
    juce::MemoryBlock file;
    juce::MemoryOutputStream out(file, false); // JUCE streams write little-endian
    out.writeInt((int)magic);
    out.writeInt((int)tag);
    out.writeInt((int)formatVersion);
    out.writeInt((int)(payload.getSize() + (size_t)headerSize));
    out.write(payload.getData(), payload.getSize());
    out.flush();
    return file;
}
} // namespace PresetFileFormat
