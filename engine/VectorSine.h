#pragma once

// sines[i] = std::sin(angles[i]) for angles in [0, 2pi), bit for bit, computed in the widest
// vector unit the processor offers.
void sinesOf(const float* angles, float* sines, int count);
