// Feeds arbitrary bytes to the bundle reader: the header and table, then the
// first scene with everything it refers to, then each node entry on its own;
// the same bytes are summarised as --info does and built into the engine's
// scene objects (no OpenGL: materials are not built, meshes not uploaded).
#include "Bundle.h"
#include "BundleInfo.h"
#include "BundleReader.h"
#include "Node.h"
#include "Scene.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void buildScene(const std::vector<unsigned char>& bytes)
{
    engine::Bundle* bundle = engine::Bundle::create(std::string(), "fuzz.gpb", bytes);
    if (!bundle)
        return;
    bundle->setLoadMaterials(false);
    if (engine::Scene* scene = bundle->loadScene()) {
        scene->visit([](engine::Node* node) {
            node->getBoundingSphere();
            node->getWorldMatrix();
            return true;
        });
        scene->release();
    }
    bundle->release();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<unsigned char> bytes(data, data + size);
    engine::BundleReader reader;
    if (!reader.open(bytes))
        return 0;
    engine::BundleData scene;
    if (reader.readScene(nullptr, &scene)) {
        const engine::BundleInfo::Summary summary = engine::BundleInfo::summarise(scene, "");
        engine::BundleInfo::toText(summary);
        engine::BundleInfo::toJson(summary);
    }
    const std::vector<engine::BundleData::Reference> references = reader.references();
    size_t nodes = 0;
    for (const engine::BundleData::Reference& r : references) {
        if (r.type != engine::BundleData::NODE || ++nodes > 8)
            continue;
        engine::BundleData node;
        reader.readNode(r.id.c_str(), &node);
    }
    buildScene(bytes);
    return 0;
}
