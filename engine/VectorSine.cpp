#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "VectorSine.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/highway.h>

#include "SineLanes-inl.h"
#include "VectorSine.h"

#include <cmath>

HWY_BEFORE_NAMESPACE();
namespace orvelund::HWY_NAMESPACE
{
void SinesOf(const float* angles, float* sines, int count)
{
    const hn::ScalableTag<double> d;
    const hn::Rebind<float, decltype(d)> df;
    const auto lanes = (int)hn::Lanes(df);
    int i = 0;
    for (; i + lanes <= count; i += lanes)
    {
        uint8_t bits[8] = {};
        hn::Vec<decltype(df)> values;
        const bool marked = RoundedSines(df, hn::LoadU(df, angles + i), values, bits);
        hn::StoreU(values, df, sines + i);
        if (marked)
            TakeMarkedSinesFromLibrary(bits, (size_t)lanes, angles + i, sines + i);
    }
    for (; i < count; ++i)
        sines[i] = std::sin(angles[i]);
}
} // namespace orvelund::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace orvelund
{
HWY_EXPORT(SinesOf);
} // namespace orvelund

void sinesOf(const float* angles, float* sines, int count)
{
    HWY_DYNAMIC_DISPATCH(orvelund::SinesOf)(angles, sines, count);
}
#endif
