#pragma once

#include <juce_core/juce_core.h>

#include <stdexcept>
#include <string>
#include <vector>

// Writing and listing asset archives. Every failure throws PackError with a message fit for one
// line of a command's error output.
struct PackError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

struct PackSource
{
    std::string name; // the archive path: relative, "/" between folders
    juce::File file;
};

struct ArchiveEntryInfo
{
    std::string name;
    std::int32_t offset = 0;
    std::int32_t size = 0;
};

// Every regular file below the folders, named by its path relative to its folder and sorted by
// name. Hidden files and folders (name starting with ".") are left out. Names longer than an
// archive name slot holds, or a name found in two folders, are errors.
std::vector<PackSource> collectPackSources(const std::vector<juce::File>& folders);

// Writes the archive to a temporary file beside target and renames it into place, so target is
// either the complete new archive or untouched.
void writeAssetArchive(const std::vector<PackSource>& sources, const juce::File& target);

// The index of an archive, checked strictly: a wrong magic, an index or entry outside the file,
// or a name without its terminating NUL are errors.
std::vector<ArchiveEntryInfo> readAssetArchiveIndex(const juce::File& archive);
