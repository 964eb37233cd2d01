// Feeds arbitrary bytes to the bundle reader: the header and table, then the
// first scene with everything it refers to, then each node entry on its own.
#include "BundleReader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    engine::BundleReader reader;
    if (!reader.open(std::vector<unsigned char>(data, data + size)))
        return 0;
    engine::BundleData scene;
    reader.readScene(nullptr, &scene);
    const std::vector<engine::BundleData::Reference> references = reader.references();
    size_t nodes = 0;
    for (const engine::BundleData::Reference& r : references) {
        if (r.type != engine::BundleData::NODE || ++nodes > 8)
            continue;
        engine::BundleData node;
        reader.readNode(r.id.c_str(), &node);
    }
    return 0;
}
