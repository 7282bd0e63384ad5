// Compiled once for every vector unit Highway targets; the processor's best is chosen at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "VoiceBank.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/contrib/math/math-inl.h>
#include <hwy/highway.h>

#include "SineLanes-inl.h"

#include "AngleWrap.h"
#include "InstrumentVoice.h"
#include "VoiceBank.h"

#include <cstring>
#include <numbers>

HWY_BEFORE_NAMESPACE();
namespace orvelund::HWY_NAMESPACE
{
namespace hn = hwy::HWY_NAMESPACE;

constexpr double twoPi = 2.0 * std::numbers::pi;
constexpr double tableIndexPerRadian = 10185.916357881302; // 64000 / 2pi
constexpr auto period = (double)twoPiFloat;
// Below this, angle - k * period is exact in double for every whole k.
constexpr float exactWrapLimit = 16777216.0f;
constexpr size_t maxLanes = 16;

// What a run of frames may do before any voice's envelope changes segment.
struct RunLimits
{
    // The frames before the first segment ends (at most the run asked for).
    int64_t frames = 0;
    // Whether some amplitude falls or stays at 0: only then can a voice end by reaching 0.
    bool falling = false;
    // No envelope moves: every step is 0, which leaves a level as it is.
    bool steady = true;

    static RunLimits of(const VoiceBank::Lanes& s, int count)
    {
        RunLimits limits;
        limits.frames = count;
        for (int v = 0; v < s.count; ++v)
        {
            limits.steady = limits.steady && s.ampStep[v] == 0.0 && s.modStep[v] == 0.0;
            limits.frames = std::min<int64_t>(limits.frames, (int64_t)s.ampLimit[v] - s.ampCounter[v] - 1);
            limits.frames = std::min<int64_t>(limits.frames, (int64_t)s.modLimit[v] - s.modCounter[v] - 1);
            const bool rises = s.ampStep[v] > 0.0;
            const bool holdsAboveZero = s.ampStep[v] == 0.0 && s.ampLevel[v] != 0.0f;
            limits.falling = limits.falling || !(rises || holdsAboveZero);
        }
        return limits;
    }
};

// The envelopes' counters are read only at the start of a run. (They wrap as the voices' own
// would, after hours of a held note.)
inline void AdvanceCounters(VoiceBank::Lanes& s, size_t lanes, int frames)
{
    for (size_t v = 0; v < lanes; ++v)
    {
        s.ampCounter[v] = (int32_t)((uint32_t)s.ampCounter[v] + (uint32_t)frames);
        s.modCounter[v] = (int32_t)((uint32_t)s.modCounter[v] + (uint32_t)frames);
    }
}

// The voices' code for vectors of D's width: the full width for many voices, a narrower one for
// up to four, where full vectors would mostly compute padding.
template <class D>
struct Kernel
{
    using DF = hn::Rebind<float, D>;
    using DI = hn::Rebind<int32_t, D>;
    using VD = hn::Vec<D>;
    using VF = hn::Vec<DF>;

    // wrapTwoPi on every lane. The quotient from a multiplication can be one off; the remainder,
    // computed exactly, is then brought into [0, period) by one correction, so the result is the same.
    static HWY_INLINE VF WrapAngles(VF angle)
    {
        const D d;
        const DF df;
        if (!hn::AllTrue(df,
                         hn::And(hn::Ge(angle, hn::Zero(df)), hn::Lt(angle, hn::Set(df, exactWrapLimit)))))
        {
            HWY_ALIGN float values[maxLanes];
            hn::Store(angle, df, values);
            for (size_t i = 0; i < hn::Lanes(df); ++i)
                values[i] = wrapTwoPi(values[i]);
            return hn::Load(df, values);
        }
        const auto p = hn::Set(d, period);
        const auto a = hn::PromoteTo(d, angle);
        const auto k = hn::Floor(hn::Mul(a, hn::Set(d, 1.0 / period)));
        auto r = hn::Sub(a, hn::Mul(k, p));
        r = hn::IfThenElse(hn::Lt(r, hn::Zero(d)), hn::Add(r, p), r);
        r = hn::IfThenElse(hn::Ge(r, p), hn::Sub(r, p), r);
        return hn::DemoteTo(df, r);
    }

    // The same, starting from the whole periods taken off last time, as wrapTwoPi(angle, periods).
    static HWY_INLINE VF WrapAngles(VF angle, double* periodsAt)
    {
        const D d;
        const auto p = hn::Set(d, period);
        const auto a = hn::PromoteTo(d, angle);
        const auto periods = hn::Load(d, periodsAt);
        const auto remainder = hn::Sub(a, hn::Mul(periods, p));
        if (hn::AllTrue(d, hn::And(hn::Ge(remainder, hn::Zero(d)), hn::Lt(remainder, p))))
            return hn::DemoteTo(DF(), remainder);
        const auto wrapped = WrapAngles(angle);
        hn::Store(hn::Round(hn::Div(hn::Sub(a, hn::PromoteTo(d, wrapped)), p)), d, periodsAt);
        return wrapped;
    }

    static HWY_INLINE VF SineAt(const float* table, VF angle)
    {
        const D d;
        const DF df;
        const auto index =
            hn::DemoteTo(df, hn::Mul(hn::PromoteTo(d, angle), hn::Set(d, tableIndexPerRadian)));
        return hn::GatherIndex(df, table, hn::ConvertTo(DI(), index));
    }

    static HWY_INLINE VD WrapBelowOne(VD phase)
    {
        const D d;
        const auto one = hn::Set(d, 1.0);
        for (auto over = hn::Ge(phase, one); !hn::AllFalse(d, over); over = hn::Ge(phase, one))
            phase = hn::IfThenElse(over, hn::Sub(phase, one), phase);
        return phase;
    }

    static HWY_INLINE VD WrapAboveZero(VD phase)
    {
        const D d;
        const auto one = hn::Set(d, 1.0);
        for (auto under = hn::Lt(phase, hn::Zero(d)); !hn::AllFalse(d, under);
             under = hn::Lt(phase, hn::Zero(d)))
            phase = hn::IfThenElse(under, hn::Add(phase, one), phase);
        return phase;
    }

    // InstrumentVoice::shapedOscillator on every lane, in two halves around the sine: the angle ...
    static HWY_INLINE VF OscillatorAngle(VD phase, float width)
    {
        const D d;
        const DF df;
        // Dividing by 1 changes nothing.
        auto q = width == 1.0f ? phase : hn::Div(phase, hn::Set(d, (double)width));
        q = hn::Min(q, hn::Set(d, 0.9999));
        return hn::DemoteTo(df, hn::Mul(hn::Set(d, twoPi), q));
    }

    // ... and the blend of its sine towards the square.
    static HWY_INLINE VF ShapeSine(VF s, float morph)
    {
        const DF df;
        // (square - s) * 0 + s is s itself.
        if (morph == 0.0f)
            return s;
        const auto square = hn::IfThenElse(hn::Gt(s, hn::Zero(df)), hn::Set(df, 1.0f), hn::Set(df, -1.0f));
        return hn::Add(hn::Mul(hn::Sub(square, s), hn::Set(df, morph)), s);
    }

    // True when some lane's amplitude would reach 0 (and its voice end) at the next step.
    static HWY_INLINE bool AmplitudeEnds(const VoiceBank::Lanes& s, size_t lanes)
    {
        const D d;
        const DF df;
        for (size_t o = 0; o < lanes; o += hn::Lanes(d))
        {
            const auto amp = hn::DemoteTo(
                df, hn::Add(hn::PromoteTo(d, hn::Load(df, s.ampLevel + o)), hn::Load(d, s.ampStep + o)));
            if (!hn::AllFalse(df, hn::Eq(amp, hn::Zero(df))))
                return true;
        }
        return false;
    }

    // The coefficients of TwoPoleLowPass::setCutoffAndDamping for the lanes whose inputs changed.
    static HWY_INLINE void UpdateFilters(VoiceBank::Lanes& s, size_t o, VD cutoff, VD damping)
    {
        const D d;
        // Not "Ne": that comparison is ordered, and a NaN (no coefficients yet) must count as changed.
        const auto changed = hn::Not(hn::And(hn::Eq(cutoff, hn::Load(d, s.lastCutoff + o)),
                                             hn::Eq(damping, hn::Load(d, s.lastDamping + o))));
        if (hn::AllFalse(d, changed))
            return;
        hn::Store(cutoff, d, s.lastCutoff + o);
        hn::Store(damping, d, s.lastDamping + o);

        const auto one = hn::Set(d, 1.0);
        const auto two = hn::Set(d, 2.0);
        const auto highest = hn::Set(d, s.filterRate * 0.49);
        const auto held = hn::IfThenElse(hn::Lt(highest, cutoff), highest, cutoff);
        const auto angle = hn::Div(hn::Mul(hn::Set(d, std::numbers::pi), held), hn::Set(d, s.filterRate));
        const auto k = hn::Div(hn::Cos(d, angle), hn::Sin(d, angle));
        const auto a = hn::Mul(damping, k);
        const auto b = hn::Mul(k, k);
        const auto n = hn::Div(one, hn::Add(hn::Add(a, one), b));
        const auto keep = [&](double* field, VD value)
        { hn::Store(hn::IfThenElse(changed, value, hn::Load(d, field + o)), d, field + o); };
        keep(s.cutoff, held);
        keep(s.damping, damping);
        keep(s.k, k);
        keep(s.b0, n);
        keep(s.b1, hn::Mul(two, n));
        keep(s.b2, n);
        keep(s.a1, hn::Mul(hn::Mul(two, hn::Sub(one, b)), n));
        keep(s.a2, hn::Mul(hn::Add(hn::Sub(one, a), b), n));
    }

    // First pass, one frame: clocks, envelopes, pitch and both phases; the modulator's angle and
    // what the later passes need of this frame go to its place in the run.
    // `steady`: no envelope moves (every step is 0, which leaves a level as it is).
    static HWY_INLINE void AdvanceFrame(VoiceBank::Lanes& s, VoiceBank::Run& r, const VoiceFrameInputs& in,
                                        size_t lanes, int frame, bool steady)
    {
        const size_t at = (size_t)frame * lanes;
        const D d;
        const DF df;
        const double w = in.wobbleSpeed * s.inverseRate;
        const double vibratoStep = 16.0 * s.inverseRate;
        const double vibratoScale = 2.0 * w + 2.0;
        const auto one = hn::Set(df, 1.0f);
        const auto depth = hn::Set(df, in.wobbleDepth);
        const bool sameRatio = in.modulatorRatio == s.lastRatio;
        s.lastRatio = in.modulatorRatio;
        bool pitchMoved = false;

        for (size_t o = 0; o < lanes; o += hn::Lanes(d))
        {
            auto ampLevel = hn::Load(df, s.ampLevel + o);
            auto modLevel = hn::Load(df, s.modLevel + o);
            if (!steady)
            {
                ampLevel = hn::DemoteTo(df, hn::Add(hn::PromoteTo(d, ampLevel), hn::Load(d, s.ampStep + o)));
                modLevel = hn::DemoteTo(df, hn::Add(hn::PromoteTo(d, modLevel), hn::Load(d, s.modStep + o)));
                hn::Store(ampLevel, df, s.ampLevel + o);
                hn::Store(modLevel, df, s.modLevel + o);
            }
            hn::Store(ampLevel, df, r.ampLevel + at + o);

            const auto wobblePhase = hn::Add(hn::Load(d, s.wobblePhase + o), hn::Set(d, w));
            hn::Store(wobblePhase, d, s.wobblePhase + o);
            const auto vibratoPhase = hn::Add(hn::Load(d, s.vibratoPhase + o), hn::Set(d, vibratoStep));
            hn::Store(vibratoPhase, d, s.vibratoPhase + o);

            const auto frequency = hn::Load(df, s.frequency + o);
            auto f = hn::PromoteTo(d, hn::Mul(hn::Set(df, in.bendFactor), frequency));
            if (in.wheel != 0.0)
            {
                const auto vibratoAngle =
                    WrapAngles(hn::DemoteTo(df, hn::Mul(hn::Set(d, vibratoScale), vibratoPhase)));
                const auto sine = SineAt(s.sineTable, vibratoAngle);
                const auto swing = hn::Mul(hn::PromoteTo(d, hn::Mul(frequency, sine)), hn::Set(d, in.wheel));
                f = hn::Add(f, hn::Mul(swing, hn::Set(d, 0.05)));
            }
            hn::Store(f, d, r.pitch + at + o);

            // The phase increments are those of the last frame as long as the pitch and ratio are.
            const bool samePitch = hn::AllTrue(d, hn::Eq(f, hn::Load(d, s.lastPitch + o)));
            pitchMoved |= !samePitch;
            VD modulatorIncrement;
            VD carrierIncrement;
            if (sameRatio && samePitch)
            {
                modulatorIncrement = hn::Load(d, s.modulatorIncrement + o);
                carrierIncrement = hn::Load(d, s.carrierIncrement + o);
            }
            else
            {
                modulatorIncrement = hn::Div(hn::Mul(hn::Set(d, in.modulatorRatio), f), hn::Set(d, s.rate));
                carrierIncrement = hn::Div(f, hn::Set(d, s.rate));
                hn::Store(modulatorIncrement, d, s.modulatorIncrement + o);
                hn::Store(carrierIncrement, d, s.carrierIncrement + o);
                hn::Store(f, d, s.lastPitch + o);
            }

            const auto modulatorPhase =
                WrapBelowOne(hn::Add(hn::Load(d, s.modulatorPhase + o), modulatorIncrement));
            hn::Store(modulatorPhase, d, s.modulatorPhase + o);
            hn::Store(OscillatorAngle(modulatorPhase, in.modulatorWidth), df, r.angle + at + o);
            const auto carrierPhase =
                WrapBelowOne(hn::Add(hn::Load(d, s.carrierPhase + o), carrierIncrement));
            hn::Store(carrierPhase, d, s.carrierPhase + o);
            hn::Store(carrierPhase, d, r.carrierPhase + at + o);

            const auto wobble =
                SineAt(s.sineTable, WrapAngles(hn::DemoteTo(df, wobblePhase), s.wobblePeriods + o));
            hn::Store(wobble, df, r.wobble + at + o);
            const auto rightWobble = SineAt(
                s.sineTable, WrapAngles(hn::DemoteTo(df, hn::Add(wobblePhase, hn::Set(d, std::numbers::pi))),
                                        s.rightWobblePeriods + o));
            hn::Store(rightWobble, df, r.rightWobble + at + o);
            hn::Store(hn::Mul(hn::Add(hn::Mul(wobble, depth), one), modLevel), df, r.modScale + at + o);
            hn::Store(hn::Mul(hn::Set(df, in.modFeedback), hn::Load(df, s.feedbackVelocityFactor + o)), df,
                      r.shiftScale + at + o);
        }
        r.pitchMoved[frame] = pitchMoved;
    }

    // Second pass, one frame: the phase shift and the carrier's angle.
    static HWY_INLINE void CarrierAngles(VoiceBank::Run& r, const VoiceFrameInputs& in, size_t lanes,
                                         size_t at)
    {
        const D d;
        const DF df;
        for (size_t o = at; o < at + lanes; o += hn::Lanes(d))
        {
            const auto modOut = ShapeSine(hn::Load(df, r.sine + o), in.modulatorMorph);
            const auto amount = hn::Mul(hn::Load(df, r.modScale + o), modOut);
            const auto shift = hn::Mul(hn::Load(df, r.shiftScale + o), amount);
            const auto carrierPhase = hn::Load(d, r.carrierPhase + o);
            const auto phase = WrapBelowOne(WrapAboveZero(hn::Add(hn::PromoteTo(d, shift), carrierPhase)));
            hn::Store(OscillatorAngle(phase, in.carrierWidth), df, r.angle + o);
        }
    }

    // The filters' corner for the pitch f0 and a frame's controls, and their coefficients when
    // the corner or damping changed.
    static HWY_INLINE void FollowPitch(VoiceBank::Lanes& s, size_t o, VD f0, const VoiceFrameInputs& in)
    {
        const D d;
        const DF df;
        const double position = in.cutoffPosition;
        const auto velocityFactor = hn::Load(df, s.filterVelocityFactor + o);
        const auto tracking =
            hn::Add(hn::Mul(hn::Sub(hn::Set(d, 20000.0), f0), hn::Set(d, position * position)), f0);
        auto cutoff = hn::DemoteTo(df, hn::Mul(hn::PromoteTo(d, velocityFactor), tracking));
        cutoff = hn::Max(hn::Min(cutoff, hn::Set(df, 15000.0f)), hn::Set(df, 60.0f));
        auto damping = hn::PromoteTo(d, hn::Mul(hn::Set(df, 3.0f - in.resonance), velocityFactor));
        damping = hn::IfThenElse(hn::Lt(damping, hn::Set(d, 0.04)), hn::Set(d, (double)0.04f), damping);
        UpdateFilters(s, o, hn::PromoteTo(d, cutoff), damping);
    }

    // One vector of voices' filters: coefficients and state.
    struct FilterLanes
    {
        VD b0, b1, b2, a1, a2, x1, x2, y1, y2;
    };

    static HWY_INLINE void LoadCoefficients(const VoiceBank::Lanes& s, size_t o, FilterLanes& f)
    {
        const D d;
        f.b0 = hn::Load(d, s.b0 + o);
        f.b1 = hn::Load(d, s.b1 + o);
        f.b2 = hn::Load(d, s.b2 + o);
        f.a1 = hn::Load(d, s.a1 + o);
        f.a2 = hn::Load(d, s.a2 + o);
    }

    static HWY_INLINE FilterLanes LoadFilters(const VoiceBank::Lanes& s, size_t o)
    {
        const D d;
        FilterLanes f;
        LoadCoefficients(s, o, f);
        f.x1 = hn::Load(d, s.x1 + o);
        f.x2 = hn::Load(d, s.x2 + o);
        f.y1 = hn::Load(d, s.y1 + o);
        f.y2 = hn::Load(d, s.y2 + o);
        return f;
    }

    static HWY_INLINE void StoreFilterState(VoiceBank::Lanes& s, size_t o, const FilterLanes& f)
    {
        const D d;
        hn::Store(f.x1, d, s.x1 + o);
        hn::Store(f.x2, d, s.x2 + o);
        hn::Store(f.y1, d, s.y1 + o);
        hn::Store(f.y2, d, s.y2 + o);
    }

    // Third pass, one frame of the vector of voices from o on: amplitude, the filter and the
    // stereo spread.
    static HWY_INLINE void OutputLanes(VoiceBank::Lanes& s, VoiceBank::Run& r, const VoiceFrameInputs& in,
                                       size_t at, size_t o, bool filtersCurrent, FilterLanes& f)
    {
        const D d;
        const DF df;
        const auto carrierOut = ShapeSine(hn::Load(df, r.sine + at + o), in.carrierMorph);
        const auto x = hn::Mul(hn::Mul(carrierOut, hn::Load(df, r.ampLevel + at + o)),
                               hn::Load(df, s.volumeVelocityFactor + o));

        if (!filtersCurrent)
        {
            FollowPitch(s, o, hn::Load(d, r.pitch + at + o), in);
            LoadCoefficients(s, o, f);
        }

        const auto input = hn::PromoteTo(d, x);
        auto sum = hn::Add(hn::Mul(f.b1, f.x1), hn::Mul(f.b0, input));
        sum = hn::Add(sum, hn::Mul(f.b2, f.x2));
        sum = hn::Sub(sum, hn::Mul(f.a1, f.y1));
        sum = hn::Sub(sum, hn::Mul(f.a2, f.y2));
        const auto y = hn::DemoteTo(df, sum);
        f.x2 = f.x1;
        f.x1 = input;
        f.y2 = f.y1;
        f.y1 = hn::PromoteTo(d, y);

        const auto one = hn::Set(df, 1.0f);
        const auto four = hn::Set(df, 4.0f);
        const auto depth = hn::Set(df, in.wobbleDepth);
        const auto wobble = hn::Load(df, r.wobble + at + o);
        const auto rightWobble = hn::Load(df, r.rightWobble + at + o);
        hn::Store(hn::Mul(hn::Add(hn::Mul(hn::Mul(wobble, depth), four), one), y), df, r.left + at + o);
        hn::Store(hn::Mul(hn::Add(hn::Mul(hn::Mul(depth, rightWobble), four), one), y), df, r.right + at + o);
    }

    // Third pass over the run.
    static HWY_INLINE void Outputs(VoiceBank::Lanes& s, VoiceBank::Run& r, VoiceBank::RunInputs in,
                                   int frames, size_t lanes)
    {
        // The filters' inputs are those of the frame before when no pitch and no control moved.
        bool filtersCurrent[VoiceBank::maxSpan];
        for (int i = 0; i < frames; ++i)
        {
            filtersCurrent[i] = s.filtersCurrent && !r.pitchMoved[i] &&
                                in[i].cutoffPosition == s.lastCutoffPosition &&
                                in[i].resonance == s.lastResonance;
            s.filtersCurrent = true;
            s.lastCutoffPosition = in[i].cutoffPosition;
            s.lastResonance = in[i].resonance;
        }

        const size_t step = hn::Lanes(D());
        if (lanes == step)
        {
            // One vector: its filters stay in registers from frame to frame.
            auto f = LoadFilters(s, 0);
            for (int i = 0; i < frames; ++i)
                OutputLanes(s, r, in[i], (size_t)i * lanes, 0, filtersCurrent[i], f);
            StoreFilterState(s, 0, f);
            return;
        }
        // Several: frame by frame, so that their filters' recurrences run side by side.
        for (int i = 0; i < frames; ++i)
            for (size_t o = 0; o < lanes; o += step)
            {
                auto f = LoadFilters(s, o);
                OutputLanes(s, r, in[i], (size_t)i * lanes, o, filtersCurrent[i], f);
                StoreFilterState(s, o, f);
            }
    }

    // InstrumentVoice::renderVoiceFrameFast on every lane for up to `count` frames, summed into
    // left[] and right[]; answers the number of frames rendered.
    static int Render(VoiceBank::Lanes& s, VoiceBank::Run& r, VoiceBank::RunInputs in, int count, float* left,
                      float* right)
    {
        const D d;
        const size_t step = hn::Lanes(d);
        const size_t lanes = ((size_t)s.count + step - 1) / step * step;
        count = std::min(count, VoiceBank::maxSpan);

        const auto limits = RunLimits::of(s, count);
        int frames = 0;
        for (; frames < limits.frames && !(limits.falling && AmplitudeEnds(s, lanes)); ++frames)
            AdvanceFrame(s, r, in[frames], lanes, frames, limits.steady);
        AdvanceCounters(s, lanes, frames);
        if (frames == 0)
            return 0;

        // Whole vectors of any width; the run's arrays are padded for it.
        const size_t total = ((size_t)frames * lanes + maxLanes - 1) / maxLanes * maxLanes;
        LaneSines(r.angle, r.sine, total);
        for (int i = 0; i < frames; ++i)
            CarrierAngles(r, in[i], lanes, (size_t)i * lanes);
        LaneSines(r.angle, r.sine, total);
        Outputs(s, r, in, frames, lanes);

        // Summed one voice after the other, as the voices' own loop does.
        for (int i = 0; i < frames; ++i)
        {
            const size_t at = (size_t)i * lanes;
            float l = 0.0f;
            float rr = 0.0f;
            for (int v = 0; v < s.count; ++v)
            {
                l += r.left[at + (size_t)v];
                rr += r.right[at + (size_t)v];
            }
            left[i] = l;
            right[i] = rr;
        }
        return frames;
    }
};

// Kernel::Render for a single voice over `count` frames whose inputs are all `in`, with the wheel
// at rest: the pitch, phase increments and filter coefficients then hold for the whole run, and
// only the recurrences (envelopes, phases, the filter) go frame by frame; the rest runs in vectors
// across the frames. Same arithmetic in the same order as the voice's own code.
int RenderSteadyVoice(VoiceBank::Lanes& s, VoiceBank::Run& r, const VoiceFrameInputs& in, int count,
                      float* left, float* right, VoiceBank::Tail* deferred)
{
    using Frames = Kernel<hn::ScalableTag<double>>;
    const hn::ScalableTag<double> d;
    const hn::Rebind<float, decltype(d)> df;
    const auto limits = RunLimits::of(s, std::min(count, VoiceBank::maxSpan));

    // Pitch and increments as the first frame of Kernel::AdvanceFrame finds them.
    const auto pitch = (double)(in.bendFactor * s.frequency[0]);
    const bool pitchMoved = !(pitch == s.lastPitch[0]);
    if (!(in.modulatorRatio == s.lastRatio) || pitchMoved)
    {
        s.modulatorIncrement[0] = in.modulatorRatio * pitch / s.rate;
        s.carrierIncrement[0] = pitch / s.rate;
        s.lastPitch[0] = pitch;
    }
    s.lastRatio = in.modulatorRatio;

    // The recurrences, frame by frame.
    float ampLevel = s.ampLevel[0];
    float modLevel = s.modLevel[0];
    double wobblePhase = s.wobblePhase[0];
    double vibratoPhase = s.vibratoPhase[0];
    double modulatorPhase = s.modulatorPhase[0];
    double carrierPhase = s.carrierPhase[0];
    const double ampStep = s.ampStep[0];
    const double modStep = s.modStep[0];
    const double wobbleStep = in.wobbleSpeed * s.inverseRate;
    const double vibratoStep = 16.0 * s.inverseRate;
    const double modulatorIncrement = s.modulatorIncrement[0];
    const double carrierIncrement = s.carrierIncrement[0];
    int frames = 0;
    for (; frames < limits.frames; ++frames)
    {
        if (!limits.steady)
        {
            const auto nextAmp = (float)((double)ampLevel + ampStep);
            if (limits.falling && nextAmp == 0.0f)
                break;
            ampLevel = nextAmp;
            modLevel = (float)((double)modLevel + modStep);
        }
        else if (limits.falling && ampLevel == 0.0f)
            break;
        wobblePhase += wobbleStep;
        vibratoPhase += vibratoStep;
        modulatorPhase += modulatorIncrement;
        while (modulatorPhase >= 1.0)
            modulatorPhase -= 1.0;
        carrierPhase += carrierIncrement;
        while (carrierPhase >= 1.0)
            carrierPhase -= 1.0;
        r.ampLevel[frames] = ampLevel;
        r.modLevel[frames] = modLevel;
        r.wobblePhase[frames] = wobblePhase;
        r.modulatorPhase[frames] = modulatorPhase;
        r.carrierPhase[frames] = carrierPhase;
    }
    AdvanceCounters(s, 1, frames);
    if (frames == 0)
        return 0;
    s.ampLevel[0] = ampLevel;
    s.modLevel[0] = modLevel;
    s.wobblePhase[0] = wobblePhase;
    s.vibratoPhase[0] = vibratoPhase;
    s.modulatorPhase[0] = modulatorPhase;
    s.carrierPhase[0] = carrierPhase;

    // Whole vectors of frames, up to the sines' padding; the frames past the run repeat its last.
    const size_t total = ((size_t)frames + maxLanes - 1) / maxLanes * maxLanes;
    for (auto i = (size_t)frames; i < total; ++i)
    {
        r.ampLevel[i] = ampLevel;
        r.modLevel[i] = modLevel;
        r.wobblePhase[i] = wobblePhase;
        r.modulatorPhase[i] = modulatorPhase;
        r.carrierPhase[i] = carrierPhase;
    }

    // Kernel::AdvanceFrame's work that does not wait for the frame before.
    const size_t step = hn::Lanes(d);
    const auto one = hn::Set(df, 1.0f);
    const auto depth = hn::Set(df, in.wobbleDepth);
    for (size_t i = 0; i < total; i += step)
    {
        const auto wobblePhases = hn::Load(d, r.wobblePhase + i);
        const auto wobble = Frames::SineAt(s.sineTable, Frames::WrapAngles(hn::DemoteTo(df, wobblePhases)));
        const auto rightWobble = Frames::SineAt(
            s.sineTable,
            Frames::WrapAngles(hn::DemoteTo(df, hn::Add(wobblePhases, hn::Set(d, std::numbers::pi)))));
        hn::Store(wobble, df, r.wobble + i);
        hn::Store(rightWobble, df, r.rightWobble + i);
        hn::Store(hn::Mul(hn::Add(hn::Mul(wobble, depth), one), hn::Load(df, r.modLevel + i)), df,
                  r.modScale + i);
        hn::Store(Frames::OscillatorAngle(hn::Load(d, r.modulatorPhase + i), in.modulatorWidth), df,
                  r.angle + i);
    }
    LaneSines(r.angle, r.sine, total);

    // Kernel::CarrierAngles.
    const auto shiftScale = hn::Set(df, in.modFeedback * s.feedbackVelocityFactor[0]);
    for (size_t i = 0; i < total; i += step)
    {
        const auto modOut = Frames::ShapeSine(hn::Load(df, r.sine + i), in.modulatorMorph);
        const auto shift = hn::Mul(shiftScale, hn::Mul(hn::Load(df, r.modScale + i), modOut));
        const auto phase = Frames::WrapBelowOne(
            Frames::WrapAboveZero(hn::Add(hn::PromoteTo(d, shift), hn::Load(d, r.carrierPhase + i))));
        hn::Store(Frames::OscillatorAngle(phase, in.carrierWidth), df, r.angle + i);
    }
    LaneSines(r.angle, r.sine, total);

    // Kernel::Outputs: the filter's input in vectors, then the filter and the stereo spread frame
    // by frame.
    const auto volume = hn::Set(df, s.volumeVelocityFactor[0]);
    for (size_t i = 0; i < total; i += step)
    {
        const auto carrierOut = Frames::ShapeSine(hn::Load(df, r.sine + i), in.carrierMorph);
        hn::Store(hn::Mul(hn::Mul(carrierOut, hn::Load(df, r.ampLevel + i)), volume), df, r.left + i);
    }
    const bool filtersCurrent = s.filtersCurrent && !pitchMoved &&
                                in.cutoffPosition == s.lastCutoffPosition && in.resonance == s.lastResonance;
    s.filtersCurrent = true;
    s.lastCutoffPosition = in.cutoffPosition;
    s.lastResonance = in.resonance;
    if (!filtersCurrent)
        Kernel<hn::CappedTag<double, 1>>::FollowPitch(s, 0, hn::Set(hn::CappedTag<double, 1>(), pitch), in);

    VoiceBank::Tail tail;
    tail.frames = frames;
    tail.input = r.left;
    tail.wobble = r.wobble;
    tail.rightWobble = r.rightWobble;
    tail.depth = in.wobbleDepth;
    tail.b0 = s.b0[0];
    tail.b1 = s.b1[0];
    tail.b2 = s.b2[0];
    tail.a1 = s.a1[0];
    tail.a2 = s.a2[0];
    tail.x1 = s.x1[0];
    tail.x2 = s.x2[0];
    tail.y1 = s.y1[0];
    tail.y2 = s.y2[0];
    if (deferred != nullptr && frames == count)
    {
        *deferred = tail;
        return frames;
    }
    for (int i = 0; i < frames; ++i)
        tail.frame(i, left[i], right[i]);
    VoiceBank::keepFilterState(s, tail);
    return frames;
}

// Whether two frames' inputs are the same to the last bit (a zero's sign included).
bool SameInputs(const VoiceFrameInputs& a, const VoiceFrameInputs& b)
{
    static_assert(sizeof(VoiceFrameInputs) == 2 * sizeof(double) + 10 * sizeof(float), "no padding");
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A single voice: stretches of frames with the same inputs and the wheel at rest, long enough to
// fill vectors, take RenderSteadyVoice; the frames between them the one-lane kernel.
int RenderOneVoice(VoiceBank::Lanes& s, VoiceBank::Run& r, VoiceBank::RunInputs in, int count, float* left,
                   float* right, VoiceBank::Tail* tail)
{
    constexpr int shortest = 16;
    count = std::min(count, VoiceBank::maxSpan);
    // The frames from `start` on with its inputs; past repeatsFrom, every frame has them.
    const auto sameFrom = [&](int start)
    {
        int end = start + 1;
        while (end < count && end < in.repeatsFrom && SameInputs(in[end], in[start]))
            ++end;
        if (end >= in.repeatsFrom)
            end = count;
        return end - start;
    };
    int done = 0;
    while (done < count)
    {
        int rendered = 0;
        int length = sameFrom(done);
        if (length >= shortest && in[done].wheel == 0.0)
            rendered = RenderSteadyVoice(s, r, in[done], length, left + done, right + done,
                                         length == count ? tail : nullptr);
        else
        {
            while (done + length < count)
            {
                const int next = sameFrom(done + length);
                if (next >= shortest && in[done + length].wheel == 0.0)
                    break;
                length += next;
            }
            rendered = Kernel<hn::CappedTag<double, 1>>::Render(s, r, in.from(done), length, left + done,
                                                                right + done);
        }
        done += rendered;
        if (rendered < length)
            break;
    }
    return done;
}

// InstrumentVoice::renderVoiceFrameFast on every loaded voice for up to `count` frames; one or two
// voices get vectors of their own width, up to four a narrow one, more the full width.
int RenderVoiceFrames(VoiceBank::Lanes& s, VoiceBank::Run& r, VoiceBank::RunInputs in, int count, float* left,
                      float* right, VoiceBank::Tail* tail)
{
    if (s.count == 1)
        return RenderOneVoice(s, r, in, count, left, right, tail);
    if (s.count == 2)
        return Kernel<hn::CappedTag<double, 2>>::Render(s, r, in, count, left, right);
    if (s.count <= 4)
        return Kernel<hn::CappedTag<double, 4>>::Render(s, r, in, count, left, right);
    return Kernel<hn::ScalableTag<double>>::Render(s, r, in, count, left, right);
}

const char* TargetName()
{
    return hwy::TargetName(HWY_TARGET);
}

} // namespace orvelund::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvelund
{
HWY_EXPORT(RenderVoiceFrames);
HWY_EXPORT(TargetName);
} // namespace orvelund

// A state that changes at its next step gets a limit that no counter is below.
void VoiceBank::describeSegment(const AdsrEnvelope& envelope, bool endsVoice, int32_t& limit, double& step)
{
    constexpr int32_t never = std::numeric_limits<int32_t>::max();
    constexpr int32_t now = std::numeric_limits<int32_t>::min();
    step = 0.0;
    switch (envelope.getState())
    {
    case AdsrEnvelope::State::attack:
        limit = envelope.attackFrames;
        step = envelope.attackStep;
        break;
    case AdsrEnvelope::State::decay:
        limit = envelope.decayFrames;
        step = envelope.decayStep;
        break;
    case AdsrEnvelope::State::release:
        limit = envelope.releaseFrames;
        step = envelope.releaseStep;
        break;
    case AdsrEnvelope::State::sustain:
        limit = envelope.sustainLevel > 0.0f ? never : now;
        break;
    case AdsrEnvelope::State::idle:
    default:
        // An idle amplitude envelope ends its voice at the next frame.
        limit = endsVoice ? now : never;
        break;
    }
}

void VoiceBank::finishTail(const Tail& tail)
{
    keepFilterState(lanes, tail);
}

void VoiceBank::keepFilterState(Lanes& s, const Tail& tail)
{
    s.x1[0] = tail.x1;
    s.x2[0] = tail.x2;
    s.y1[0] = tail.y1;
    s.y2[0] = tail.y2;
}

const char* VoiceBank::getTargetName()
{
    return HWY_DYNAMIC_DISPATCH(orvelund::TargetName)();
}

void VoiceBank::load(InstrumentVoice* const* newVoices, int count)
{
    count = std::clamp(count, 0, capacity);
    auto& s = lanes;
    s.count = count;
    s.lastRatio = std::numeric_limits<double>::quiet_NaN();
    s.filtersCurrent = false;
    if (count > 0)
    {
        s.rate = newVoices[0]->rate;
        s.inverseRate = newVoices[0]->inverseRate;
        s.filterRate = newVoices[0]->filter.rate;
        s.sineTable = newVoices[0]->sineTable;
    }

    for (int i = 0; i < capacity; ++i)
    {
        if (i >= count)
        {
            // Padding lanes: silent, steady, never in the way of the checks. Their oscillators
            // stand still at a phase whose sine needs no help from the C library.
            s.wobblePhase[i] = s.vibratoPhase[i] = 0.0;
            s.wobblePeriods[i] = s.rightWobblePeriods[i] = 0.0;
            s.modulatorPhase[i] = s.carrierPhase[i] = 0.1;
            s.b0[i] = s.b1[i] = s.b2[i] = s.a1[i] = s.a2[i] = s.k[i] = 0.0;
            s.cutoff[i] = s.damping[i] = s.lastCutoff[i] = s.lastDamping[i] = 0.0;
            s.x1[i] = s.x2[i] = s.y1[i] = s.y2[i] = 0.0;
            s.ampStep[i] = s.modStep[i] = 0.0;
            s.lastPitch[i] = s.modulatorIncrement[i] = s.carrierIncrement[i] = 0.0;
            s.frequency[i] = 0.0f;
            s.feedbackVelocityFactor[i] = s.filterVelocityFactor[i] = s.volumeVelocityFactor[i] = 0.0f;
            s.ampLevel[i] = 1.0f;
            s.modLevel[i] = 0.0f;
            s.ampCounter[i] = s.modCounter[i] = 0;
            s.ampLimit[i] = s.modLimit[i] = std::numeric_limits<int32_t>::max();
            continue;
        }

        auto& voice = *newVoices[i];
        voices[i] = &voice;
        s.lastPitch[i] = std::numeric_limits<double>::quiet_NaN();
        s.wobblePhase[i] = voice.wobblePhase;
        s.wobblePeriods[i] = voice.wobblePeriods;
        s.rightWobblePeriods[i] = voice.rightWobblePeriods;
        s.vibratoPhase[i] = voice.vibratoPhase;
        s.modulatorPhase[i] = voice.modulatorPhase;
        s.carrierPhase[i] = voice.carrierPhase;
        s.frequency[i] = voice.frequency;
        s.feedbackVelocityFactor[i] = voice.feedbackVelocityFactor;
        s.filterVelocityFactor[i] = voice.filterVelocityFactor;
        s.volumeVelocityFactor[i] = voice.volumeVelocityFactor;

        const auto& filter = voice.filter;
        s.b0[i] = filter.b0;
        s.b1[i] = filter.b1;
        s.b2[i] = filter.b2;
        s.a1[i] = filter.a1;
        s.a2[i] = filter.a2;
        s.k[i] = filter.k;
        s.cutoff[i] = filter.cutoff;
        s.damping[i] = filter.damping;
        s.x1[i] = filter.x1;
        s.x2[i] = filter.x2;
        s.y1[i] = filter.y1;
        s.y2[i] = filter.y2;
        // Coefficients made for another rate must be made again.
        const bool current = filter.lastRate == filter.rate && filter.rate == s.filterRate;
        s.lastCutoff[i] = current ? filter.lastCutoff : std::numeric_limits<double>::quiet_NaN();
        s.lastDamping[i] = current ? filter.lastDamping : std::numeric_limits<double>::quiet_NaN();

        s.ampLevel[i] = voice.ampEnvelope.level;
        s.ampCounter[i] = voice.ampEnvelope.counter;
        describeSegment(voice.ampEnvelope, true, s.ampLimit[i], s.ampStep[i]);
        s.modLevel[i] = voice.modEnvelope.level;
        s.modCounter[i] = voice.modEnvelope.counter;
        describeSegment(voice.modEnvelope, false, s.modLimit[i], s.modStep[i]);
    }
    loaded = true;
    rendered = false;
}

void VoiceBank::store()
{
    if (!loaded)
        return;
    const auto& s = lanes;
    for (int i = 0; i < s.count; ++i)
    {
        auto& voice = *voices[i];
        voice.wobblePhase = s.wobblePhase[i];
        voice.wobblePeriods = s.wobblePeriods[i];
        voice.rightWobblePeriods = s.rightWobblePeriods[i];
        voice.vibratoPhase = s.vibratoPhase[i];
        voice.modulatorPhase = s.modulatorPhase[i];
        voice.carrierPhase = s.carrierPhase[i];

        auto& filter = voice.filter;
        filter.b0 = s.b0[i];
        filter.b1 = s.b1[i];
        filter.b2 = s.b2[i];
        filter.a1 = s.a1[i];
        filter.a2 = s.a2[i];
        filter.k = s.k[i];
        filter.cutoff = s.cutoff[i];
        filter.damping = s.damping[i];
        filter.x1 = s.x1[i];
        filter.x2 = s.x2[i];
        filter.y1 = s.y1[i];
        filter.y2 = s.y2[i];
        filter.lastCutoff = s.lastCutoff[i];
        filter.lastDamping = s.lastDamping[i];
        filter.lastRate = std::isnan(s.lastCutoff[i]) ? filter.lastRate : s.filterRate;

        voice.ampEnvelope.level = s.ampLevel[i];
        voice.ampEnvelope.counter = s.ampCounter[i];
        voice.modEnvelope.level = s.modLevel[i];
        voice.modEnvelope.counter = s.modCounter[i];

        if (rendered)
        {
            voice.carrierMorph = carrierMorph;
            voice.carrierWidth = carrierWidth;
            voice.modulatorMorph = modulatorMorph;
            voice.modulatorWidth = modulatorWidth;
        }
        voices[i] = nullptr;
    }
    loaded = false;
}

int VoiceBank::renderFrames(RunInputs inputs, int count, float* left, float* right, Tail* tail)
{
    if (tail != nullptr)
        tail->frames = 0;
    const int frames =
        HWY_DYNAMIC_DISPATCH(orvelund::RenderVoiceFrames)(lanes, run, inputs, count, left, right, tail);
    if (frames > 0)
    {
        const auto& last = inputs[frames - 1];
        carrierMorph = last.carrierMorph;
        carrierWidth = last.carrierWidth;
        modulatorMorph = last.modulatorMorph;
        modulatorWidth = last.modulatorWidth;
        rendered = true;
    }
    return frames;
}

#endif // HWY_ONCE
