#pragma once

#include "ChorusLine.h"
#include "DelayLine.h"
#include "TwoPoleLowPass.h"
#include "VoiceBank.h"

#include <array>

// The channel's effects, as a run of frames goes through them: the delay's band (filter A, then
// B, for the left and the right side), its lines, and the chorus.
struct EffectChain
{
    std::array<TwoPoleLowPass, 2>& inputFilterA;
    std::array<TwoPoleLowPass, 2>& inputFilterB;
    DelayLine& delayLeft;
    DelayLine& delayRight;
    ChorusLine& chorusLeft;
    ChorusLine& chorusRight;
};

// `count` frames set up alike through the delay (band, lines, mixed in at `mix`), the chorus
// (reading where the plans say, from their frame planFrame on) and the gain, in place, frame after
// frame. With a voice tail, each frame's input is the tail's next frame (from tailFrame on)
// instead of left[] and right[]: the tail's filter then runs alongside the effects'.
// The same arithmetic as the effects' own frame by frame code, in the widest vector unit the
// processor offers (chosen at run time): the two sides' filters run side by side.
void processEffectFrames(EffectChain& chain, float* left, float* right, int count, float mix, float gain,
                         const ChorusLine::ReadPlan& leftReads, const ChorusLine::ReadPlan& rightReads,
                         int planFrame, VoiceBank::Tail* tail, int tailFrame);
