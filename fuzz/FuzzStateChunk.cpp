#include "FuzzSupport.h"

// Host state chunks of any bytes: restored, rendered, saved again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto& p = fuzzing::processor();
    p.setStateInformation(data, (int)std::min(size, (size_t)1 << 20));
    fuzzing::expectParametersInRange(p);
    fuzzing::renderChecked(p, 64);

    juce::MemoryBlock saved;
    p.getStateInformation(saved);
    if (saved.getSize() != 124 && saved.getSize() != 132)
        fuzzing::fail("the saved state is neither a parameter block nor one with the preset identity");
    return 0;
}
