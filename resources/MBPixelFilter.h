#pragma once

#include <juce_core/juce_core.h>

// Decides how a value written to a canvas pixel lands in the pixel's storage.
class MBPixelFilter
{
public:
    virtual ~MBPixelFilter() = default;
    virtual void apply(juce::uint32& pixel, juce::uint32 value) = 0;
};

class DefaultPixelFilter : public MBPixelFilter
{
public:
    void apply(juce::uint32& pixel, juce::uint32 value) override { pixel = value; }
};
