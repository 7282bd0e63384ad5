#include "Scale9Frame.h"

namespace
{
// farX and farY place the right column and bottom row of pieces. They are where the thirds or
// halves of the source begin, which for sizes that do not divide evenly is not W - cw.
Scale9Frame cut(const juce::Image& source, int cw, int ch, int farX, int farY)
{
    Scale9Frame frame;
    if (source.isNull())
    {
        frame.fillColour = juce::Colour(0x00000000);
        return frame;
    }

    const int hw = source.getWidth() / 2;
    const int hh = source.getHeight() / 2;
    const auto piece = [&source](int x, int y, int w, int h) { return source.getClippedImage({x, y, w, h}); };

    frame.topLeft = piece(0, 0, cw, ch);
    frame.left = piece(0, hh - 2, cw, 2);
    frame.bottomLeft = piece(0, farY, cw, ch);
    frame.top = piece(hw - 1, 0, 2, ch);
    frame.bottom = piece(hw - 1, farY, 2, ch);
    frame.topRight = piece(farX, 0, cw, ch);
    frame.right = piece(farX, hh - 1, cw, 2);
    frame.bottomRight = piece(farX, farY, cw, ch);
    frame.fillColour = source.getPixelAt(hw, hh);
    return frame;
}

void drawPiece(juce::Graphics& g, const juce::Image& piece, float x, float y, float w, float h)
{
    if (piece.isNull() || g.isClipEmpty() || w <= 0.0f || h <= 0.0f)
        return;
    const auto transform =
        juce::AffineTransform::scale(w / (float)piece.getWidth(), h / (float)piece.getHeight())
            .translated(x, y);
    g.drawImageTransformed(piece, transform);
}
} // namespace

Scale9Frame Scale9Frame::cutInThirds(const juce::Image& source)
{
    const int cw = source.getWidth() / 3;
    const int ch = source.getHeight() / 3;
    auto frame = cut(source, cw, ch, 2 * cw, 2 * ch);
    frame.cornerWidth = frame.cornerHeight = (float)cw;
    return frame;
}

Scale9Frame Scale9Frame::cutInHalves(const juce::Image& source)
{
    const int cw = source.getWidth() / 2;
    const int ch = source.getHeight() / 2;
    auto frame = cut(source, cw, ch, cw, ch);
    frame.cornerWidth = (float)cw * 0.5f;
    frame.cornerHeight = (float)ch * 0.5f;
    return frame;
}

Scale9Frame Scale9Frame::forNotePopup(const juce::Image& source)
{
    if (source.isValid())
        return cutInHalves(source);
    Scale9Frame frame;
    frame.fillColour = juce::Colour(0xff202020);
    frame.cornerWidth = frame.cornerHeight = 5.0f;
    return frame;
}

void Scale9Frame::draw(juce::Graphics& g, juce::Rectangle<float> area) const
{
    const float x = area.getX(), y = area.getY(), w = area.getWidth(), h = area.getHeight();
    const float a = cornerWidth, b = cornerHeight;

    drawPiece(g, topLeft, x, y, a, b);
    drawPiece(g, top, x + a, y, w - 2 * a, b);
    drawPiece(g, topRight, x + w - a, y, a, b);
    drawPiece(g, right, x + w - a, y + b, a, h - 2 * b);
    drawPiece(g, bottomRight, x + w - a, y + h - b, a, b);
    drawPiece(g, bottom, x + a, y + h - b, w - 2 * a, b);
    drawPiece(g, bottomLeft, x, y + h - b, a, b);
    drawPiece(g, left, x, y + b, a, h - 2 * b);

    g.setColour(fillColour);
    g.fillRect(juce::Rectangle<float>(x + a, y + b, w - 2 * a, h - 2 * b));
}
