#pragma once

#include <juce_core/juce_core.h>

// The two folders the product reads and writes: the per-user folder (user presets) and the
// machine-wide folder (factory presets, the asset archive).
struct SupportFolders
{
    juce::File userFolder;
    juce::File sharedFolder;

    // The product's fixed locations under the system's application-data folders.
    static SupportFolders forProduct(const juce::String& productFolderName);

    // The same layout under other roots, so that tests never touch the real folders. The user
    // levels are created when missing; nothing is created under the shared root.
    static SupportFolders fromRoots(const juce::File& userRoot, const juce::File& sharedRoot,
                                    const juce::String& productFolderName);
};
