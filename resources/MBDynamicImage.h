#pragma once

#include "MBPixelFilter.h"

#include <juce_graphics/juce_graphics.h>

#include <memory>

// The canvas that static decoration is pre-rendered into: an ARGB image, created cleared, with
// direct access to its premultiplied pixels for the whole life of the canvas.
class MBDynamicImage
{
public:
    MBDynamicImage(int width, int height);
    virtual ~MBDynamicImage();

    MBDynamicImage(const MBDynamicImage&) = delete;
    MBDynamicImage& operator=(const MBDynamicImage&) = delete;

    virtual void clear();
    // Lowers each colour byte by colourAmount and the alpha byte by alphaAmount, stopping at 0.
    virtual void fade(int alphaAmount, int colourAmount);
    virtual void setPixelFilter(std::unique_ptr<MBPixelFilter> filter);
    virtual void setColour(juce::uint32 argb);
    // Coordinates past the last column or row land on it, never on the next row; negative ones
    // land on the first.
    virtual void setPixel(int x, int y, juce::uint32 argb);
    virtual juce::uint32 getPixel(int x, int y) const;
    virtual void drawPixel(int x, int y);

    int getWidth() const { return width; }
    int getHeight() const { return height; }
    juce::uint32 getColour() const { return colour; }
    juce::uint32 getPremultipliedColour() const { return premultipliedColour; }
    const juce::Image& getImage() const { return image; }

private:
    juce::uint32* pixelAt(int x, int y) const;

    std::unique_ptr<MBPixelFilter> pixelFilter;
    juce::uint32 colour = 0xffffffff;
    // Only setColour computes it, so until then drawPixel writes transparent black.
    juce::uint32 premultipliedColour = 0;
    int width;
    int height;
    juce::Image image;
    std::unique_ptr<juce::Image::BitmapData> pixels;
};
