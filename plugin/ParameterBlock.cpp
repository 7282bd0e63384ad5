#include "ParameterBlock.h"

#include <cmath>
#include <cstring>

namespace ParameterBlock
{

uint32_t readWord(const uint8_t* data, int sizeInBytes, int offset)
{
    if (offset < 0 || offset + 4 > sizeInBytes)
        return 0;
    return juce::ByteOrder::littleEndianInt(data + offset);
}

void writeValues(juce::MemoryBlock& destination,
                 const juce::Array<juce::AudioProcessorParameter*>& parameters)
{
    juce::MemoryOutputStream out(destination, true); // JUCE streams write little-endian
    for (int i = 0; i < valueCount; ++i)
        out.writeFloat(i < parameters.size() ? parameters[i]->getValue() : 0.0f);
}

int readValues(const void* data, int sizeInBytes,
               const juce::Array<juce::AudioProcessorParameter*>& parameters)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    const int size = (bytes == nullptr) ? 0 : juce::jmax(0, sizeInBytes);
    const int count = juce::jmin(valueCount, (int)parameters.size());

    int offset = 0;
    int index = 0;
    for (; index < count && offset < size; ++index, offset += 4)
    {
        const uint32_t bits = readWord(bytes, size, offset);
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        auto* parameter = parameters[index];
        // A damaged chunk must not put NaN or infinity into a parameter (and from there into
        // the engine and every later save); the default is the one value that is always sane.
        if (!std::isfinite(value))
            value = parameter->getDefaultValue();
        parameter->setValueNotifyingHost(juce::jlimit(0.0f, 1.0f, value));
    }

    if (index < valueCount && delayMixIndex < parameters.size())
        parameters[delayMixIndex]->setValueNotifyingHost(0.0f);

    return juce::jmin(offset, size);
}

} // namespace ParameterBlock
