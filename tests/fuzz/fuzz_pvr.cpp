// Feeds arbitrary bytes to the PVR header checks; every level they accept
// is read back to the last byte, so a plan that reaches past the file shows.
#include "CompressedTextureReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using Reader = engine::CompressedTextureReader;
    const Reader::PvrPlan plan = Reader::planPvr(data, size, true);
    if (plan.status != Reader::PVR_OK)
        return 0;
    size_t offset = plan.dataOffset;
    unsigned int sum = 0;
    for (unsigned int level = 0; level < plan.levels; ++level) {
        offset += Reader::pvrLevelBytes(plan, level);
        sum += data[offset - 1];
    }
    return sum == 0x7fffffff ? 1 : 0;
}
