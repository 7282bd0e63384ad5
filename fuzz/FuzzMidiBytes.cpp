#include "FuzzSupport.h"

// Raw MIDI into the processor, as a host's buffer carries it. The input is a block length
// followed by events, each a sample position, a length and that many bytes of anything: status
// or not, truncated, overlong, SysEx, data bytes above 127, positions outside the block.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    auto& p = fuzzing::processor();
    const int numSamples = ((data[0] | (data[1] << 8)) % 2048);
    size_t at = 2;

    juce::MidiBuffer midi;
    while (at + 2 <= size)
    {
        // Positions reach a little past both ends of the block.
        const int position = (int)data[at] * (numSamples + 16) / 256 - 8;
        const auto length = (uint16_t)std::min<size_t>(data[at + 1], size - at - 2);
        at += 2;
        midi.data.addArray(reinterpret_cast<const uint8_t*>(&position), (int)sizeof position);
        midi.data.addArray(reinterpret_cast<const uint8_t*>(&length), (int)sizeof length);
        midi.data.addArray(data + at, (int)length);
        at += length;
    }

    fuzzing::renderChecked(p, numSamples, midi);
    fuzzing::expectParametersInRange(p);
    // What stays sounding from one input to the next is silenced, so each input starts alike.
    juce::MidiBuffer reset;
    reset.addEvent(juce::MidiMessage::controllerEvent(1, 120, 0), 0);
    reset.addEvent(juce::MidiMessage::controllerEvent(1, 64, 0), 0);
    fuzzing::renderChecked(p, 1, reset);
    return 0;
}
