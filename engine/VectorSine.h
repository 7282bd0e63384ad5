#pragma once

// sines[i] = std::sin(angles[i]) for angles in [0, 2pi], bit for bit, computed with the same lane
// code as the voices' oscillators, in the widest vector unit the processor offers. The chorus takes
// its LFO sines from here; the tests check that code over many angles at once.
void sinesOf(const float* angles, float* sines, int count);
