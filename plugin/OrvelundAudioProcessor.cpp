#include "OrvelundAudioProcessor.h"

#include "ParameterBlock.h"

#include <cmath>

namespace
{
constexpr int sustainController = 64;
constexpr double defaultTempo = 120.0;
} // namespace

OrvelundAudioProcessor::OrvelundAudioProcessor()
    : OrvelundAudioProcessor(SupportFolders::forProduct(productFolderName))
{
}

OrvelundAudioProcessor::OrvelundAudioProcessor(SupportFolders folders)
    : ParvelAudioProcessor(BusesProperties().withOutput("Output", juce::AudioChannelSet::stereo(), true))
{
    createPresetStore(std::move(folders));
    oversampledBuffer.setSize(2, 16000);
    channel = std::make_unique<InstrumentChannel>();
    channel->setLockHook(&callbackLockHook, this);

    parameterForController.fill(-1);
    for (int i = 0; i < parameterCount; ++i)
    {
        controllerForParameter[(size_t)i] = instrumentParameters[(size_t)i].controller;
        parameterForController[(size_t)controllerForParameter[(size_t)i]] = i;
    }

    for (int i = 0; i < channel->getNumParameters(); ++i)
    {
        const auto& descriptor = instrumentParameters[(size_t)i];
        auto parameter = std::make_unique<juce::AudioParameterFloat>(
            juce::ParameterID{descriptor.id, 1}, descriptor.name,
            juce::NormalisableRange<float>(0.0f, 1.0f, 0.0f, 1.0f, false), descriptor.defaultValue);
        hostParameters[(size_t)i] = parameter.get();
        addParameter(parameter.release());
    }

    chooseInitialPreset();
}

void OrvelundAudioProcessor::chooseInitialPreset()
{
    // Selected, not loaded: the parameters keep their defaults.
    auto& store = getPresetStore();
    for (const auto& category : store.getCategories())
    {
        if (category.displayName != "LEADS")
            continue;
        for (const auto& preset : category.presets)
            if (preset.name == "INIT")
            {
                store.setCurrent(preset);
                return;
            }
    }
    store.getCurrent().valid = false;
    store.getCurrent().name = "INIT";
}

OrvelundAudioProcessor::~OrvelundAudioProcessor() = default;

void OrvelundAudioProcessor::callbackLockHook(bool lock, void* context)
{
    const auto& callbackLock = static_cast<OrvelundAudioProcessor*>(context)->getCallbackLock();
    if (lock)
        callbackLock.enter();
    else
        callbackLock.exit();
}

const juce::String OrvelundAudioProcessor::getName() const
{
    return "Orvelund";
}

void OrvelundAudioProcessor::prepareToPlay(double sampleRate, int maximumBlockSize)
{
    // A host that reports no usable rate keeps the previous one rather than breaking the engine.
    if (!std::isfinite(sampleRate) || sampleRate <= 0.0)
        return;
    hostSampleRate = sampleRate;
    channel->setSampleRate(2.0 * sampleRate);
    // Reserve room for the announced block so that the audio thread need not allocate.
    if (maximumBlockSize > 0 && 2 * maximumBlockSize > oversampledBuffer.getNumSamples())
        oversampledBuffer.setSize(2, 2 * maximumBlockSize, false, false, true);
}

void OrvelundAudioProcessor::releaseResources() {}

int OrvelundAudioProcessor::getParameterForController(int controllerNumber) const
{
    if (controllerNumber < 0 || controllerNumber >= (int)parameterForController.size())
        return -1;
    return parameterForController[(size_t)controllerNumber];
}

void OrvelundAudioProcessor::handOverParameters(int numSamples)
{
    const auto rampSeconds = (float)(2.0 * numSamples / hostSampleRate);
    for (int i = 0; i < parameterCount; ++i)
    {
        float value = static_cast<juce::AudioProcessorParameter*>(hostParameters[(size_t)i])->getValue();
        // The host's parameter objects clamp the range but let NaN through.
        if (!std::isfinite(value))
            value = channel->getParameterNormalised(i);
        channel->setParameterNormalisedRamped(i, juce::jlimit(0.0f, 1.0f, value), rampSeconds);
    }
}

void OrvelundAudioProcessor::handleMidi(const juce::MidiBuffer& midi, int numSamples)
{
    for (const auto metadata : midi)
    {
        const int size = metadata.numBytes;
        const uint8_t* data = metadata.data;
        const int b0 = size > 0 ? data[0] : 0;
        const int b1 = size > 1 ? data[1] : 0;
        const int b2 = size > 2 ? data[2] : 0;
        const int position = metadata.samplePosition;

        // Events outside the block would never be dispatched; one before the block would even
        // hold back the events after it.
        if (position >= 0 && position < numSamples)
        {
            if (size == 3)
                channel->handleMidiMessage(b0, b1, b2, 2 * position, true);
            else if (size == 2)
                channel->handleMidiMessage(b0, b1, 0, 2 * position, true);
        }

        if ((b0 & 0xF0) == 0xB0 && b1 != sustainController && b1 < 128 && b2 < 128)
        {
            const int index = parameterForController[(size_t)b1];
            if (index >= 0)
                hostParameters[(size_t)index]->setValueNotifyingHost((float)b2 / 127.0f);
        }
    }
}

void OrvelundAudioProcessor::updateHostTempo()
{
    auto* host = getPlayHead();
    if (host == nullptr)
    {
        channel->setHostTempo(0.0);
        return;
    }
    double tempo = defaultTempo;
    if (const auto position = host->getPosition())
        if (const auto bpm = position->getBpm())
            tempo = *bpm;
    if (!std::isfinite(tempo))
        tempo = defaultTempo;
    channel->setHostTempo(juce::jlimit(60.0, 240.0, tempo));
}

void OrvelundAudioProcessor::raisePeak(std::atomic<float>& peak, float level)
{
    if (level > peak.load(std::memory_order_relaxed))
        peak.store(level, std::memory_order_relaxed);
}

void OrvelundAudioProcessor::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    juce::ScopedNoDenormals noDenormals;
    const int numSamples = buffer.getNumSamples();

    if (numSamples > 0)
        handOverParameters(numSamples);
    handleMidi(midi, numSamples);
    channel->dispatchParameterChanges();
    channel->beginBlock(0);

    const int frames = 2 * numSamples;
    if (oversampledBuffer.getNumChannels() != 2 || oversampledBuffer.getNumSamples() != frames)
        oversampledBuffer.setSize(2, frames, false, false, true);

    updateHostTempo();

    const bool stereo = getTotalNumOutputChannels() >= 2;
    float* left = oversampledBuffer.getWritePointer(0);
    float* right = oversampledBuffer.getWritePointer(1);
    channel->renderFrames(0, frames, left, right);
    channel->endBlock();

    const int hostChannels = buffer.getNumChannels();
    if (hostChannels == 0 || numSamples == 0)
        return;

    float* hostLeft = buffer.getWritePointer(0);
    for (int k = 0; k < numSamples; ++k)
        hostLeft[k] = left[2 * k];
    if (stereo && hostChannels >= 2)
    {
        float* hostRight = buffer.getWritePointer(1);
        for (int k = 0; k < numSamples; ++k)
            hostRight[k] = right[2 * k];
    }

    if (hostChannels == 2)
    {
        raisePeak(peakLeft, buffer.getMagnitude(0, 0, numSamples));
        raisePeak(peakRight, buffer.getMagnitude(1, 0, numSamples));
    }
    else
    {
        raisePeak(peakLeft, buffer.getMagnitude(0, 0, numSamples));
        peakRight.store(peakLeft.load(std::memory_order_relaxed), std::memory_order_relaxed);
    }
}

bool OrvelundAudioProcessor::isBusesLayoutSupported(const BusesLayout& layout) const
{
    if (!layout.inputBuses.isEmpty() || layout.outputBuses.size() != 1)
        return false;
    const auto output = layout.getMainOutputChannelSet();
    return output == juce::AudioChannelSet::mono() || output == juce::AudioChannelSet::stereo();
}

bool OrvelundAudioProcessor::canAddBus(bool) const
{
    return false;
}

bool OrvelundAudioProcessor::canRemoveBus(bool) const
{
    return false;
}

double OrvelundAudioProcessor::getTailLengthSeconds() const
{
    return 0.0;
}

bool OrvelundAudioProcessor::acceptsMidi() const
{
    return true;
}

bool OrvelundAudioProcessor::producesMidi() const
{
    return false;
}

bool OrvelundAudioProcessor::supportsMPE() const
{
    return false;
}

bool OrvelundAudioProcessor::isMidiEffect() const
{
    return false;
}

juce::AudioProcessorParameter* OrvelundAudioProcessor::getBypassParameter() const
{
    return nullptr;
}

bool OrvelundAudioProcessor::hasEditor() const
{
    return true;
}

juce::AudioProcessorEditor* OrvelundAudioProcessor::createEditor()
{
    // Until the skinned editor exists, hosts get JUCE's generic list of the parameters.
    return new juce::GenericAudioProcessorEditor(*this);
}

int OrvelundAudioProcessor::getNumPrograms()
{
    return 1;
}

int OrvelundAudioProcessor::getCurrentProgram()
{
    return 0;
}

void OrvelundAudioProcessor::setCurrentProgram(int) {}

const juce::String OrvelundAudioProcessor::getProgramName(int)
{
    return {};
}

void OrvelundAudioProcessor::changeProgramName(int, const juce::String&) {}

juce::String OrvelundAudioProcessor::getPresetFileExtension() const
{
    return presetFileExtension;
}

juce::String OrvelundAudioProcessor::getAppGroupIdentifier() const
{
    return appGroupIdentifier;
}

int OrvelundAudioProcessor::getLegacyPresetSize() const
{
    return ParameterBlock::valuesSize;
}

void OrvelundAudioProcessor::writeState(juce::MemoryBlock& destination, bool forPreset)
{
    ParameterBlock::writeValues(destination, getParameters());

    const auto& store = getPresetStore();
    const auto& current = store.getCurrent();
    if (forPreset || !current.valid || current.categoryIndex < 0 ||
        current.categoryIndex >= store.getNumCategories())
        return;
    juce::MemoryOutputStream out(destination, true);
    out.writeInt(store.getCategory(current.categoryIndex).displayName.hashCode());
    out.writeInt(current.name.hashCode());
}

void OrvelundAudioProcessor::readState(const void* data, int sizeInBytes, bool forPreset)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    const int size = bytes == nullptr ? 0 : juce::jmax(0, sizeInBytes);
    ParameterBlock::readValues(bytes, size, getParameters());
    if (!forPreset && size > ParameterBlock::valuesSize)
        readIdentityTrailer(bytes, size);
    sendChangeMessage();
}

void OrvelundAudioProcessor::readIdentityTrailer(const uint8_t* data, int sizeInBytes)
{
    const auto categoryHash =
        (int32_t)ParameterBlock::readWord(data, sizeInBytes, ParameterBlock::valuesSize);
    const auto presetHash =
        (int32_t)ParameterBlock::readWord(data, sizeInBytes, ParameterBlock::valuesSize + 4);

    auto& store = getPresetStore();
    for (const auto& category : store.getCategories())
    {
        if (category.displayName.hashCode() != categoryHash)
            continue;
        for (const auto& preset : category.presets)
            if (preset.name.hashCode() == presetHash)
            {
                if (!store.selectPreset(category.index, preset.index))
                    store.getCurrent().valid = false;
                return;
            }
    }
    store.getCurrent().valid = false;
}

void OrvelundAudioProcessor::queueNoteOn(int note, float velocity)
{
    channel->noteOn(0, note, 0, false, velocity);
}

void OrvelundAudioProcessor::queueNoteOff(int note, float velocity)
{
    channel->noteOff(0, note, 0, false, velocity);
}
