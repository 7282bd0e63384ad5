#pragma once

#include "SynthParameters.h"

#include <array>

// The instrument's 31 parameters. The index is the contract shared by the host parameter list,
// the engine's parameter table, preset payloads and the host state, so the order never changes.
namespace ParameterIndex
{
enum : int
{
    mainVolume = 0,
    attackVelMod,
    highCutVelMod,
    volumeVelMod,
    feedbackVelMod,
    adsrAttack,
    adsrDecay,
    adsrSustain,
    adsrRelease,
    osc1Morph,
    osc1Width,
    osc2Morph,
    osc2Width,
    modAttack,
    modDecay,
    modSustain,
    modRelease,
    modFeedback,
    modFreqMult,
    wobbleSpeed,
    wobbleDepth,
    highcutFreq,
    highcutReso,
    chorus,
    delayTempo,
    delayFeedback,
    delayLowpass,
    delayHighpass,
    delayMix,
    delayLength,
    delaySyncToHost,
};
} // namespace ParameterIndex

struct InstrumentParameterDescriptor
{
    const char* id;   // host parameter ID and engine parameter name
    const char* name; // host display name
    float min;
    float max;
    float defaultValue; // normalised
    SynthBase::Curve curve;
    int controller; // bound MIDI controller number
};

constexpr int instrumentParameterCount = 31;

extern const std::array<InstrumentParameterDescriptor, instrumentParameterCount> instrumentParameters;
