#pragma once

#include <cstdint>

namespace SynthBase
{

enum class Curve : int32_t
{
    linear = 0,
    integer = 1,
    squared = 2,
};

// What a channel reports for one of its parameters.
struct ParameterInfo
{
    const char* name = "";
    Curve curve = Curve::linear;
    float defaultValue = 0.0f; // normalised
    float min = 0.0f;
    float max = 1.0f;
};

// One row of the engine parameter table. "target" and the ramp value are normalised; the
// plain values are in the parameter's own range.
struct ParameterRecord
{
    float min = 0.0f;
    float max = 1.0f;
    float target = 0.0f;
    int32_t inRampList = 0;
    float rampValue = 0.0f;
    float rampStep = 0.0f;
    float rampTime = 0.0f;
    int32_t rampActive = 0;
    float currentPlain = 0.0f;
    float targetPlain = 0.0f;
    Curve curve = Curve::linear;
    const char* name = "";
    int32_t changed = 0;
    int32_t moving = 0; // on the channel's list of ramps that move
};

float plainFromNormalised(const ParameterRecord& record, float normalised);
float normalisedFromPlain(const ParameterRecord& record, float plain);

} // namespace SynthBase
