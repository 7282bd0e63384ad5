#include "MBDynamicImage.h"

MBDynamicImage::MBDynamicImage(int w, int h)
    : pixelFilter(std::make_unique<DefaultPixelFilter>())
    , width(juce::jmax(1, w))
    , height(juce::jmax(1, h))
    , image(juce::Image::ARGB, width, height, true, juce::SoftwareImageType())
    , pixels(std::make_unique<juce::Image::BitmapData>(image, juce::Image::BitmapData::readWrite))
{
}

MBDynamicImage::~MBDynamicImage()
{
    // The pixel access goes before the image it points into.
    pixels.reset();
}

juce::uint32* MBDynamicImage::pixelAt(int x, int y) const
{
    x = juce::jlimit(0, width - 1, x);
    y = juce::jlimit(0, height - 1, y);
    return reinterpret_cast<juce::uint32*>(pixels->getPixelPointer(x, y));
}

void MBDynamicImage::clear()
{
    for (int y = 0; y < height; ++y)
        std::fill_n(pixelAt(0, y), width, 0u);
}

void MBDynamicImage::fade(int alphaAmount, int colourAmount)
{
    const auto lower = [](juce::uint32 pixel, int shift, int amount)
    {
        const int value = (int)((pixel >> shift) & 0xff) - amount;
        return (juce::uint32)juce::jlimit(0, 255, value) << shift;
    };
    for (int y = 0; y < height; ++y)
    {
        auto* row = pixelAt(0, y);
        for (int x = 0; x < width; ++x)
            row[x] = lower(row[x], 24, alphaAmount) | lower(row[x], 16, colourAmount) |
                     lower(row[x], 8, colourAmount) | lower(row[x], 0, colourAmount);
    }
}

void MBDynamicImage::setPixelFilter(std::unique_ptr<MBPixelFilter> filter)
{
    if (filter != nullptr)
        pixelFilter = std::move(filter);
}

void MBDynamicImage::setColour(juce::uint32 argb)
{
    colour = argb;
    const juce::uint32 alpha = argb >> 24;
    const auto scaled = [alpha](juce::uint32 component) { return (component * alpha + 127) / 255; };
    premultipliedColour = (alpha << 24) | (scaled((argb >> 16) & 0xff) << 16) |
                          (scaled((argb >> 8) & 0xff) << 8) | scaled(argb & 0xff);
}

void MBDynamicImage::setPixel(int x, int y, juce::uint32 argb)
{
    pixelFilter->apply(*pixelAt(x, y), argb);
}

juce::uint32 MBDynamicImage::getPixel(int x, int y) const
{
    return *pixelAt(x, y);
}

void MBDynamicImage::drawPixel(int x, int y)
{
    setPixel(x, y, premultipliedColour);
}
