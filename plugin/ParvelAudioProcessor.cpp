#include "ParvelAudioProcessor.h"

ParvelAudioProcessor::ParvelAudioProcessor(const BusesProperties& buses)
    : juce::AudioProcessor(buses)
{
}

ParvelAudioProcessor::~ParvelAudioProcessor() = default;

void ParvelAudioProcessor::createPresetStore(SupportFolders folders)
{
    presetStore = std::make_unique<PresetStore>(getPresetFileExtension(), getAppGroupIdentifier(),
                                                getLegacyPresetSize(), std::move(folders));
}

void ParvelAudioProcessor::writeState(juce::MemoryBlock&, bool) {}

void ParvelAudioProcessor::readState(const void*, int, bool) {}

void ParvelAudioProcessor::queueNoteOn(int, float) {}

void ParvelAudioProcessor::queueNoteOff(int, float) {}

void ParvelAudioProcessor::getStateInformation(juce::MemoryBlock& destination)
{
    writeState(destination, false);
}

void ParvelAudioProcessor::setStateInformation(const void* data, int sizeInBytes)
{
    readState(data, sizeInBytes, false);
}
