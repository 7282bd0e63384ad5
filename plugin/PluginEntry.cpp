#include "OrvelundAudioProcessor.h"

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new OrvelundAudioProcessor();
}
