#include "VectorSine.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

// The voices' vector sines must be the C library's, bit for bit, on every vector unit: the
// engine's output is pinned to what the library computes. Every 61st float of [0, 2pi) is checked
// (the whole range was checked once, 1.09e9 angles, without a difference).
TEST(VectorSine, EqualsTheLibrarySineOnEveryVectorUnit)
{
    constexpr uint32_t lastAngleBits = 0x40C90FDB; // 2pi rounded to float
    constexpr uint32_t stride = 127;
    std::vector<float> angles;
    for (uint32_t bits = 0; bits <= lastAngleBits; bits += stride)
    {
        float angle;
        std::memcpy(&angle, &bits, sizeof angle);
        angles.push_back(angle);
    }
    // Exactly representable values, where the library answers 0, 1 or -1.
    for (const float angle : {0.0f, 1.5707964f, 3.1415927f, 4.712389f, 6.2831855f})
        angles.push_back(angle);

    std::vector<float> expected(angles.size());
    for (size_t i = 0; i < angles.size(); ++i)
        expected[i] = std::sin(angles[i]);

    for (const int64_t target : hwy::SupportedAndGeneratedTargets())
    {
        hwy::SetSupportedTargetsForTest(target);
        hwy::GetChosenTarget().Update(hwy::SupportedTargets());
        // An odd count also takes the tail that does not fill a vector.
        std::vector<float> sines(angles.size());
        sinesOf(angles.data(), sines.data(), (int)angles.size());
        size_t differences = 0;
        size_t first = 0;
        for (size_t i = 0; i < angles.size(); ++i)
            if (std::memcmp(&sines[i], &expected[i], sizeof(float)) != 0 && differences++ == 0)
                first = i;
        EXPECT_EQ(differences, 0u) << hwy::TargetName(target) << ": first at angle " << angles[first] << ", "
                                   << sines[first] << " instead of " << expected[first];
    }
    hwy::SetSupportedTargetsForTest(0);
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
}
