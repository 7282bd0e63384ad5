#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

// The built-in demo: four bars of chords under a melody at 120 BPM, with the sustain pedal,
// a pitch bend, a mod-wheel swell and a sweep of the chorus controller, ending on a held chord.
// Time stamps are in seconds.
juce::MidiMessageSequence makeDemoPhrase();

constexpr double demoPhraseTempo = 120.0;
