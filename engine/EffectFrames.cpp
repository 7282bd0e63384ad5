// Compiled once for every vector unit Highway targets; the processor's best is chosen at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "EffectFrames.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/highway.h>

#include "EffectFrames.h"

#include <type_traits>

HWY_BEFORE_NAMESPACE();
namespace orvelund::HWY_NAMESPACE
{
namespace hn = hwy::HWY_NAMESPACE;

// The delay's band on both sides: filter A, then B on A's output less its input, as
// TwoPoleLowPass::process, the left side in lane 0 and the right in lane 1 of one vector.
class VectorBand
{
public:
    static constexpr bool fits = hn::MaxLanes(hn::CappedTag<double, 2>()) >= 2;

    explicit VectorBand(EffectChain& effects)
        : chain(effects)
        , a(effects.inputFilterA)
        , b(effects.inputFilterB)
    {
    }

    void process(float x, float y, float& left, float& right)
    {
        const auto input = hn::InsertLane(hn::Set(DF(), x), 1, y);
        const auto band = b.process(hn::Sub(a.process(input), input));
        left = hn::GetLane(band);
        right = hn::ExtractLane(band, 1);
    }

    void finish()
    {
        a.storeState(chain.inputFilterA);
        b.storeState(chain.inputFilterB);
    }

private:
    using D = hn::CappedTag<double, 2>;
    using DF = hn::Rebind<float, D>;
    using V = hn::Vec<D>;
    using VF = hn::Vec<DF>;

    struct Pair
    {
        V b0, b1, b2, a1, a2, x1, x2, y1, y2;

        static V lanes(double left, double right) { return hn::InsertLane(hn::Set(D(), left), 1, right); }

        explicit Pair(const std::array<TwoPoleLowPass, 2>& f)
            : b0(lanes(f[0].b0, f[1].b0))
            , b1(lanes(f[0].b1, f[1].b1))
            , b2(lanes(f[0].b2, f[1].b2))
            , a1(lanes(f[0].a1, f[1].a1))
            , a2(lanes(f[0].a2, f[1].a2))
            , x1(lanes(f[0].x1, f[1].x1))
            , x2(lanes(f[0].x2, f[1].x2))
            , y1(lanes(f[0].y1, f[1].y1))
            , y2(lanes(f[0].y2, f[1].y2))
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

    EffectChain& chain;
    Pair a;
    Pair b;
};

// The same one side after the other, where a vector has one lane.
class ScalarBand
{
public:
    explicit ScalarBand(EffectChain& effects)
        : chain(effects)
    {
    }

    void process(float x, float y, float& left, float& right)
    {
        auto& a = chain.inputFilterA;
        auto& b = chain.inputFilterB;
        left = b[0].process(a[0].process(x) - x);
        right = b[1].process(a[1].process(y) - y);
    }

    void finish() {}

private:
    EffectChain& chain;
};

template <bool fromTail, class Band, class Line>
HWY_INLINE void Frames(EffectChain& chain, Line& delayLeft, Line& delayRight, float* left, float* right,
                       int count, float mix, float gain, const ChorusLine::ReadPlan& leftReads,
                       const ChorusLine::ReadPlan& rightReads, int planFrame, VoiceBank::Tail* tail,
                       int tailFrame)
{
    Band band(chain);
    ChorusLine::Planned chorusLeft(chain.chorusLeft, leftReads);
    ChorusLine::Planned chorusRight(chain.chorusRight, rightReads);
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
        float bandLeft;
        float bandRight;
        band.process(x, y, bandLeft, bandRight);
        const float delayedLeft = delayLeft.process(bandLeft);
        const float delayedRight = delayRight.process(bandRight);
        left[f] = gain * chorusLeft.process(x + delayedLeft * mix, planFrame + f);
        right[f] = chorusRight.process(y + delayedRight * mix, planFrame + f) * gain;
    }
    band.finish();
    chorusLeft.finish(count);
    chorusRight.finish(count);
    if constexpr (fromTail)
        *tail = voice;
}

template <bool fromTail, class Band>
HWY_INLINE void FramesOnLines(EffectChain& chain, float* left, float* right, int count, float mix, float gain,
                              const ChorusLine::ReadPlan& leftReads, const ChorusLine::ReadPlan& rightReads,
                              int planFrame, VoiceBank::Tail* tail, int tailFrame)
{
    if (chain.delayLeft.isSteady() && chain.delayRight.isSteady())
    {
        DelayLine::Steady delayLeft(chain.delayLeft);
        DelayLine::Steady delayRight(chain.delayRight);
        Frames<fromTail, Band>(chain, delayLeft, delayRight, left, right, count, mix, gain, leftReads,
                               rightReads, planFrame, tail, tailFrame);
        delayLeft.finish(count);
        delayRight.finish(count);
    }
    else
        Frames<fromTail, Band>(chain, chain.delayLeft, chain.delayRight, left, right, count, mix, gain,
                               leftReads, rightReads, planFrame, tail, tailFrame);
}

void ProcessEffectFrames(EffectChain& chain, float* left, float* right, int count, float mix, float gain,
                         const ChorusLine::ReadPlan& leftReads, const ChorusLine::ReadPlan& rightReads,
                         int planFrame, VoiceBank::Tail* tail, int tailFrame)
{
    using Band = std::conditional_t<VectorBand::fits, VectorBand, ScalarBand>;
    if (tail != nullptr)
        FramesOnLines<true, Band>(chain, left, right, count, mix, gain, leftReads, rightReads, planFrame,
                                  tail, tailFrame);
    else
        FramesOnLines<false, Band>(chain, left, right, count, mix, gain, leftReads, rightReads, planFrame,
                                   tail, tailFrame);
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
