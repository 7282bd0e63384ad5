#pragma once

#include <juce_core/juce_core.h>

// The product's machine-wide data folder, which holds the asset archive. The product uses the
// fixed location under the system's common application-data folder; tests hand in a root of
// their own.
class SharedDataFolder
{
public:
    SharedDataFolder();
    explicit SharedDataFolder(const juce::File& root);

    // root/"Application Support/Mossbrink/Orvelund"
    juce::File getProductFolder() const;
    // The product folder's "appdata/Assets.mba".
    juce::File getAssetArchiveFile() const;

private:
    juce::File root;
};
