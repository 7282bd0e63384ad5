#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Plug-in hosting and change messages need a message manager on this (the main) thread.
    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
