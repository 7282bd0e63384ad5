#pragma once

#include <juce_graphics/juce_graphics.h>

// A stretchable frame cut from one source image: four corners drawn at corner size, four edge
// strips two pixels thick stretched along their edge, and a centre filled with one colour.
struct Scale9Frame
{
    juce::Image topLeft, top, topRight, left, right, bottomLeft, bottom, bottomRight;
    float cornerWidth = 0.0f;
    float cornerHeight = 0.0f;
    juce::Colour fillColour;

    // Plates and tooltips: corners of a third of the source, drawn as squares whose side is the
    // cut width (their artwork is square-cornered at the skin's resolution).
    static Scale9Frame cutInThirds(const juce::Image& source);

    // Corners of half the source, drawn at half their pixel size because the owner draws in
    // editor coordinates, not in the double-resolution canvas.
    static Scale9Frame cutInHalves(const juce::Image& source);

    // The note pop-up's frame: halves of its image, or a plain dark box when the image is missing.
    static Scale9Frame forNotePopup(const juce::Image& source);

    void draw(juce::Graphics& g, juce::Rectangle<float> area) const;
};
