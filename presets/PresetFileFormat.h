#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <cstdint>
#include <optional>

// The preset file: an optional 16-byte header (magic "Moss", tag, format version, total length)
// followed by a parameter block. Files without the header are accepted when they are exactly
// the legacy payload size.
namespace PresetFileFormat
{
constexpr uint32_t magic = 0x4D6F7373;
constexpr uint32_t tag = 0x47306164;
constexpr uint32_t formatVersion = 0x01000000;
constexpr int headerSize = 16;

// legacyPresetSize -1 accepts a headerless file of any length.
bool isValidPresetData(const void* bytes, size_t length, int legacyPresetSize);

// The payload of a valid preset file (the header stripped), or nothing.
std::optional<juce::MemoryBlock> decodePresetData(const void* bytes, size_t length, int legacyPresetSize);

// A complete preset file for the payload: header followed by the payload.
juce::MemoryBlock encodePresetFile(const juce::MemoryBlock& payload);
} // namespace PresetFileFormat
