#include "MidiFileLoader.h"

#include <cmath>

std::vector<TimedMidiEvent> eventsFromSequence(const juce::MidiMessageSequence& sequence, double sampleRate)
{
    std::vector<TimedMidiEvent> events;
    events.reserve((size_t)sequence.getNumEvents());
    for (const auto* holder : sequence)
    {
        const auto& message = holder->message;
        // Channel messages only: the status byte of a channel message is 0x80..0xEF.
        if (message.getRawDataSize() < 1 || message.isMetaEvent() || message.isSysEx())
            continue;
        const auto status = message.getRawData()[0];
        if (status < 0x80 || status >= 0xF0)
            continue;
        const double seconds = message.getTimeStamp();
        if (!std::isfinite(seconds) || seconds < 0.0)
            continue;
        events.push_back({(int64_t)std::llround(seconds * sampleRate), message});
    }
    sortEvents(events);
    return events;
}

std::optional<LoadedMidi> loadMidiFile(const juce::File& file, double sampleRate, juce::String& error)
{
    if (!file.existsAsFile())
    {
        error = "cannot open MIDI file " + file.getFullPathName().quoted();
        return std::nullopt;
    }
    juce::FileInputStream stream(file);
    if (!stream.openedOk())
    {
        error = "cannot read MIDI file " + file.getFullPathName().quoted();
        return std::nullopt;
    }

    juce::MidiFile midiFile;
    if (!midiFile.readFrom(stream, false))
    {
        error = file.getFileName().quoted() + " is not a valid Standard MIDI File";
        return std::nullopt;
    }

    LoadedMidi loaded;
    juce::MidiMessageSequence tempoEvents;
    midiFile.findAllTempoEvents(tempoEvents);
    tempoEvents.sort();
    if (tempoEvents.getNumEvents() > 0)
    {
        const double secondsPerQuarter =
            tempoEvents.getEventPointer(0)->message.getTempoSecondsPerQuarterNote();
        if (std::isfinite(secondsPerQuarter) && secondsPerQuarter > 0.0)
            loaded.firstTempo = 60.0 / secondsPerQuarter;
    }

    midiFile.convertTimestampTicksToSeconds();
    // A corrupt delta time can put an event years away; refuse before rendering, and before the
    // sample positions could overflow.
    if (midiFile.getLastTimestamp() > maximumMidiFileSeconds)
    {
        error = file.getFileName().quoted() + " lasts longer than " +
                juce::String(maximumMidiFileSeconds / 3600.0) + " hours, the longest file rendered";
        return std::nullopt;
    }
    juce::MidiMessageSequence merged;
    for (int track = 0; track < midiFile.getNumTracks(); ++track)
        for (const auto* holder : *midiFile.getTrack(track))
            merged.addEvent(holder->message);
    // addEvent keeps equal time stamps in insertion order, so tracks keep their relative order.
    loaded.events = eventsFromSequence(merged, sampleRate);
    return loaded;
}
