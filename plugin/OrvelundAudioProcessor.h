#pragma once

#include "ParvelAudioProcessor.h"

#include "InstrumentChannel.h"

#include <array>
#include <atomic>
#include <memory>

// The instrument as the host sees it: 31 automatable parameters, MIDI in, stereo (or mono) out.
// Each host block is rendered at twice the host rate and every second frame is kept.
class OrvelundAudioProcessor : public ParvelAudioProcessor
{
public:
    static constexpr int parameterCount = instrumentParameterCount;

    static constexpr const char* productFolderName = "Orvelund";

    // The product looks for presets in its fixed folders; tests pass folders of their own.
    OrvelundAudioProcessor();
    explicit OrvelundAudioProcessor(SupportFolders folders);
    ~OrvelundAudioProcessor() override;

    const juce::String getName() const override;
    void prepareToPlay(double sampleRate, int maximumBlockSize) override;
    void releaseResources() override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    using juce::AudioProcessor::processBlock;

    bool isBusesLayoutSupported(const BusesLayout& layout) const override;
    bool canAddBus(bool isInput) const override;
    bool canRemoveBus(bool isInput) const override;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool supportsMPE() const override;
    bool isMidiEffect() const override;
    juce::AudioProcessorParameter* getBypassParameter() const override;

    bool hasEditor() const override;
    juce::AudioProcessorEditor* createEditor() override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram(int index) override;
    const juce::String getProgramName(int index) override;
    void changeProgramName(int index, const juce::String& newName) override;

    juce::String getPresetFileExtension() const override;
    juce::String getAppGroupIdentifier() const override;
    int getLegacyPresetSize() const override;
    void writeState(juce::MemoryBlock& destination, bool forPreset) override;
    void readState(const void* data, int sizeInBytes, bool forPreset) override;
    void queueNoteOn(int note, float velocity) override;
    void queueNoteOff(int note, float velocity) override;

    juce::AudioParameterFloat& getHostParameter(int index) const { return *hostParameters[(size_t)index]; }
    int getControllerForParameter(int index) const { return controllerForParameter[(size_t)index]; }
    int getParameterForController(int controllerNumber) const;
    double getHostSampleRate() const { return hostSampleRate; }
    // The engine, for tests and tools; only the audio thread may render it.
    InstrumentChannel& getChannel() { return *channel; }

    // Largest absolute output sample of each side since the meters last read them. Written by
    // the audio thread, read and reset by the editor; a peak lost in between is accepted.
    std::atomic<float> peakLeft{0.0f};
    std::atomic<float> peakRight{0.0f};

private:
    static void callbackLockHook(bool lock, void* context);
    void handOverParameters(int numSamples);
    void handleMidi(const juce::MidiBuffer& midi, int numSamples);
    void updateHostTempo();
    static void raisePeak(std::atomic<float>& peak, float level);
    void chooseInitialPreset();
    void readIdentityTrailer(const uint8_t* data, int sizeInBytes);

    const juce::String presetFileExtension{"orvelundpreset"};
    const juce::String appGroupIdentifier{"group.mossbrink.orvelund"};
    double hostSampleRate = 44100.0;
    juce::AudioBuffer<float> oversampledBuffer;
    std::unique_ptr<InstrumentChannel> channel;
    std::array<int, parameterCount> controllerForParameter{};
    std::array<int, 128> parameterForController{};
    std::array<juce::AudioParameterFloat*, parameterCount> hostParameters{};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(OrvelundAudioProcessor)
};
