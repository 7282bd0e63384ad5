#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

// The byte layout of the instrument's parameter values: 31 little-endian float32 normalised
// values in parameter-index order. It is the payload of every preset file and the start of the
// host state.
namespace ParameterBlock
{
constexpr int valueCount = 31;
constexpr int valuesSize = valueCount * 4;
constexpr int delayMixIndex = 28;

// Appends the current value of every parameter.
void writeValues(juce::MemoryBlock& destination,
                 const juce::Array<juce::AudioProcessorParameter*>& parameters);

// Applies the values that the data covers (a last partial word reads as 0); when the data ends
// before the 31st value, "Delay Mix" is set to 0. Non-finite values fall back to the parameter's
// default. Answers the number of bytes that held values.
int readValues(const void* data, int sizeInBytes,
               const juce::Array<juce::AudioProcessorParameter*>& parameters);

// Reads a little-endian 32-bit word at offset; a word that the data does not fully hold reads as 0.
uint32_t readWord(const uint8_t* data, int sizeInBytes, int offset);
} // namespace ParameterBlock
