// The C library's single-precision sine on every lane of a vector, for code compiled once per
// vector unit (include it after hwy/highway.h, inside the per-target part of such a file).
//
// The sine is computed in double precision and rounded. The C library rounds a double-precision
// approximation of its own, which differs from the true value by up to 0.0607 of a float step,
// and by at most 0.001 of a step within 0.75 of the sine's peaks (found over every float angle in
// [0, 2pi), the only angles the oscillators use); ours is within 0.0002 of a step. So wherever our
// result lies farther than 1/16 of a step (1/256 near the peaks) from the midpoint between two
// floats, both round the same way. The lanes closer to a midpoint than that (one in fourteen) are
// handed to the C library itself. Checked over every float angle in [0, 2pi): no difference.

#if defined(ORVELUND_SINE_LANES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef ORVELUND_SINE_LANES_INL_H_
#undef ORVELUND_SINE_LANES_INL_H_
#else
#define ORVELUND_SINE_LANES_INL_H_
#endif

#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

HWY_BEFORE_NAMESPACE();
namespace orvelund::HWY_NAMESPACE
{
namespace hn = hwy::HWY_NAMESPACE;

// sin(x) in double precision for the angles of the engine, x in [0, 2pi] (x a float, widened).
// x is brought to r = x - q pi, |r| <= pi / 2, with pi in two parts: q pi_hi and x - q pi_hi are
// exact, so r is good to a few double steps even next to the sine's zeros; sin(x) = (-1)^q sin(r),
// and sin(r) is its Taylor polynomial to r^15, which is within 6.1e-12 of it at |r| = pi / 2 and
// far closer below. Far better than the rounding test needs.
template <class D>
HWY_INLINE hn::Vec<D> SineOfAngle(D d, hn::Vec<D> x, hn::Vec<D>& reduced)
{
    constexpr double piHi = 0x1.921fb6p+1; // pi rounded to float: q * piHi and x - q * piHi are exact
    constexpr double piLo = -0x1.777a5cf72cecep-24;                         // pi - piHi
    const auto q = hn::Round(hn::Mul(x, hn::Set(d, 0x1.45f306dc9c883p-2))); // x / pi, rounded
    auto r = hn::Sub(hn::Sub(x, hn::Mul(q, hn::Set(d, piHi))), hn::Mul(q, hn::Set(d, piLo)));
    reduced = r;
    r = hn::IfThenElse(hn::Eq(q, hn::Set(d, 1.0)), hn::Neg(r), r);
    const auto y = hn::Mul(r, r);
    auto p = hn::Set(d, -0x1.ae7f3e733b81fp-41);              // -1/15!
    p = hn::MulAdd(p, y, hn::Set(d, 0x1.6124613a86d09p-33));  // 1/13!
    p = hn::MulAdd(p, y, hn::Set(d, -0x1.ae64567f544e4p-26)); // -1/11!
    p = hn::MulAdd(p, y, hn::Set(d, 0x1.71de3a556c734p-19));  // 1/9!
    p = hn::MulAdd(p, y, hn::Set(d, -0x1.a01a01a01a01ap-13)); // -1/7!
    p = hn::MulAdd(p, y, hn::Set(d, 0x1.1111111111111p-7));   // 1/5!
    p = hn::MulAdd(p, y, hn::Set(d, -0x1.5555555555555p-3));  // -1/3!
    return hn::MulAdd(hn::Mul(p, y), r, r);
}

// The rounded double-precision sine of every lane, and which lanes must take the C library's
// sine instead.
template <class DF>
HWY_INLINE hn::Mask<hn::Rebind<double, DF>> RoundedSines(DF df, hn::Vec<DF> angle, hn::Vec<DF>& sines)
{
    const hn::Rebind<double, DF> d;
    const hn::RebindToSigned<decltype(d)> di;
    // A float keeps the top 24 bits of a double's significand: the low 29 bits tell where the
    // double lies between two floats (2^28 is the midpoint), in the binade of the double itself,
    // which is also the one its rounding is decided in.
    constexpr int64_t midpoint = int64_t{1} << 28;
    // Within 0.75 of a peak of the sine (|x - q pi| >= pi / 2 - 0.75) the C library's value was
    // never farther than 0.001 of a step from the true one, elsewhere up to 0.0607.
    constexpr double peakDistance = 0.75;
    const auto nearPeakMargin = hn::Set(di, int64_t{1} << 21); // 1/256 of a float step
    const auto margin = hn::Set(di, int64_t{1} << 25);         // 1/16 of a float step

    const auto x = hn::PromoteTo(d, angle);
    hn::Vec<decltype(d)> reduced;
    const auto exact = SineOfAngle(d, x, reduced);
    const auto nearPeak = hn::Ge(hn::Abs(reduced), hn::Set(d, std::numbers::pi / 2 - peakDistance));
    const auto position = hn::And(hn::BitCast(di, exact), hn::Set(di, 2 * midpoint - 1));
    const auto nearMidpoint =
        hn::RebindMask(d, hn::Lt(hn::Abs(hn::Sub(position, hn::Set(di, midpoint))),
                                 hn::IfThenElse(hn::RebindMask(di, nearPeak), nearPeakMargin, margin)));
    // Angles outside the range SineOfAngle is made for (NaN included) go to the library too.
    const auto outside = hn::Not(hn::And(hn::Ge(x, hn::Zero(d)), hn::Le(x, hn::Set(d, 6.5))));
    sines = hn::DemoteTo(df, exact);
    return hn::Or(nearMidpoint, outside);
}

// sines[i] = std::sin(angles[i]) for i < count, bit for bit, in the widest vectors. The lanes
// that need the library are gathered without a branch per lane (which would mostly be
// mispredicted) and handed to it together.
HWY_INLINE void LaneSines(const float* HWY_RESTRICT angles, float* HWY_RESTRICT sines, size_t count)
{
    const hn::ScalableTag<double> d;
    const hn::Rebind<float, decltype(d)> df;
    const hn::RebindToSigned<decltype(d)> di;
    const size_t step = hn::Lanes(d);
    constexpr size_t chunk = 256;
    // CompressStore may write a whole vector past the lanes it keeps.
    HWY_ALIGN int64_t marked[chunk + 64];

    // Made once: Highway builds an Iota through memory, which the vector load then waits for.
    const auto lane = hn::Iota(di, 0);

    const size_t vectorLanes = count - count % step;
    size_t o = 0;
    while (o < vectorLanes)
    {
        const size_t end = std::min(vectorLanes, o + chunk);
        size_t markedCount = 0;
        for (; o < end; o += step)
        {
            hn::Vec<decltype(df)> values;
            const auto mask = RoundedSines(df, hn::LoadU(df, angles + o), values);
            hn::StoreU(values, df, sines + o);
            markedCount += hn::CompressStore(hn::Add(lane, hn::Set(di, (int64_t)o)), hn::RebindMask(di, mask),
                                             di, marked + markedCount);
        }
        for (size_t i = 0; i < markedCount; ++i)
            sines[marked[i]] = std::sin(angles[marked[i]]);
    }
    for (; o < count; ++o)
        sines[o] = std::sin(angles[o]);
}

} // namespace orvelund::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif
