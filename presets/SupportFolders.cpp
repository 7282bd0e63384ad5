#include "SupportFolders.h"

namespace
{
const juce::String applicationSupport{"Application Support"};
const juce::String makerFolderName{"Mossbrink"};
} // namespace

SupportFolders SupportFolders::forProduct(const juce::String& productFolderName)
{
    return fromRoots(juce::File::getSpecialLocation(juce::File::userApplicationDataDirectory),
                     juce::File::getSpecialLocation(juce::File::commonApplicationDataDirectory),
                     productFolderName);
}

SupportFolders SupportFolders::fromRoots(const juce::File& userRoot, const juce::File& sharedRoot,
                                         const juce::String& productFolderName)
{
    SupportFolders folders;

    const auto userMaker = userRoot.getChildFile(applicationSupport).getChildFile(makerFolderName);
    if (!userMaker.isDirectory())
        userMaker.createDirectory();
    folders.userFolder = userMaker.getChildFile(productFolderName);
    if (!folders.userFolder.isDirectory())
        folders.userFolder.createDirectory();

    folders.sharedFolder = sharedRoot.getChildFile(applicationSupport).getChildFile(makerFolderName);
    if (folders.sharedFolder.isDirectory())
        folders.sharedFolder = folders.sharedFolder.getChildFile(productFolderName);
    return folders;
}
