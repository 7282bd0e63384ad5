#include "InstrumentParameters.h"

namespace
{
constexpr auto linear = SynthBase::Curve::linear;
}

// Parameter 0 answers controller 7 (channel volume); parameter i > 0 answers controller 18 + i.
const std::array<InstrumentParameterDescriptor, instrumentParameterCount> instrumentParameters{{
    {"Main Volume", "Volume", 0.0f, 1.0f, 0.7f, linear, 7},
    {"Attack vel mod", "ADSR Attack Vel Mod", 0.0f, 1.0f, 1.0f, linear, 19},
    {"High cut vel mod", "LPF Vel Mod", 0.0f, 1.0f, 1.0f, linear, 20},
    {"Volume vel mod", "Volume Vel Mod", 0.0f, 1.0f, 1.0f, linear, 21},
    {"Feedback vel mod", "Feedback Vel Mod", 0.0f, 1.0f, 1.0f, linear, 22},
    {"ADSR Attack", "ADSR Attack", 0.0001f, 1.0f, 0.01f, linear, 23},
    {"ADSR Decay", "ADSR Decay", 0.0001f, 1.0f, 0.1f, linear, 24},
    {"ADSR Sustain", "ADSR Sustain", 0.0f, 1.0f, 0.7f, linear, 25},
    {"ADSR Release", "ADSR Release", 0.001f, 1.0f, 0.3f, linear, 26},
    {"Osc 1 Morph", "Carrier Morph", 0.0f, 0.75f, 0.0f, linear, 27},
    {"Osc 1 Width", "Carrier PWM", 0.0f, 0.9f, 0.0f, linear, 28},
    {"Osc 2 Morph", "Modulator Morph", 0.0f, 0.75f, 0.0f, linear, 29},
    {"Osc 2 Width", "Modulator PWM", 0.0f, 0.9f, 0.0f, linear, 30},
    {"Mod Attack", "Mod Attack", 0.01f, 1.99f, 0.5f, linear, 31},
    {"Mod Decay", "Mod Decay", 0.01f, 1.99f, 0.5f, linear, 32},
    {"Mod Sustain", "Mod Sustain", 0.01f, 1.99f, 0.5f, linear, 33},
    {"Mod Release", "Mod Release", 0.01f, 1.99f, 0.5f, linear, 34},
    {"Mod Feedback", "Mod Feedback", 0.0f, 10.0f, 0.2f, linear, 35},
    {"Mod Freq Mult", "Mod Freq Mult", 0.0f, 5.0f, 0.25f, linear, 36},
    {"Wobble Speed", "Wobble Speed", 0.0f, 30.0f, 0.5f, linear, 37},
    {"Wobble Depth", "Wobble Depth", 0.0f, 0.1f, 0.5f, linear, 38},
    {"Highcut Freq", "LPF Freq", 0.0f, 1.0f, 0.9f, linear, 39},
    {"Highcut Reso", "LPF Reso", 0.03f, 3.0f, 0.1f, linear, 40},
    {"Chorus", "Chorus", 0.0f, 1.0f, 0.1f, linear, 41},
    {"Delay Tempo", "Delay BPM", 60.0f, 240.0f, 0.333f, linear, 42},
    {"Delay Feedback", "Delay Feedback", 0.0f, 0.9f, 0.4f, linear, 43},
    {"Delay Lowpass Filter", "Delay LPF", 0.0f, 1.0f, 0.2f, linear, 44},
    {"Delay Highpass Filter", "Delay HPF", 0.0f, 1.0f, 0.8f, linear, 45},
    {"Delay Mix", "Delay Mix", 0.0f, 1.0f, 0.4f, linear, 46},
    {"Delay Length", "Delay Length", 0.0f, 5.0f, 0.6f, linear, 47},
    {"Delay Sync to Host", "Delay Sync", 0.0f, 1.0f, 0.0f, linear, 48},
}};
