#include "PresetFileFormat.h"

namespace PresetFileFormat
{
namespace
{
uint32_t wordAt(const uint8_t* bytes, size_t offset)
{
    return (uint32_t)bytes[offset] | ((uint32_t)bytes[offset + 1] << 8) |
           ((uint32_t)bytes[offset + 2] << 16) | ((uint32_t)bytes[offset + 3] << 24);
}

void appendWord(juce::MemoryBlock& block, uint32_t word)
{
    const uint8_t bytes[4] = {(uint8_t)word, (uint8_t)(word >> 8), (uint8_t)(word >> 16),
                              (uint8_t)(word >> 24)};
    block.append(bytes, sizeof bytes);
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
    appendWord(file, magic);
    appendWord(file, tag);
    appendWord(file, formatVersion);
    appendWord(file, (uint32_t)(payload.getSize() + (size_t)headerSize));
    file.append(payload.getData(), payload.getSize());
    return file;
}
} // namespace PresetFileFormat
