#include "Pass.h"

#include "Effect.h"
#include "Technique.h"
#include "VertexAttributeBinding.h"

namespace engine {

Pass* Pass::create(const char* id, Technique* technique, Effect* effect) { return new Pass(id, technique, effect); }

Pass::Pass(const char* id, Technique* technique, Effect* effect)
    : m_id(id ? id : "")
    , m_technique(technique)
    , m_effect(nullptr)
{
    setParent(technique);
    setEffect(effect);
}

Pass::~Pass()
{
    releaseRef(m_vertexAttributeBinding);
    releaseRef(m_effect);
}

void Pass::setEffect(Effect* effect)
{
    if (effect == m_effect)
        return;
    if (effect)
        effect->addRef();
    releaseRef(m_vertexAttributeBinding);
    releaseRef(m_effect);
    m_effect = effect;
}

void Pass::setVertexAttributeBinding(VertexAttributeBinding* binding)
{
    if (binding == m_vertexAttributeBinding)
        return;
    if (binding)
        binding->addRef();
    releaseRef(m_vertexAttributeBinding);
    m_vertexAttributeBinding = binding;
}

bool Pass::prepareFor(Mesh* mesh)
{
    if (!m_effect || !mesh)
        return false;
    if (m_vertexAttributeBinding && m_vertexAttributeBinding->getMesh() == mesh)
        return true;
    VertexAttributeBinding* binding = VertexAttributeBinding::create(mesh, m_effect);
    setVertexAttributeBinding(binding);
    if (binding)
        binding->release();
    return binding != nullptr;
}

void Pass::bind()
{
    if (!m_effect)
        return;
    bindPass(this);
    if (m_vertexAttributeBinding)
        m_vertexAttributeBinding->bind();
}

void Pass::unbind()
{
    if (m_vertexAttributeBinding)
        m_vertexAttributeBinding->unbind();
}

} // namespace engine
