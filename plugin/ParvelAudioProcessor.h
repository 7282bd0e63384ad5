#pragma once

#include "PresetStore.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

// The product framework's processor: a JUCE processor that also broadcasts a change message
// after every state read, with hooks for the preset file identity, the state payload and notes
// queued from the user interface.
class ParvelAudioProcessor : public juce::AudioProcessor, public juce::ChangeBroadcaster
{
public:
    explicit ParvelAudioProcessor(const BusesProperties& buses);
    ~ParvelAudioProcessor() override;

    virtual juce::String getPresetFileExtension() const = 0;
    virtual juce::String getAppGroupIdentifier() const = 0;
    // Byte length of a preset payload without header.
    virtual int getLegacyPresetSize() const { return 4919; }
    // Appends one parameter block to destination; forPreset leaves out the preset identity.
    virtual void writeState(juce::MemoryBlock& destination, bool forPreset);
    virtual void readState(const void* data, int sizeInBytes, bool forPreset);
    virtual void queueNoteOn(int note, float velocity);
    virtual void queueNoteOff(int note, float velocity);

    void getStateInformation(juce::MemoryBlock& destination) override;
    void setStateInformation(const void* data, int sizeInBytes) override;

    PresetStore& getPresetStore() { return *presetStore; }
    const PresetStore& getPresetStore() const { return *presetStore; }

protected:
    // Called by the product's constructor, once the preset hooks can answer.
    void createPresetStore(SupportFolders folders);

private:
    std::unique_ptr<PresetStore> presetStore;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(ParvelAudioProcessor)
};
