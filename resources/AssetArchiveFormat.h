#pragma once

#include <cstdint>

// The on-disk layout of an asset archive, shared by the reader and the packing tool.
// All integers are little-endian; offsets count from the first byte of the file.
namespace AssetArchiveFormat
{
// 'mbar' read as a little-endian word: the file starts with the bytes "rabm".
constexpr std::uint32_t magic = 0x6D626172;
constexpr int headerSize = 32;
// A name slot holds a NUL-terminated path, so a path has at most nameSlotSize - 1 bytes.
constexpr int nameSlotSize = 64;
constexpr int maxNameLength = nameSlotSize - 1;
// Per entry: its name slot, a signed 32-bit offset and a signed 32-bit size.
constexpr int indexBytesPerEntry = nameSlotSize + 4 + 4;

constexpr std::uint64_t indexSize(std::uint32_t entryCount)
{
    return (std::uint64_t)headerSize + (std::uint64_t)indexBytesPerEntry * entryCount;
}
constexpr std::uint64_t nameSlotPosition(std::uint32_t index)
{
    return (std::uint64_t)headerSize + (std::uint64_t)nameSlotSize * index;
}
constexpr std::uint64_t offsetPosition(std::uint32_t entryCount, std::uint32_t index)
{
    return (std::uint64_t)headerSize + (std::uint64_t)nameSlotSize * entryCount + 4ull * index;
}
constexpr std::uint64_t sizePosition(std::uint32_t entryCount, std::uint32_t index)
{
    return (std::uint64_t)headerSize + (std::uint64_t)(nameSlotSize + 4) * entryCount + 4ull * index;
}
} // namespace AssetArchiveFormat
