#include "AssetArchive.h"
#include "AssetTestSupport.h"
#include "SharedDataFolder.h"

#include <cstring>

using namespace assettest;

namespace
{
std::string entryText(AssetArchive& archive, const char* path)
{
    int size = -1;
    const auto* bytes = static_cast<const char*>(archive.getData(path, size));
    return bytes == nullptr ? std::string("<missing>") : std::string(bytes, (size_t)size);
}

bool isDefaultFont(const juce::Font& font)
{
    return font.getTypefaceName() == juce::Font().getTypefaceName();
}

// The font's rendering of text as outlines: empty when the typeface draws nothing.
juce::Rectangle<float> outlineBounds(const juce::Font& font, const juce::String& text)
{
    juce::GlyphArrangement glyphs;
    glyphs.addLineOfText(font.withHeight(32.0f), text, 0.0f, 0.0f);
    juce::Path path;
    glyphs.createPath(path);
    return path.getBounds();
}

class AssetArchiveTest : public TempFolderTest
{
protected:
    juce::File write(const std::string& bytes) { return writeFile(folder.getChildFile("Assets.mba"), bytes); }
};
} // namespace

TEST_F(AssetArchiveTest, UnusableArchivesBehaveAsEmpty)
{
    const std::string panel = pngBytes(filledImage(4, 4, juce::Colours::red));
    const std::string good = rawArchive({{"panel.png", panel}});
    std::string countTooLarge = good;
    countTooLarge[4] = (char)200; // claims entries whose index does not fit in the file

    const struct
    {
        const char* label;
        std::optional<std::string> contents; // none: no file at all
        bool emptyPath = false;
    } cases[] = {
        {"missing file", std::nullopt},
        {"empty path", std::nullopt, true},
        {"wrong magic", rawArchive({{"panel.png", panel}}, 0x6D626173)},
        {"entry count 0", rawArchive({})},
        {"shorter than the header", std::string("rab")},
        {"index longer than the file", countTooLarge},
        {"index cut short", good.substr(0, 50)},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        const auto file = folder.getChildFile("Assets.mba");
        file.deleteFile();
        if (c.contents)
            write(*c.contents);
        AssetArchive archive(c.emptyPath ? juce::String() : file.getFullPathName());

        int size = -1;
        EXPECT_EQ(archive.getData("panel.png", size), nullptr);
        EXPECT_EQ(size, 0);
        EXPECT_TRUE(archive.loadImage("panel.png").isNull());
        EXPECT_TRUE(isDefaultFont(archive.getFont("panel.png")));
    }

    // The same bytes, intact, are found: the cases above fail for their damage alone.
    AssetArchive intact(write(good).getFullPathName());
    EXPECT_EQ(intact.loadImage("panel.png").getWidth(), 4);
}

TEST_F(AssetArchiveTest, NamesMatchByteForByteAndTheFirstDuplicateWins)
{
    AssetArchive archive(write(rawArchive({{"fonts/a.bin", "first"},
                                           {"Panel.png", "upper"},
                                           {"fonts/a.bin", "second"},
                                           {"fonts/b.bin", "bee"}}))
                             .getFullPathName());
    EXPECT_EQ(entryText(archive, "fonts/a.bin"), "first");
    EXPECT_EQ(entryText(archive, "Panel.png"), "upper");
    EXPECT_EQ(entryText(archive, "fonts/b.bin"), "bee");
    for (const char* near :
         {"panel.png", "PANEL.PNG", "fonts/a.bi", "fonts/a.bin2", "a.bin", "/fonts/a.bin", ""})
        EXPECT_EQ(entryText(archive, near), "<missing>") << near;
    int size = -1;
    EXPECT_EQ(archive.getData(nullptr, size), nullptr);
    EXPECT_EQ(size, 0);
}

TEST_F(AssetArchiveTest, CachedBytesStayUntilReleasedAndAreNotReadAgain)
{
    const auto file = write(rawArchive({{"a", "alpha"}, {"b", "bravo"}}));
    AssetArchive archive(file.getFullPathName());

    int size = 0;
    const auto* first = archive.getData("a", size);
    ASSERT_NE(first, nullptr);

    // Rewrite the open file: a read from it now would see the new bytes.
    overwriteInPlace(file, rawArchive({{"a", "ALPHA"}, {"b", "BRAVO"}}));

    EXPECT_EQ(archive.getData("a", size), first);
    EXPECT_EQ(std::string((const char*)first, (size_t)size), "alpha");

    archive.release("never-fetched");
    archive.release("b");
    EXPECT_EQ(entryText(archive, "a"), "alpha");

    archive.release("a");
    archive.release("a");
    EXPECT_EQ(entryText(archive, "a"), "ALPHA");
}

TEST_F(AssetArchiveTest, ZeroLengthEntryIsPresentButNoImage)
{
    AssetArchive archive(write(rawArchive({{"empty.png", ""}, {"after", "x"}})).getFullPathName());
    int size = -1;
    EXPECT_NE(archive.getData("empty.png", size), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_TRUE(archive.loadImage("empty.png").isNull());
    EXPECT_TRUE(isDefaultFont(archive.getFont("empty.png")));
    EXPECT_EQ(entryText(archive, "after"), "x");
}

TEST_F(AssetArchiveTest, EntriesOutsideTheFileAreMissing)
{
    // The good entry comes first so that the damaged ones' defaults point past it.
    std::vector<RawEntry> entries = {
        {"good", "payload"},
        {"offset past end", "", 100000, 4},
        {"size past end", "abc", std::nullopt, 1 << 30},
        {"negative offset", "abc", -8, 3},
        {"negative size", "abc", std::nullopt, -1},
        {std::string(64, 'n'), "abc"}, // fills its slot: no terminating NUL
    };
    AssetArchive archive(write(rawArchive(entries)).getFullPathName());
    EXPECT_EQ(entryText(archive, "good"), "payload");
    for (size_t i = 1; i < entries.size(); ++i)
        EXPECT_EQ(entryText(archive, entries[i].name.c_str()), "<missing>") << entries[i].name;
    EXPECT_EQ(entryText(archive, std::string(63, 'n').c_str()), "<missing>");
}

TEST_F(AssetArchiveTest, LoadImageDecodesAndKeepsNoBytes)
{
    auto source = filledImage(6, 4, juce::Colour(0xff336699));
    source.setPixelAt(5, 3, juce::Colour(0xffff0000));
    const auto first = pngBytes(source);
    const auto file = write(rawArchive({{"one.png", first}, {"junk.png", "not an image at all"}}));
    AssetArchive archive(file.getFullPathName());

    const auto image = archive.loadImage("one.png");
    ASSERT_TRUE(image.isValid());
    EXPECT_EQ(image.getBounds(), source.getBounds());
    EXPECT_EQ(image.getPixelAt(0, 0).getARGB(), 0xff336699u);
    EXPECT_EQ(image.getPixelAt(5, 3).getARGB(), 0xffff0000u);
    EXPECT_TRUE(archive.loadImage("junk.png").isNull());

    // Nothing of the image stayed cached: after the entry's bytes change in the file, the new
    // image is decoded. The index was read at opening, so the layout stays as it was; the
    // decoder ignores the padding after the smaller image.
    auto second = pngBytes(filledImage(2, 2, juce::Colours::green));
    ASSERT_LE(second.size(), first.size());
    second.resize(first.size(), '\0');
    overwriteInPlace(file, rawArchive({{"one.png", second}, {"junk.png", "not an image at all"}}));
    EXPECT_EQ(archive.loadImage("one.png").getWidth(), 2);
}

TEST(AssetArchiveFonts, BuiltArchiveFontsRenderAsTheirOwnTypefaces)
{
    AssetArchive archive(ORVELUND_ASSET_ARCHIVE);
    const struct
    {
        const char* path;
        const char* family;
    } fonts[] = {
        {"fonts/overpass-regular.ttf", "Overpass"},
        {"fonts/overpass-semibold.ttf", "Overpass"},
        {"fonts/overpass-mono-semibold.ttf", "Overpass Mono"},
    };
    for (const auto& f : fonts)
    {
        SCOPED_TRACE(f.path);
        const auto font = archive.getFont(f.path);
        EXPECT_FALSE(isDefaultFont(font));
        EXPECT_EQ(font.getTypefaceName(), f.family);
        EXPECT_FALSE(outlineBounds(font, "Orvelund 0.5 dB").isEmpty());

        // Fonts stay cached: asking again builds from the same bytes.
        int size = 0;
        const auto* bytes = archive.getData(f.path, size);
        EXPECT_GT(size, 10000);
        EXPECT_EQ(archive.getFont(f.path).getTypefaceName(), f.family);
        EXPECT_EQ(archive.getData(f.path, size), bytes);
    }

    // The mono face really is monospaced and the proportional one is not.
    const auto mono = archive.getFont("fonts/overpass-mono-semibold.ttf").withHeight(20.0f);
    const auto regular = archive.getFont("fonts/overpass-regular.ttf").withHeight(20.0f);
    EXPECT_FLOAT_EQ(mono.getStringWidthFloat("iiii"), mono.getStringWidthFloat("MMMM"));
    EXPECT_LT(regular.getStringWidthFloat("iiii"), regular.getStringWidthFloat("MMMM"));
}

TEST_F(AssetArchiveTest, BytesThatAreNotAFontGiveTheDefaultFont)
{
    AssetArchive archive(write(rawArchive({{"fonts/broken.ttf", std::string(2000, 'x')}})).getFullPathName());
    EXPECT_TRUE(isDefaultFont(archive.getFont("fonts/broken.ttf")));
    EXPECT_TRUE(isDefaultFont(archive.getFont("fonts/absent.ttf")));
}

TEST(SharedDataFolderTest, ArchiveLiesInTheProductFolderUnderTheRoot)
{
    const juce::File root("/tmp/orvelund-root");
    EXPECT_EQ(SharedDataFolder(root).getAssetArchiveFile().getFullPathName(),
              "/tmp/orvelund-root/Application Support/Mossbrink/Orvelund/appdata/Assets.mba");
    EXPECT_EQ(SharedDataFolder().getAssetArchiveFile(),
              SharedDataFolder(juce::File::getSpecialLocation(juce::File::commonApplicationDataDirectory))
                  .getAssetArchiveFile());
}
