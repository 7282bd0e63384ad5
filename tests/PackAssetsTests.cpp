#include "AssetArchive.h"
#include "AssetTestSupport.h"
#include "PackAssetsCommand.h"
#include "SharedDataFolder.h"

#include <iomanip>
#include <map>
#include <sstream>

using namespace assettest;

namespace
{
struct CommandResult
{
    int exitCode;
    std::string out;
    std::string err;
};

CommandResult run(const std::vector<std::string>& arguments)
{
    std::ostringstream out, err;
    const int code = runPackAssetsCommand(arguments, out, err);
    return {code, out.str(), err.str()};
}

int countLines(const std::string& text)
{
    return (int)std::count(text.begin(), text.end(), '\n');
}

std::string binaryBlob(int length, int seed)
{
    std::string bytes((size_t)length, '\0');
    juce::Random random(seed);
    for (auto& b : bytes)
        b = (char)random.nextInt(256);
    return bytes;
}

class PackAssets : public TempFolderTest
{
protected:
    std::string path(const juce::String& relative) const
    {
        return folder.getChildFile(relative).getFullPathName().toStdString();
    }
};
} // namespace

TEST_F(PackAssets, RoundTripGivesEveryEntryBackByteIdentical)
{
    const std::string longest = "deep/" + std::string(58, 'x'); // 63 bytes, the most a slot holds
    const std::map<std::string, std::string> skin = {
        {"scale9_panel.png", pngBytes(filledImage(30, 30, juce::Colours::grey))},
        {"orvelund/bg.png", binaryBlob(70000, 1)},
        {"orvelund/sub/Case.PNG", binaryBlob(3, 2)},
        {"empty.bin", ""},
        {longest, "z"},
    };
    for (const auto& [name, bytes] : skin)
        writeFile(folder.getChildFile("skin").getChildFile(name), bytes);
    writeFile(folder.getChildFile("fonts-tree/fonts/face.ttf"), binaryBlob(5000, 3));
    writeFile(folder.getChildFile("skin/.gitkeep"), "");
    writeFile(folder.getChildFile("skin/.cache/leftover.png"), "x");

    folder.getChildFile("out").createDirectory();
    const auto result = run({path("out/Assets.mba"), path("skin"), path("fonts-tree")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");

    AssetArchive archive(folder.getChildFile("out/Assets.mba").getFullPathName());
    auto expected = skin;
    expected["fonts/face.ttf"] = binaryBlob(5000, 3);
    for (const auto& [name, bytes] : expected)
    {
        int size = -1;
        const auto* data = static_cast<const char*>(archive.getData(name.c_str(), size));
        ASSERT_NE(data, nullptr) << name;
        EXPECT_EQ(std::string(data, (size_t)size), bytes) << name;
    }
    EXPECT_TRUE(archive.loadImage("scale9_panel.png").isValid());

    // The listing shows each entry with its size, in name order, and nothing hidden.
    const auto listing = run({"--list", path("out/Assets.mba")});
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    std::ostringstream want;
    for (const auto& [name, bytes] : expected)
        want << std::setw(10) << bytes.size() << "  " << name << "\n";
    want << "6 entries, "
         << (70000 + 3 + 5000 + 1 + pngBytes(filledImage(30, 30, juce::Colours::grey)).size()) << " bytes\n";
    EXPECT_EQ(listing.out, want.str());
}

TEST_F(PackAssets, BadInputFailsWithOneLineAndLeavesTheTargetAlone)
{
    writeFile(folder.getChildFile("ok/a.png"), "a");
    writeFile(folder.getChildFile("long/" + std::string(60, 'y') + "/b.png"), "b"); // 66-byte name
    writeFile(folder.getChildFile("twin/a.png"), "again");
    folder.getChildFile("empty").createDirectory();
    writeFile(folder.getChildFile("target.mba"), "previous archive");

    const struct
    {
        const char* label;
        std::vector<std::string> arguments;
        const char* messagePart;
    } cases[] = {
        {"name too long", {path("target.mba"), path("long")}, "at most 63"},
        {"missing folder", {path("target.mba"), path("nowhere")}, "is not a folder"},
        {"nothing to pack", {path("target.mba"), path("empty")}, "no files"},
        {"name in two folders", {path("target.mba"), path("ok"), path("twin")}, "more than one folder"},
        {"target is a folder", {path("ok"), path("ok")}, "is a folder"},
        {"target folder missing", {path("new/target.mba"), path("ok")}, "its folder does not exist"},
        {"list of a non-archive", {"--list", path("ok/a.png")}, "not an asset archive"},
        {"list of a missing file", {"--list", path("gone.mba")}, "cannot read"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        const auto result = run(c.arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(countLines(result.err), 1) << result.err;
        EXPECT_EQ(result.err.rfind("orvelund-pack-assets: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(c.messagePart), std::string::npos) << result.err;
        EXPECT_EQ(folder.getChildFile("target.mba").loadFileAsString(), "previous archive");
    }
    // No temporary file is left behind beside the target.
    EXPECT_EQ(folder.getNumberOfChildFiles(juce::File::findFiles), 1);

    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {}, {path("target.mba")}, {"--list"}, {"--bogus", path("target.mba"), path("ok")}})
    {
        const auto result = run(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(countLines(result.err), 1) << result.err;
    }
}

TEST_F(PackAssets, ListRejectsArchivesWhoseEntriesLieOutsideTheFile)
{
    const auto good = rawArchive({{"a", "abc"}});
    writeFile(folder.getChildFile("cut.mba"), good.substr(0, good.size() - 1));
    const auto result = run({"--list", path("cut.mba")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("'a' lies outside the file"), std::string::npos) << result.err;
}

TEST(PackAssetsBuild, BuiltArchiveListsTheThreeFontsAndInstallPathIsTheSharedFolder)
{
    const auto listing = run({"--list", ORVELUND_ASSET_ARCHIVE});
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    for (const char* font : {"  fonts/overpass-regular.ttf\n", "  fonts/overpass-semibold.ttf\n",
                             "  fonts/overpass-mono-semibold.ttf\n"})
        EXPECT_NE(listing.out.find(font), std::string::npos) << font;

    const auto installPath = run({"--install-path"});
    EXPECT_EQ(installPath.exitCode, 0);
    EXPECT_EQ(installPath.out,
              SharedDataFolder().getAssetArchiveFile().getFullPathName().toStdString() + "\n");
}
