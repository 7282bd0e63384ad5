#include "FuzzSupport.h"

#include "PresetFileFormat.h"

// Preset files of any bytes through the store's validation and decoding, and the payload of the
// valid ones into the processor as a loaded preset.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto& p = fuzzing::processor();
    const auto& store = p.getPresetStore();
    const bool valid = store.isValidPresetData(data, size);
    const auto payload = store.decodePresetData(data, size);
    if (valid != payload.has_value())
        fuzzing::fail("validation and decoding disagree");
    if (PresetFileFormat::isValidPresetData(data, size, -1) !=
        PresetFileFormat::decodePresetData(data, size, -1).has_value())
        fuzzing::fail("validation and decoding disagree on headerless files of any length");
    if (!payload)
        return 0;
    if (payload->getSize() > size)
        fuzzing::fail("the payload is longer than the file");

    p.readState(payload->getData(), (int)payload->getSize(), true);
    fuzzing::expectParametersInRange(p);
    fuzzing::renderChecked(p, 64);
    return 0;
}
