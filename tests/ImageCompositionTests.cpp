#include "AssetArchive.h"
#include "AssetTestSupport.h"
#include "KnobImageSet.h"
#include "MBDynamicImage.h"
#include "Scale9Frame.h"

using namespace assettest;

namespace
{
// Every pixel names its own coordinates: red = 8·x, green = 8·y, so a cut piece can be traced
// back to the source pixels it came from.
juce::Colour coordinateColour(int x, int y)
{
    return juce::Colour((juce::uint8)(8 * x), (juce::uint8)(8 * y), (juce::uint8)0x40, (juce::uint8)0xff);
}

juce::Image coordinateImage(int width, int height)
{
    juce::Image image(juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelAt(x, y, coordinateColour(x, y));
    return image;
}

struct PieceCase
{
    const char* label;
    juce::Image Scale9Frame::*piece;
    juce::Rectangle<int> source;
};

void expectPiecesCutFrom(const Scale9Frame& frame, const std::vector<PieceCase>& pieces)
{
    for (const auto& p : pieces)
    {
        SCOPED_TRACE(p.label);
        const auto& image = frame.*(p.piece);
        ASSERT_EQ(image.getWidth(), p.source.getWidth());
        ASSERT_EQ(image.getHeight(), p.source.getHeight());
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                ASSERT_EQ(image.getPixelAt(x, y), coordinateColour(p.source.getX() + x, p.source.getY() + y))
                    << "at " << x << ", " << y;
    }
}

juce::Image canvas(int width, int height)
{
    return juce::Image(juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
}
} // namespace

TEST(Scale9FrameCut, ThirdsOfAThirtyPixelPanel)
{
    const auto frame = Scale9Frame::cutInThirds(coordinateImage(30, 30));
    expectPiecesCutFrom(frame, {
                                   {"top-left", &Scale9Frame::topLeft, {0, 0, 10, 10}},
                                   {"top", &Scale9Frame::top, {14, 0, 2, 10}},
                                   {"top-right", &Scale9Frame::topRight, {20, 0, 10, 10}},
                                   {"left", &Scale9Frame::left, {0, 13, 10, 2}},
                                   {"right", &Scale9Frame::right, {20, 14, 10, 2}},
                                   {"bottom-left", &Scale9Frame::bottomLeft, {0, 20, 10, 10}},
                                   {"bottom", &Scale9Frame::bottom, {14, 20, 2, 10}},
                                   {"bottom-right", &Scale9Frame::bottomRight, {20, 20, 10, 10}},
                               });
    EXPECT_EQ(frame.fillColour, coordinateColour(15, 15));
    EXPECT_EQ(frame.cornerWidth, 10.0f);
    EXPECT_EQ(frame.cornerHeight, 10.0f);
}

TEST(Scale9FrameCut, UnevenSizesCutAtTheThirdsAndHalvesNotFromTheFarEdge)
{
    // 32 × 31 in thirds: cw = 10, ch = 10; the far pieces start at 20, not at 22 and 21.
    const auto thirds = Scale9Frame::cutInThirds(coordinateImage(32, 31));
    expectPiecesCutFrom(thirds, {
                                    {"top", &Scale9Frame::top, {15, 0, 2, 10}},
                                    {"left", &Scale9Frame::left, {0, 13, 10, 2}},
                                    {"right", &Scale9Frame::right, {20, 14, 10, 2}},
                                    {"bottom-right", &Scale9Frame::bottomRight, {20, 20, 10, 10}},
                                });
    EXPECT_EQ(thirds.cornerHeight, 10.0f) << "thirds draw square corners of the cut width";

    // 31 × 29 in halves: cw = hw = 15, ch = hh = 14.
    const auto halves = Scale9Frame::cutInHalves(coordinateImage(31, 29));
    expectPiecesCutFrom(halves, {
                                    {"top-left", &Scale9Frame::topLeft, {0, 0, 15, 14}},
                                    {"top", &Scale9Frame::top, {14, 0, 2, 14}},
                                    {"top-right", &Scale9Frame::topRight, {15, 0, 15, 14}},
                                    {"left", &Scale9Frame::left, {0, 12, 15, 2}},
                                    {"right", &Scale9Frame::right, {15, 13, 15, 2}},
                                    {"bottom-left", &Scale9Frame::bottomLeft, {0, 14, 15, 14}},
                                    {"bottom", &Scale9Frame::bottom, {14, 14, 2, 14}},
                                    {"bottom-right", &Scale9Frame::bottomRight, {15, 14, 15, 14}},
                                });
    EXPECT_EQ(halves.fillColour, coordinateColour(15, 14));
    EXPECT_EQ(halves.cornerWidth, 7.5f);
    EXPECT_EQ(halves.cornerHeight, 7.0f);
}

TEST(Scale9FrameCut, MissingSourceGivesNullPiecesAndTheNotePopupItsPlainBox)
{
    const auto frame = Scale9Frame::cutInThirds({});
    for (const auto* piece : {&frame.topLeft, &frame.top, &frame.topRight, &frame.left, &frame.right,
                              &frame.bottomLeft, &frame.bottom, &frame.bottomRight})
        EXPECT_TRUE(piece->isNull());
    EXPECT_EQ(frame.fillColour.getARGB(), 0u);

    const auto popup = Scale9Frame::forNotePopup({});
    EXPECT_TRUE(popup.topLeft.isNull());
    EXPECT_EQ(popup.fillColour.getARGB(), 0xff202020u);
    EXPECT_EQ(popup.cornerWidth, 5.0f);
    EXPECT_EQ(popup.cornerHeight, 5.0f);
    EXPECT_EQ(Scale9Frame::forNotePopup(coordinateImage(20, 20)).cornerWidth, 5.0f);
}

TEST(Scale9FrameDraw, CornersAtNaturalSizeEdgesStretchedCentreFilled)
{
    const auto frame = Scale9Frame::cutInThirds(coordinateImage(30, 30));
    auto target = canvas(80, 70);
    {
        juce::Graphics g(target);
        frame.draw(g, {4.0f, 6.0f, 70.0f, 60.0f}); // x 4..74, y 6..66
    }

    // Corners are drawn at their own size: exact copies of the source corners.
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
        {
            ASSERT_EQ(target.getPixelAt(4 + x, 6 + y), coordinateColour(x, y));
            ASSERT_EQ(target.getPixelAt(64 + x, 56 + y), coordinateColour(20 + x, 20 + y));
        }

    // The top strip stretches columns 14–15 along the edge; its rows stay rows 0–9.
    for (int x = 16; x < 62; ++x)
    {
        const auto pixel = target.getPixelAt(x, 6 + 5);
        EXPECT_GE(pixel.getRed(), 8 * 14 - 1) << x;
        EXPECT_LE(pixel.getRed(), 8 * 15 + 1) << x;
        EXPECT_NEAR(pixel.getGreen(), 8 * 5, 1) << x;
    }
    // The right strip stretches rows 14–15 downwards; its columns stay columns 20–29.
    for (int y = 18; y < 54; ++y)
    {
        const auto pixel = target.getPixelAt(64 + 3, y);
        EXPECT_NEAR(pixel.getRed(), 8 * 23, 1) << y;
        EXPECT_GE(pixel.getGreen(), 8 * 14 - 1) << y;
        EXPECT_LE(pixel.getGreen(), 8 * 15 + 1) << y;
    }
    // The centre is the fill colour; outside the rectangle nothing is drawn.
    EXPECT_EQ(target.getPixelAt(14, 16), coordinateColour(15, 15));
    EXPECT_EQ(target.getPixelAt(63, 55), coordinateColour(15, 15));
    EXPECT_EQ(target.getPixelAt(3, 5).getARGB(), 0u);
    EXPECT_EQ(target.getPixelAt(74, 66).getARGB(), 0u);
}

TEST(Scale9FrameDraw, FrameOfAMissingImageDrawsNothing)
{
    auto target = canvas(40, 40);
    {
        juce::Graphics g(target);
        Scale9Frame::cutInThirds({}).draw(g, {0.0f, 0.0f, 40.0f, 40.0f});
    }
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(target.getPixelAt(x, y).getARGB(), 0u);
}

TEST(MBDynamicImageTest, SetPixelClampsToTheLastColumnAndRow)
{
    MBDynamicImage image(5, 4);
    EXPECT_EQ(image.getImage().getFormat(), juce::Image::ARGB);

    const struct
    {
        int x, y;
        int expectX, expectY;
    } cases[] = {{5, 1, 4, 1}, {99, 2, 4, 2}, {2, 4, 2, 3}, {7, 9, 4, 3}, {1, 1, 1, 1}};
    juce::uint32 value = 0x11000000;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        image.clear();
        image.setPixel(c.x, c.y, value);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(image.getPixel(x, y), x == c.expectX && y == c.expectY ? value : 0u)
                    << x << ", " << y;
        // The canvas's image is the storage itself.
        EXPECT_EQ(image.getImage().getPixelAt(c.expectX, c.expectY).getAlpha(), value >> 24);
        value += 0x11000000;
    }
}

TEST(MBDynamicImageTest, ColourFadeAndFilter)
{
    MBDynamicImage image(3, 2);
    image.drawPixel(0, 0); // no colour set yet: the premultiplied colour is still 0
    EXPECT_EQ(image.getPixel(0, 0), 0u);

    image.setColour(0x80ff8040);
    EXPECT_EQ(image.getColour(), 0x80ff8040u);
    EXPECT_EQ(image.getPremultipliedColour(), 0x80804020u);
    image.drawPixel(1, 0);
    EXPECT_EQ(image.getPixel(1, 0), 0x80804020u);

    image.setPixel(2, 1, 0xff05ff10);
    image.fade(0x10, 0x08);
    EXPECT_EQ(image.getPixel(1, 0), 0x70783818u);
    EXPECT_EQ(image.getPixel(2, 1), 0xef00f708u);
    EXPECT_EQ(image.getPixel(0, 1), 0u);

    struct OrFilter : MBPixelFilter
    {
        void apply(juce::uint32& pixel, juce::uint32 v) override { pixel |= v; }
    };
    image.setPixelFilter(std::make_unique<OrFilter>());
    image.setPixel(2, 1, 0x00ff0000);
    EXPECT_EQ(image.getPixel(2, 1), 0xeffff708u);
}

TEST(KnobImageNames, SetAndFixedKnobNames)
{
    EXPECT_EQ(KnobImageSet::imageName("L", "marks_range-top"), "knob_L_marks_range-top.png");
    EXPECT_EQ(KnobImageSet::imageName("XS", "front"), "knob_XS_front.png");

    const char* sizes[] = {"XS", "S", "M", "L"};
    for (int i = 0; i < KnobImageSet::sizeCount; ++i)
        EXPECT_EQ(KnobImageSet::sizeName(i), sizes[i]);
    EXPECT_EQ(KnobImageSet::sizeName(4), "");
    EXPECT_EQ(KnobImageSet::sizeName(-1), "");

    const struct
    {
        int style;
        const char* name;
    } marks[] = {{0, "knob_S_grid.png"},      {2, "knob_S_grid.png"},   {3, "knob_S_marks_range.png"},
                 {4, "knob_S_marks_top.png"}, {5, "knob_S_shadow.png"}, {6, "knob_S_grid.png"},
                 {-1, "knob_S_grid.png"}};
    for (const auto& m : marks)
        EXPECT_EQ(KnobImageSet::fixedKnobMarksName("S", m.style), m.name) << m.style;
}

class KnobImageSetLoad : public TempFolderTest
{
};

TEST_F(KnobImageSetLoad, LoadsEachPieceUnderItsNameAndLeavesMissingOnesNull)
{
    // Every piece of the M set has its own width, so a mix-up shows.
    const char* pieces[] = {"front",           "marks_grid",  "marks_range-top-grid",
                            "marks_range-top", "marks_range", "marks_top",
                            "shadow"};
    std::vector<RawEntry> entries;
    for (int i = 0; i < 7; ++i)
        entries.push_back({KnobImageSet::imageName("M", pieces[i]).toStdString(),
                           pngBytes(filledImage(10 + i, 8, juce::Colours::white))});
    entries.push_back({"knob_L_front.png", pngBytes(filledImage(120, 120, juce::Colours::white))});
    AssetArchive archive(writeFile(folder.getChildFile("a.mba"), rawArchive(entries)).getFullPathName());

    const auto m = KnobImageSet::load(archive, 2);
    const juce::Image* ordered[] = {&m.front, &m.marksGrid, &m.rangeTopGrid, &m.rangeTop,
                                    &m.range, &m.top,       &m.shadow};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(ordered[i]->getWidth(), 10 + i) << pieces[i];

    const auto l = KnobImageSet::load(archive, 3);
    EXPECT_EQ(l.front.getWidth(), 120);
    EXPECT_TRUE(l.shadow.isNull());
    EXPECT_TRUE(KnobImageSet::load(archive, 7).front.isNull());
}
