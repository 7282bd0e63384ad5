#pragma once

// sines[i] = std::sin(angles[i]) for angles in [0, 2pi], bit for bit, computed with the same lane
// code as the voices' oscillators and the chorus LFOs, in the widest vector unit the processor
// offers. The tests check that code over many angles at once through here.
void sinesOf(const float* angles, float* sines, int count);
