#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>
#include <string>

// The built VST3 and LV2 bundles as a host sees them, through JUCE's own plug-in hosting.
enum class Format
{
    vst3,
    lv2
};

std::string formatName(Format format);

// A fresh instance of the built bundle, or null (with a test failure) when it cannot be loaded.
std::unique_ptr<juce::AudioPluginInstance> loadPlugin(Format format);

// The instrument's own state chunk inside a format's saved state, and a format's saved state
// (taken from a fresh instance) carrying another chunk.
juce::MemoryBlock chunkFromState(Format format, const juce::MemoryBlock& state);
juce::MemoryBlock stateWithChunk(Format format, const juce::MemoryBlock& templateState,
                                 const juce::MemoryBlock& chunk);
