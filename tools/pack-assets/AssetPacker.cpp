#include "AssetPacker.h"

#include "AssetArchiveFormat.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>

namespace
{
std::string quoted(const juce::File& file)
{
    return file.getFullPathName().quoted().toStdString();
}

bool isHidden(const juce::File& file, const juce::File& folder)
{
    for (auto f = file; f != folder && f != f.getParentDirectory(); f = f.getParentDirectory())
        if (f.getFileName().startsWithChar('.'))
            return true;
    return false;
}

void writeWord(juce::OutputStream& out, std::uint32_t value)
{
    if (!out.writeInt((int)value))
        throw PackError("write failed");
}
} // namespace

std::vector<PackSource> collectPackSources(const std::vector<juce::File>& folders)
{
    std::vector<PackSource> sources;
    std::set<std::string> names;
    for (const auto& folder : folders)
    {
        if (!folder.isDirectory())
            throw PackError(quoted(folder) + " is not a folder");

        for (const auto& item : juce::RangedDirectoryIterator(folder, true, "*", juce::File::findFiles))
        {
            const auto file = item.getFile();
            if (isHidden(file, folder))
                continue;
            const auto name = file.getRelativePathFrom(folder).replaceCharacter('\\', '/').toStdString();
            if (name.size() > (size_t)AssetArchiveFormat::maxNameLength)
                throw PackError("entry name '" + name + "' is " + std::to_string(name.size()) +
                                " bytes long; at most " + std::to_string(AssetArchiveFormat::maxNameLength) +
                                " are allowed");
            if (!names.insert(name).second)
                throw PackError("entry name '" + name + "' occurs in more than one folder");
            sources.push_back({name, file});
        }
    }
    std::sort(sources.begin(), sources.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return sources;
}

void writeAssetArchive(const std::vector<PackSource>& sources, const juce::File& target)
{
    if (sources.size() > (size_t)std::numeric_limits<std::int32_t>::max())
        throw PackError("too many entries");
    const auto count = (std::uint32_t)sources.size();

    // Offsets and sizes are signed 32-bit words: check the whole layout fits before writing.
    std::vector<std::int32_t> offsets, sizes;
    auto position = AssetArchiveFormat::indexSize(count);
    for (const auto& source : sources)
    {
        const auto size = source.file.getSize();
        if (position + (std::uint64_t)size > (std::uint64_t)std::numeric_limits<std::int32_t>::max())
            throw PackError("the archive would exceed 2 GiB at " + quoted(source.file));
        offsets.push_back((std::int32_t)position);
        sizes.push_back((std::int32_t)size);
        position += (std::uint64_t)size;
    }

    if (target.isDirectory())
        throw PackError(quoted(target) + " is a folder");
    if (!target.getParentDirectory().isDirectory())
        throw PackError("cannot write " + quoted(target) + ": its folder does not exist");

    juce::TemporaryFile temporary(target);
    {
        juce::FileOutputStream out(temporary.getFile());
        if (out.failedToOpen())
            throw PackError("cannot write " + quoted(target));

        writeWord(out, AssetArchiveFormat::magic);
        writeWord(out, count);
        out.writeRepeatedByte(0, AssetArchiveFormat::headerSize - 8);
        for (const auto& source : sources)
        {
            char slot[AssetArchiveFormat::nameSlotSize] = {};
            std::memcpy(slot, source.name.data(), source.name.size());
            out.write(slot, sizeof(slot));
        }
        for (auto offset : offsets)
            writeWord(out, (std::uint32_t)offset);
        for (auto size : sizes)
            writeWord(out, (std::uint32_t)size);

        for (size_t i = 0; i < sources.size(); ++i)
        {
            juce::FileInputStream in(sources[i].file);
            if (in.failedToOpen())
                throw PackError("cannot read " + quoted(sources[i].file));
            // The file may have changed since it was measured: the index must stay true.
            if (out.writeFromInputStream(in, -1) != sizes[i] || !in.isExhausted())
                throw PackError(quoted(sources[i].file) + " changed while it was packed");
        }
        out.flush();
        if (out.getStatus().failed())
            throw PackError("writing " + quoted(target) +
                            " failed: " + out.getStatus().getErrorMessage().toStdString());
    }
    if (!temporary.overwriteTargetFileWithTemporary())
        throw PackError("cannot replace " + quoted(target));
}

std::vector<ArchiveEntryInfo> readAssetArchiveIndex(const juce::File& archive)
{
    juce::FileInputStream in(archive);
    if (!archive.existsAsFile() || in.failedToOpen())
        throw PackError("cannot read " + quoted(archive));
    const auto length = in.getTotalLength();

    char header[8];
    if (in.read(header, 8) != 8 || juce::ByteOrder::littleEndianInt(header) != AssetArchiveFormat::magic)
        throw PackError(quoted(archive) + " is not an asset archive");
    const auto count = juce::ByteOrder::littleEndianInt(header + 4);
    const auto indexLength = AssetArchiveFormat::indexSize(count);
    if (indexLength > (std::uint64_t)length)
        throw PackError(quoted(archive) + " is truncated: its index of " + std::to_string(count) +
                        " entries does not fit in the file");

    juce::HeapBlock<char> index((size_t)indexLength);
    in.setPosition(0);
    if (in.read(index.get(), (size_t)indexLength) != (int)indexLength)
        throw PackError("cannot read " + quoted(archive));

    std::vector<ArchiveEntryInfo> entries;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const char* slot = index.get() + AssetArchiveFormat::nameSlotPosition(i);
        const auto nameLength = strnlen(slot, AssetArchiveFormat::nameSlotSize);
        if (nameLength == (size_t)AssetArchiveFormat::nameSlotSize)
            throw PackError(quoted(archive) + ": the name of entry " + std::to_string(i) + " has no end");

        ArchiveEntryInfo entry;
        entry.name.assign(slot, nameLength);
        entry.offset = (std::int32_t)juce::ByteOrder::littleEndianInt(
            index.get() + AssetArchiveFormat::offsetPosition(count, i));
        entry.size = (std::int32_t)juce::ByteOrder::littleEndianInt(
            index.get() + AssetArchiveFormat::sizePosition(count, i));
        if (entry.offset < 0 || entry.size < 0 || (juce::int64)entry.offset + entry.size > length)
            throw PackError(quoted(archive) + ": entry '" + entry.name + "' lies outside the file");
        entries.push_back(std::move(entry));
    }
    return entries;
}
