#pragma once

#include "HostRenderer.h"

#include <juce_audio_basics/juce_audio_basics.h>

struct LoadedMidi
{
    std::vector<TimedMidiEvent> events; // channel messages only, sorted by sample position
    double firstTempo = 120.0;          // beats per minute; 120 when the file sets none
};

// Files whose events reach further than this are refused.
constexpr double maximumMidiFileSeconds = 2.0 * 3600.0;

// Reads a Standard MIDI File and places every channel message of every track at the host
// sample nearest to its time in seconds (from the file's tempo map). Meta and SysEx events are
// left out. Answers nothing and sets error when the file cannot be read or is not MIDI.
std::optional<LoadedMidi> loadMidiFile(const juce::File& file, double sampleRate, juce::String& error);

// Places timed messages (time stamps in seconds) at host samples, as the file loader does.
std::vector<TimedMidiEvent> eventsFromSequence(const juce::MidiMessageSequence& sequence, double sampleRate);
