#pragma once

// Values that are the same for every voice in one engine frame, read once by the channel.
struct VoiceFrameInputs
{
    // The doubles first: no padding, so that two frames' inputs compare as bytes.
    double wheel = 0.0;
    double modulatorRatio = 1.0;
    float bendFactor = 1.0f; // 2^(2 bend / 12), single precision
    float wobbleSpeed = 0.0f;
    float carrierMorph = 0.0f;
    float carrierWidth = 1.0f;
    float modulatorMorph = 0.0f;
    float modulatorWidth = 1.0f;
    float wobbleDepth = 0.0f;
    float modFeedback = 0.0f;
    float cutoffPosition = 0.0f;
    float resonance = 0.0f;
};
