// Feeds arbitrary text to the properties parser (material, animation and
// scene files), reads every value of the result through the getters and
// builds every "material" namespace (without OpenGL no effect compiles, but
// parameters, samplers and render states are read).
#include "Material.h"
#include "MaterialReader.h"
#include "Properties.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

void readEverything(engine::Properties* p, int depth)
{
    if (depth > 64)
        return;
    p->rewind();
    engine::Vector4 v;
    engine::Matrix m;
    engine::Quaternion q;
    while (const char* name = p->getNextProperty()) {
        p->getFloat(name);
        p->getInt(name);
        p->getVector4(name, &v);
        p->getMatrix(name, &m);
        p->getQuaternionFromAxisAngle(name, &q);
    }
    while (engine::Properties* nested = p->getNextNamespace()) {
        std::unique_ptr<engine::Properties> copy(nested->clone());
        readEverything(copy.get(), depth + 1);
        p->getNamespace(nested->getId(), true);
        engine::BundleProblems problems;
        if (engine::Material* material
            = engine::MaterialReader::read(std::string(), nested, nullptr, nullptr, &problems))
            material->release();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<engine::Properties> root(
        engine::Properties::createFromText(reinterpret_cast<const char*>(data), size));
    if (root)
        readEverything(root.get(), 0);
    return 0;
}
