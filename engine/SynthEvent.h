#pragma once

#include <cstdint>

namespace SynthBase
{

enum SynthEventType : int32_t
{
    noteOnEvent = 0,
    noteOffEvent = 1,
    sustainEvent = 2,
    pitchBendEvent = 3,
    modWheelEvent = 4,
};

// One timestamped engine event. value1 carries the note frequency (note on/off), the pedal
// position, the bend (-1..1) or the wheel (0..1); value2 carries the velocity of note events.
struct SynthEvent
{
    int32_t type = noteOnEvent;
    int32_t frame = 0;
    int32_t note = 0;
    double value1 = 0.0;
    double value2 = 0.0;
};

} // namespace SynthBase
