#include "Technique.h"

#include "Material.h"
#include "Pass.h"

#include <cstring>

namespace engine {

Technique* Technique::create(const char* id, Material* material) { return new Technique(id, material); }

Technique::Technique(const char* id, Material* material)
    : m_id(id ? id : "")
    , m_material(material)
{
    setParent(material);
}

Technique::~Technique()
{
    for (Pass* pass : m_passes)
        pass->release();
}

void Technique::addPass(Pass* pass)
{
    if (!pass)
        return;
    pass->addRef();
    pass->m_technique = this;
    pass->setParent(this);
    pass->setNodeBinding(getNodeBinding());
    m_passes.push_back(pass);
}

void Technique::setNodeBinding(Node* node)
{
    RenderState::setNodeBinding(node);
    for (Pass* pass : m_passes)
        pass->setNodeBinding(node);
}

} // namespace engine
