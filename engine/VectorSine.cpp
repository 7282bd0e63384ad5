#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "VectorSine.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/highway.h>

#include "SineLanes-inl.h"
#include "VectorSine.h"

#include <algorithm>

HWY_BEFORE_NAMESPACE();
namespace orvelund::HWY_NAMESPACE
{
void SinesOf(const float* angles, float* sines, int count)
{
    LaneSines(angles, sines, (size_t)std::max(0, count));
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
