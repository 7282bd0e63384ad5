#include "SharedDataFolder.h"

SharedDataFolder::SharedDataFolder()
    : SharedDataFolder(juce::File::getSpecialLocation(juce::File::commonApplicationDataDirectory))
{
}

SharedDataFolder::SharedDataFolder(const juce::File& rootFolder)
    : root(rootFolder)
{
}

juce::File SharedDataFolder::getProductFolder() const
{
    return root.getChildFile("Application Support").getChildFile("Mossbrink").getChildFile("Orvelund");
}

juce::File SharedDataFolder::getAssetArchiveFile() const
{
    return getProductFolder().getChildFile("appdata").getChildFile("Assets.mba");
}
