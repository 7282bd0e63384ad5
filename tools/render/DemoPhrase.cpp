#include "DemoPhrase.h"

#include <initializer_list>

namespace
{
constexpr int midiChannel = 1;
constexpr double secondsPerBeat = 60.0 / demoPhraseTempo;

class PhraseBuilder
{
public:
    void note(int number, double startBeat, double lengthBeats, int velocity)
    {
        add(juce::MidiMessage::noteOn(midiChannel, number, (juce::uint8)velocity), startBeat);
        add(juce::MidiMessage::noteOff(midiChannel, number), startBeat + lengthBeats);
    }

    void chord(std::initializer_list<int> notes, double startBeat, double lengthBeats, int velocity)
    {
        for (int number : notes)
            note(number, startBeat, lengthBeats, velocity);
    }

    void pedal(bool down, double beat) { controller(64, down ? 127 : 0, beat); }

    void controller(int number, int value, double beat)
    {
        add(juce::MidiMessage::controllerEvent(midiChannel, number, value), beat);
    }

    // Moves a controller (or the bend, number -1) linearly between two values in 1/16 steps.
    void ramp(int number, int from, int to, double startBeat, double endBeat)
    {
        const int steps = juce::jmax(1, (int)((endBeat - startBeat) * 16.0));
        for (int i = 0; i <= steps; ++i)
        {
            const double beat = startBeat + (endBeat - startBeat) * i / steps;
            const int value = from + (int)std::lround((to - from) * (double)i / steps);
            if (number < 0)
                add(juce::MidiMessage::pitchWheel(midiChannel, value), beat);
            else
                controller(number, value, beat);
        }
    }

    juce::MidiMessageSequence take()
    {
        sequence.sort();
        sequence.updateMatchedPairs();
        return sequence;
    }

private:
    void add(juce::MidiMessage message, double beat)
    {
        message.setTimeStamp(beat * secondsPerBeat);
        sequence.addEvent(message);
    }

    juce::MidiMessageSequence sequence;
};
} // namespace

juce::MidiMessageSequence makeDemoPhrase()
{
    constexpr int bendCentre = 8192;
    constexpr int bendTop = 16383;
    constexpr int chorusController = 41;
    constexpr int chorusDefault = 13; // about the default chorus amount of 0.1

    PhraseBuilder phrase;

    // Bar 1: Cmaj7 under the pedal, a rising melody.
    phrase.pedal(true, 0.0);
    phrase.chord({48, 52, 55, 59}, 0.0, 3.5, 62);
    phrase.note(67, 0.0, 1.0, 88);
    phrase.note(76, 1.0, 1.0, 92);
    phrase.note(74, 2.0, 0.5, 82);
    phrase.note(72, 2.5, 1.5, 86);
    phrase.pedal(false, 3.9);

    // Bar 2: Am7, the first melody note bends up a whole tone and back.
    phrase.pedal(true, 4.0);
    phrase.chord({45, 48, 52, 55}, 4.0, 3.5, 60);
    phrase.note(76, 4.0, 2.0, 96);
    phrase.ramp(-1, bendCentre, bendTop, 4.5, 5.0);
    phrase.ramp(-1, bendTop, bendCentre, 5.25, 5.75);
    phrase.note(74, 6.0, 1.0, 82);
    phrase.note(72, 7.0, 0.75, 78);
    phrase.pedal(false, 7.9);

    // Bar 3: Fmaj7, a long melody note with a vibrato swell and a chorus sweep.
    phrase.pedal(true, 8.0);
    phrase.chord({41, 45, 48, 52}, 8.0, 3.5, 58);
    phrase.note(69, 8.0, 3.0, 90);
    phrase.ramp(1, 0, 100, 8.5, 10.0);
    phrase.ramp(1, 100, 0, 10.5, 11.0);
    phrase.ramp(chorusController, chorusDefault, 80, 8.0, 10.0);
    phrase.ramp(chorusController, 80, chorusDefault, 10.0, 12.0);
    phrase.pedal(false, 11.9);

    // Bar 4: G7 with quick notes, no pedal.
    phrase.chord({43, 47, 50, 53}, 12.0, 3.75, 60);
    phrase.note(71, 12.0, 0.5, 86);
    phrase.note(74, 12.5, 0.5, 80);
    phrase.note(77, 13.0, 0.5, 84);
    phrase.note(74, 13.5, 0.5, 76);
    phrase.note(79, 14.0, 1.75, 96);

    // Final chord, soft to loud.
    phrase.chord({36, 48, 55, 64}, 16.0, 3.0, 56);
    phrase.note(72, 16.0, 3.0, 100);

    return phrase.take();
}
