// Compiled once for every vector unit Highway targets; the processor's best is chosen at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "EffectFrames.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/highway.h>

#include "EffectFrames.h"

HWY_BEFORE_NAMESPACE();
namespace orvelund::HWY_NAMESPACE
{
namespace hn = hwy::HWY_NAMESPACE;

// TwoPoleLowPass for the left side in lane 0 and the right side in lane 1.
struct FilterPair
{
    using D = hn::CappedTag<double, 2>;
    using DF = hn::Rebind<float, D>;
    using V = hn::Vec<D>;
    using VF = hn::Vec<DF>;

    V b0, b1, b2, a1, a2, x1, x2, y1, y2;

    static V pair(double left, double right) { return hn::InsertLane(hn::Set(D(), left), 1, right); }

    explicit FilterPair(const std::array<TwoPoleLowPass, 2>& f)
        : b0(pair(f[0].b0, f[1].b0))
        , b1(pair(f[0].b1, f[1].b1))
        , b2(pair(f[0].b2, f[1].b2))
        , a1(pair(f[0].a1, f[1].a1))
        , a2(pair(f[0].a2, f[1].a2))
        , x1(pair(f[0].x1, f[1].x1))
        , x2(pair(f[0].x2, f[1].x2))
        , y1(pair(f[0].y1, f[1].y1))
        , y2(pair(f[0].y2, f[1].y2))
    {
    }

    VF process(VF x)
    {
        const auto input = hn::PromoteTo(D(), x);
        auto sum = hn::Add(hn::Mul(b1, x1), hn::Mul(b0, input));
        sum = hn::Add(sum, hn::Mul(b2, x2));
        sum = hn::Sub(sum, hn::Mul(a1, y1));
        sum = hn::Sub(sum, hn::Mul(a2, y2));
        const auto y = hn::DemoteTo(DF(), sum);
        x2 = x1;
        x1 = input;
        y2 = y1;
        y1 = hn::PromoteTo(D(), y);
        return y;
    }

    void storeState(std::array<TwoPoleLowPass, 2>& f) const
    {
        f[0].x1 = hn::GetLane(x1);
        f[0].x2 = hn::GetLane(x2);
        f[0].y1 = hn::GetLane(y1);
        f[0].y2 = hn::GetLane(y2);
        f[1].x1 = hn::ExtractLane(x1, 1);
        f[1].x2 = hn::ExtractLane(x2, 1);
        f[1].y1 = hn::ExtractLane(y1, 1);
        f[1].y2 = hn::ExtractLane(y2, 1);
    }
};

template <bool fromTail>
HWY_INLINE void Frames(EffectChain& chain, float* left, float* right, int count, float mix, float gain,
                       const ChorusLine::ReadPlan& leftReads, const ChorusLine::ReadPlan& rightReads,
                       int planFrame, VoiceBank::Tail* tail, int tailFrame)
{
    const FilterPair::DF df;
    FilterPair filterA(chain.inputFilterA);
    FilterPair filterB(chain.inputFilterB);
    // A copy that stays in registers: the tail itself could be where a sample is written.
    VoiceBank::Tail voice;
    if constexpr (fromTail)
        voice = *tail;
    for (int f = 0; f < count; ++f)
    {
        float x;
        float y;
        if constexpr (fromTail)
            voice.frame(tailFrame + f, x, y);
        else
        {
            x = left[f];
            y = right[f];
        }
        const auto input = hn::InsertLane(hn::Set(df, x), 1, y);
        const auto band = filterB.process(hn::Sub(filterA.process(input), input));
        const float delayedLeft = chain.delayLeft.process(hn::GetLane(band));
        const float delayedRight = chain.delayRight.process(hn::ExtractLane(band, 1));
        left[f] = gain * chain.chorusLeft.processPlanned(x + delayedLeft * mix, leftReads, planFrame + f);
        right[f] = chain.chorusRight.processPlanned(y + delayedRight * mix, rightReads, planFrame + f) * gain;
    }
    filterA.storeState(chain.inputFilterA);
    filterB.storeState(chain.inputFilterB);
    if constexpr (fromTail)
        *tail = voice;
}

// The same frame by frame on one side after the other, where vectors have a single lane.
template <bool fromTail>
HWY_INLINE void SingleLaneFrames(EffectChain& chain, float* left, float* right, int count, float mix,
                                 float gain, const ChorusLine::ReadPlan& leftReads,
                                 const ChorusLine::ReadPlan& rightReads, int planFrame, VoiceBank::Tail* tail,
                                 int tailFrame)
{
    auto& a = chain.inputFilterA;
    auto& b = chain.inputFilterB;
    for (int f = 0; f < count; ++f)
    {
        float x;
        float y;
        if constexpr (fromTail)
            tail->frame(tailFrame + f, x, y);
        else
        {
            x = left[f];
            y = right[f];
        }
        const float delayedLeft = chain.delayLeft.process(b[0].process(a[0].process(x) - x));
        const float delayedRight = chain.delayRight.process(b[1].process(a[1].process(y) - y));
        left[f] = gain * chain.chorusLeft.processPlanned(x + delayedLeft * mix, leftReads, planFrame + f);
        right[f] = chain.chorusRight.processPlanned(y + delayedRight * mix, rightReads, planFrame + f) * gain;
    }
}

void ProcessEffectFrames(EffectChain& chain, float* left, float* right, int count, float mix, float gain,
                         const ChorusLine::ReadPlan& leftReads, const ChorusLine::ReadPlan& rightReads,
                         int planFrame, VoiceBank::Tail* tail, int tailFrame)
{
    if constexpr (hn::MaxLanes(FilterPair::D()) >= 2)
    {
        if (tail != nullptr)
            Frames<true>(chain, left, right, count, mix, gain, leftReads, rightReads, planFrame, tail,
                         tailFrame);
        else
            Frames<false>(chain, left, right, count, mix, gain, leftReads, rightReads, planFrame, tail,
                          tailFrame);
    }
    else
    {
        if (tail != nullptr)
            SingleLaneFrames<true>(chain, left, right, count, mix, gain, leftReads, rightReads, planFrame,
                                   tail, tailFrame);
        else
            SingleLaneFrames<false>(chain, left, right, count, mix, gain, leftReads, rightReads, planFrame,
                                    tail, tailFrame);
    }
}

} // namespace orvelund::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace orvelund
{
HWY_EXPORT(ProcessEffectFrames);
} // namespace orvelund

void processEffectFrames(EffectChain& chain, float* left, float* right, int count, float mix, float gain,
                         const ChorusLine::ReadPlan& leftReads, const ChorusLine::ReadPlan& rightReads,
                         int planFrame, VoiceBank::Tail* tail, int tailFrame)
{
    HWY_DYNAMIC_DISPATCH(orvelund::ProcessEffectFrames)
    (chain, left, right, count, mix, gain, leftReads, rightReads, planFrame, tail, tailFrame);
}
#endif
