#include "KnobImageSet.h"

#include "AssetArchive.h"

juce::String KnobImageSet::sizeName(int sizeIndex)
{
    static const char* const names[sizeCount] = {"XS", "S", "M", "L"};
    return juce::isPositiveAndBelow(sizeIndex, sizeCount) ? juce::String(names[sizeIndex]) : juce::String();
}

juce::String KnobImageSet::imageName(const juce::String& size, const juce::String& piece)
{
    return "knob_" + size + "_" + piece + ".png";
}

juce::String KnobImageSet::fixedKnobMarksName(const juce::String& size, int marksStyle)
{
    switch (marksStyle)
    {
    case 3:
        return imageName(size, "marks_range");
    case 4:
        return imageName(size, "marks_top");
    case 5:
        return imageName(size, "shadow");
    default:
        return imageName(size, "grid");
    }
}

KnobImageSet KnobImageSet::load(AssetArchive& archive, int sizeIndex)
{
    const auto size = sizeName(sizeIndex);
    if (size.isEmpty())
        return {};
    const auto get = [&](const char* piece) { return archive.loadImage(imageName(size, piece).toRawUTF8()); };

    KnobImageSet set;
    set.front = get("front");
    set.marksGrid = get("marks_grid");
    set.rangeTopGrid = get("marks_range-top-grid");
    set.rangeTop = get("marks_range-top");
    set.range = get("marks_range");
    set.top = get("marks_top");
    set.shadow = get("shadow");
    return set;
}
