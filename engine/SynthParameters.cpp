#include "SynthParameters.h"

#include <cmath>

namespace SynthBase
{

float plainFromNormalised(const ParameterRecord& record, float normalised)
{
    const float span = record.max - record.min;
    switch (record.curve)
    {
    case Curve::squared:
        return record.min + span * (normalised * normalised);
    case Curve::integer:
        return std::trunc(record.min + span * normalised);
    case Curve::linear:
    default:
        return record.min + span * normalised;
    }
}

float normalisedFromPlain(const ParameterRecord& record, float plain)
{
    const float span = record.max - record.min;
    if (span == 0.0f)
        return 0.0f;
    const float linear = (plain - record.min) / span;
    if (record.curve == Curve::squared)
        return std::sqrt(linear);
    return linear;
}

} // namespace SynthBase
