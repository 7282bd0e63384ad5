#pragma once

#include <juce_graphics/juce_graphics.h>

class AssetArchive;

// The images of one knob size, in the order the resizable knobs layer them.
struct KnobImageSet
{
    static constexpr int sizeCount = 4;

    juce::Image front, marksGrid, rangeTopGrid, rangeTop, range, top, shadow;

    // "XS", "S", "M", "L" for size indices 0..3; empty for any other index.
    static juce::String sizeName(int sizeIndex);
    // "knob_" + size + "_" + piece + ".png"
    static juce::String imageName(const juce::String& size, const juce::String& piece);
    // The decoration image of a fixed-size knob for its marks style.
    static juce::String fixedKnobMarksName(const juce::String& size, int marksStyle);

    static KnobImageSet load(AssetArchive& archive, int sizeIndex);
};
