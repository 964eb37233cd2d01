#pragma once

#include "RenderState.h"

#include <string>
#include <vector>

namespace engine {

class Material;
class Pass;

// One way of drawing a material: an ordered list of passes.
class Technique : public RenderState {
public:
    static Technique* create(const char* id, Material* material);

    const char* getId() const { return m_id.c_str(); }
    Material* getMaterial() const { return m_material; }

    unsigned int getPassCount() const { return static_cast<unsigned int>(m_passes.size()); }
    Pass* getPassByIndex(unsigned int index) const { return index < m_passes.size() ? m_passes[index] : nullptr; }
    // Takes a reference; the pass's parent becomes this technique.
    void addPass(Pass* pass);

    void setNodeBinding(Node* node) override;

private:
    Technique(const char* id, Material* material);
    ~Technique() override;

    std::string m_id;
    Material* m_material;
    std::vector<Pass*> m_passes;
};

} // namespace engine
