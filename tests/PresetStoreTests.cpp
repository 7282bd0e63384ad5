#include "PresetStore.h"
#include "PresetTestSupport.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <unistd.h>

using namespace presettest;

namespace
{
PresetStore makeStore(const SupportFolders& folders)
{
    return PresetStore("orvelundpreset", "group.mossbrink.orvelund", 124, folders);
}

std::vector<juce::String> names(const PresetCategory& category)
{
    std::vector<juce::String> result;
    for (const auto& preset : category.presets)
        result.push_back(preset.name);
    return result;
}

juce::MemoryBlock bytes(std::initializer_list<uint32_t> words, size_t size)
{
    juce::MemoryBlock block;
    for (auto word : words)
        block.append(&word, sizeof word);
    block.setSize(size, true);
    return block;
}

class PresetStoreTest : public PresetFolders
{
};
} // namespace

TEST(PresetFileNames, DisplayNames)
{
    struct Case
    {
        const char* file;
        bool isUser;
        const char* expected;
    };
    for (const auto& c :
         {Case{"03_Soft_Keys.orvelundpreset", false, "Soft_Keys"}, Case{"01_LEADS", false, "LEADS"},
          Case{"Init.orvelundpreset", false, "Unknown name"}, Case{"01__Pad.orvelundpreset", false, "_Pad"},
          Case{"My Pad v1.2.orvelundpreset", true, "My Pad v1.2"}, Case{"Bass.orvelundpreset", true, "Bass"},
          Case{"NoDot", true, "NoDot"}, Case{"01_BELLS & FX", false, "BELLS & FX"}})
        EXPECT_EQ(PresetStore::displayNameFromFileName(c.file, c.isUser), c.expected) << c.file;
}

TEST(PresetFileFormat, HeaderRule)
{
    const uint32_t magic = PresetFileFormat::magic;
    const uint32_t tag = PresetFileFormat::tag;
    struct Case
    {
        const char* what;
        juce::MemoryBlock data;
        bool valid;
    };
    const Case cases[] = {
        {"written preset", PresetFileFormat::encodePresetFile(valuesBlock(0.5f)), true},
        {"headerless 124 bytes", valuesBlock(0.5f), true},
        {"headerless 125 bytes", valuesBlock(0.5f, 125), false},
        {"3 bytes", bytes({}, 3), false},
        {"header only", bytes({magic, tag, 0x01000000, 16}, 16), false},
        {"17 bytes", bytes({magic, tag, 0x01000000, 17}, 17), true},
        {"wrong tag", bytes({magic, tag + 1, 0x01000000, 140}, 140), false},
        {"wrong length word", bytes({magic, tag, 0x01000000, 139}, 140), false},
        {"any version", bytes({magic, tag, 7, 140}, 140), true},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(PresetFileFormat::isValidPresetData(c.data.getData(), c.data.getSize(), 124), c.valid)
            << c.what;
        const auto payload = PresetFileFormat::decodePresetData(c.data.getData(), c.data.getSize(), 124);
        EXPECT_EQ(payload.has_value(), c.valid) << c.what;
    }
    const auto file = PresetFileFormat::encodePresetFile(valuesBlock(0.5f));
    ASSERT_EQ(file.getSize(), 140u);
    const uint8_t header[] = {0x73, 0x73, 0x6F, 0x4D, 0x64, 0x61, 0x30, 0x47, 0, 0, 0, 1, 140, 0, 0, 0};
    EXPECT_EQ(std::memcmp(file.getData(), header, sizeof header), 0);
    EXPECT_EQ(PresetFileFormat::decodePresetData(file.getData(), 140, 124)->getSize(), 124u);
}

TEST_F(PresetStoreTest, ListsOnlyWholeValidFilesInCaseInsensitiveOrder)
{
    const auto user = userPresets();
    for (const char* name : {"B", "a", "10", "9"})
        writePreset(user.getChildFile(juce::String(name) + ".orvelundpreset"), 0.5f);
    writeFile(user.getChildFile("legacy.orvelundpreset"), valuesBlock(0.5f));
    writeFile(user.getChildFile("long.orvelundpreset"), valuesBlock(0.5f, 125));
    writeFile(user.getChildFile("tiny.orvelundpreset"), bytes({}, 3));
    writeFile(user.getChildFile("header.orvelundpreset"),
              bytes({PresetFileFormat::magic, PresetFileFormat::tag, 0, 16}, 16));
    writeFile(user.getChildFile("other.txt"), valuesBlock(0.5f));
    // A huge file that would pass the header rule is skipped without being read.
    const size_t huge = (size_t)PresetStore::maximumFileSize + 4;
    writeFile(user.getChildFile("huge.orvelundpreset"),
              bytes({PresetFileFormat::magic, PresetFileFormat::tag, 0, (uint32_t)huge}, huge));
    user.getChildFile("folder.orvelundpreset").createDirectory();
    ASSERT_EQ(symlink("/nonexistent/target",
                      user.getChildFile("dangling.orvelundpreset").getFullPathName().toRawUTF8()),
              0);

    auto store = makeStore(folders());
    ASSERT_EQ(store.getNumCategories(), 1) << "no shared folder: the user category alone";
    const auto& category = store.getCategory(0);
    EXPECT_TRUE(category.isUser);
    EXPECT_EQ(category.displayName, "User Presets");
    EXPECT_EQ(names(category), (std::vector<juce::String>{"10", "9", "a", "B", "legacy"}));
    for (size_t i = 0; i < category.presets.size(); ++i)
    {
        EXPECT_EQ(category.presets[i].index, (int)i);
        EXPECT_TRUE(category.presets[i].isUser);
        EXPECT_TRUE(category.presets[i].valid);
    }
    EXPECT_FALSE(store.getCurrent().valid);
    EXPECT_EQ(store.getCurrent().name, "missing preset");
}

TEST_F(PresetStoreTest, FactoryCategoriesComeFromSubFoldersAndSurviveLinkLoops)
{
    const auto factory = factoryRoot();
    writePreset(factory.getChildFile("2_BASS/01_Sub.orvelundpreset"), 0.5f);
    writePreset(factory.getChildFile("10_PADS/01__Pad.orvelundpreset"), 0.5f);
    writePreset(factory.getChildFile("10_PADS/Init.orvelundpreset"), 0.5f);
    writePreset(factory.getChildFile("loose.orvelundpreset"), 0.5f);
    ASSERT_EQ(symlink(factory.getFullPathName().toRawUTF8(),
                      factory.getChildFile("3_LOOP").getFullPathName().toRawUTF8()),
              0);

    auto store = makeStore(folders());
    ASSERT_EQ(store.getNumCategories(), 4);
    EXPECT_EQ(store.getCategory(0).displayName, "PADS") << "10_ sorts before 2_: character order";
    EXPECT_EQ(names(store.getCategory(0)), (std::vector<juce::String>{"_Pad", "Unknown name"}));
    EXPECT_EQ(store.getCategory(1).displayName, "BASS");
    EXPECT_EQ(store.getCategory(2).displayName, "LOOP");
    EXPECT_EQ(names(store.getCategory(2)), (std::vector<juce::String>{"Unknown name"}))
        << "the link shows the factory root's loose file, once";
    EXPECT_TRUE(store.getCategory(3).isUser);
    EXPECT_EQ(store.getUserCategoryIndex(), 3);
    EXPECT_EQ(store.getCategory(1).presets[0].categoryIndex, 1);
}

TEST_F(PresetStoreTest, SaveWritesTheFileRelistsAndMakesItCurrent)
{
    writePreset(userPresets().getChildFile("Keep.orvelundpreset"), 0.1f);
    const auto keptTime = userPresets().getChildFile("Keep.orvelundpreset").getLastModificationTime();
    auto store = makeStore(folders());
    const int user = store.getUserCategoryIndex();

    store.savePreset(valuesBlock(0.5f), "Lead", user);
    const auto file = userPresets().getChildFile("Lead.orvelundpreset");
    ASSERT_EQ(file.getSize(), 140);
    EXPECT_TRUE(store.getCurrent().valid);
    EXPECT_EQ(store.getCurrent().name, "Lead");
    EXPECT_EQ(store.getCurrent().path, file.getFullPathName());

    // Saving again replaces the file; nothing else in the folder is touched.
    store.savePreset(valuesBlock(0.75f), "Lead", user);
    juce::MemoryBlock data;
    ASSERT_TRUE(file.loadFileAsData(data));
    EXPECT_EQ(static_cast<const float*>(data.getData())[4], 0.75f);
    EXPECT_EQ(userPresets().getNumberOfChildFiles(juce::File::findFilesAndDirectories), 2);
    EXPECT_EQ(userPresets().getChildFile("Keep.orvelundpreset").getLastModificationTime(), keptTime);
    EXPECT_EQ(names(store.getCategory(user)), (std::vector<juce::String>{"Keep", "Lead"}));

    // Saves into factory categories or out of range do nothing.
    store.savePreset(valuesBlock(0.5f), "Nope", user + 1);
    store.savePreset(valuesBlock(0.5f), "Nope", -1);
    EXPECT_FALSE(userPresets().getChildFile("Nope.orvelundpreset").exists());
}

TEST_F(PresetStoreTest, AFileInTheWayOfTheUserFolderIsReportedAndNothingIsWritten)
{
    auto store = makeStore(folders());
    userPresets().deleteRecursively();
    ASSERT_TRUE(userPresets().replaceWithText("not a folder"));

    std::ostringstream captured;
    auto* previous = std::cout.rdbuf(captured.rdbuf());
    store.savePreset(valuesBlock(0.5f), "Pad", store.getUserCategoryIndex());
    std::cout.rdbuf(previous);

    EXPECT_EQ(captured.str(), "Invalid path (pathname is file)\n");
    EXPECT_EQ(userPresets().loadFileAsString(), "not a folder");
    EXPECT_EQ(folders().userFolder.getNumberOfChildFiles(juce::File::findFilesAndDirectories), 1);
    EXPECT_FALSE(store.getCurrent().valid);
}

TEST_F(PresetStoreTest, SelectionAndRelistingKeepTheCurrentRecordRight)
{
    for (const char* name : {"b", "c"})
        writePreset(userPresets().getChildFile(juce::String(name) + ".orvelundpreset"), 0.5f);
    auto store = makeStore(folders());
    const int user = store.getUserCategoryIndex();
    EXPECT_FALSE(store.selectPreset(user, 2));
    EXPECT_FALSE(store.selectPreset(user + 1, 0));
    EXPECT_FALSE(store.selectPreset(-1, 0));
    EXPECT_FALSE(store.getCurrent().valid) << "a failed select changes nothing";

    ASSERT_TRUE(store.selectPreset(user, 1));
    EXPECT_EQ(store.getCurrent().name, "c");
    writePreset(userPresets().getChildFile("a.orvelundpreset"), 0.5f);
    ASSERT_TRUE(store.scanCategory(user));
    EXPECT_EQ(store.getCurrent().index, 2) << "the current preset moved down when 'a' appeared";
    EXPECT_EQ(store.getCurrent().path, userPresets().getChildFile("c.orvelundpreset").getFullPathName());
}
