// The C library's single-precision sine on every lane of a vector, for code compiled once per
// vector unit (include it after hwy/highway.h, inside the per-target part of such a file).
//
// The sine is computed in double precision and rounded. The C library rounds a double-precision
// approximation of its own, which differs from the true value by up to 0.0607 of a float step
// (found over every float angle in [0, 2pi), the only angles the oscillators use); so wherever
// the double result lies farther than 1/16 of a step from the midpoint between two floats, both
// round the same way. The lanes closer to a midpoint than that (one in eight) are handed to the
// C library itself. Checked over every float angle in [0, 2pi): no difference.

#if defined(ORVELUND_SINE_LANES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef ORVELUND_SINE_LANES_INL_H_
#undef ORVELUND_SINE_LANES_INL_H_
#else
#define ORVELUND_SINE_LANES_INL_H_
#endif

#include <hwy/contrib/math/math-inl.h>
#include <hwy/highway.h>

#include <bit>
#include <cmath>
#include <cstdint>

HWY_BEFORE_NAMESPACE();
namespace orvelund::HWY_NAMESPACE
{
namespace hn = hwy::HWY_NAMESPACE;

// The rounded double-precision sine of every lane. The lanes whose sine must come from the C
// library instead are marked in `marks`, one bit per lane from the lowest bit of marks[0]; the
// answer is whether there are any. Calls are kept out of here so that vector loops around it
// keep their registers.
template <class DF>
HWY_INLINE bool RoundedSines(DF df, hn::Vec<DF> angle, hn::Vec<DF>& sines, uint8_t* marks)
{
    constexpr double margin = 1.0 / 16.0;
    const hn::Rebind<double, DF> d;
    const hn::RebindToSigned<DF> di;

    const auto exact = hn::Sin(d, hn::PromoteTo(d, angle));
    const auto rounded = hn::DemoteTo(df, exact);
    const auto widened = hn::PromoteTo(d, rounded);
    // 2^exponent of the rounded value; a float step is 2^-23 of it (0 for zero and subnormals).
    const auto power =
        hn::PromoteTo(d, hn::BitCast(df, hn::And(hn::BitCast(di, rounded), hn::Set(di, 0x7F800000))));
    const auto halfStepLessMargin = hn::Mul(power, hn::Set(d, 0x1p-23 * (0.5 - margin)));
    // A power of two has a narrower step below it: such lanes always go to the library.
    const auto nearMidpoint =
        hn::Or(hn::Ge(hn::Abs(hn::Sub(exact, widened)), halfStepLessMargin), hn::Eq(hn::Abs(widened), power));
    sines = rounded;
    hn::StoreMaskBits(d, nearMidpoint, marks);
    return !hn::AllFalse(d, nearMidpoint);
}

// Gives the lanes marked in `bits` (as RoundedSines wrote them, for `lanes` lanes) the C
// library's sine; visiting the set bits keeps clear of a branch per lane, which would mostly be
// mispredicted.
HWY_INLINE void TakeMarkedSinesFromLibrary(const uint8_t* bits, size_t lanes, const float* angles,
                                           float* sines)
{
    for (size_t b = 0; b < (lanes + 7) / 8; ++b)
        for (unsigned m = bits[b]; m != 0; m &= m - 1)
        {
            const size_t i = 8 * b + (size_t)std::countr_zero(m);
            sines[i] = std::sin(angles[i]);
        }
}

} // namespace orvelund::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif
