#include "PackAssetsCommand.h"

#include "AssetPacker.h"
#include "SharedDataFolder.h"

#include <iomanip>

namespace
{
constexpr const char* usage = R"(usage: orvelund-pack-assets OUTPUT.mba FOLDER [FOLDER...]
       orvelund-pack-assets --list ARCHIVE.mba
       orvelund-pack-assets --install-path

Packs every file below the folders into an Orvelund asset archive. Each entry is named by its
path relative to its folder, with "/" between folders; names may be at most 63 bytes long and
must not repeat across folders. Hidden files and folders (starting with ".") are left out.

  --list           print the archive's entries: size in bytes, then name
  --install-path   print where the product reads its archive
  --help           show this text
)";

struct UsageError
{
    std::string message;
};

juce::File fileFromArgument(const std::string& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile(juce::String(path));
}

int list(const std::string& path, std::ostream& out)
{
    const auto entries = readAssetArchiveIndex(fileFromArgument(path));
    std::int64_t total = 0;
    for (const auto& entry : entries)
    {
        out << std::setw(10) << entry.size << "  " << entry.name << "\n";
        total += entry.size;
    }
    out << entries.size() << (entries.size() == 1 ? " entry, " : " entries, ") << total << " bytes\n";
    return 0;
}

int pack(const std::vector<std::string>& positional, std::ostream& out)
{
    std::vector<juce::File> folders;
    for (size_t i = 1; i < positional.size(); ++i)
        folders.push_back(fileFromArgument(positional[i]));
    const auto sources = collectPackSources(folders);
    if (sources.empty())
        throw PackError("no files to pack");
    const auto target = fileFromArgument(positional[0]);
    writeAssetArchive(sources, target);
    out << "orvelund-pack-assets: wrote " << target.getFullPathName() << " (" << sources.size()
        << (sources.size() == 1 ? " entry)\n" : " entries)\n");
    return 0;
}
} // namespace

int runPackAssetsCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    try
    {
        std::vector<std::string> positional;
        bool listMode = false, installPath = false, help = false;
        for (const auto& argument : arguments)
        {
            if (argument == "--help" || argument == "-h")
                help = true;
            else if (argument == "--list")
                listMode = true;
            else if (argument == "--install-path")
                installPath = true;
            else if (argument.size() > 1 && argument[0] == '-')
                throw UsageError{"unknown option '" + argument + "'"};
            else
                positional.push_back(argument);
        }

        if (help)
        {
            out << usage;
            return 0;
        }
        if (listMode && installPath)
            throw UsageError{"--list and --install-path exclude each other"};
        if (installPath)
        {
            if (!positional.empty())
                throw UsageError{"--install-path takes no arguments"};
            out << SharedDataFolder().getAssetArchiveFile().getFullPathName() << "\n";
            return 0;
        }
        if (listMode)
        {
            if (positional.size() != 1)
                throw UsageError{"--list needs exactly one argument, ARCHIVE.mba"};
            return list(positional[0], out);
        }
        if (positional.size() < 2)
            throw UsageError{"expected OUTPUT.mba and at least one FOLDER"};
        return pack(positional, out);
    }
    catch (const UsageError& error)
    {
        err << "orvelund-pack-assets: " << error.message << " (see --help)\n";
        return 2;
    }
    catch (const std::exception& error)
    {
        err << "orvelund-pack-assets: " << error.what() << "\n";
        return 1;
    }
}
