#include "VertexFormat.h"

namespace engine {

VertexFormat::VertexFormat(const Element* elements, unsigned int count)
{
    if (!elements)
        return;
    m_elements.assign(elements, elements + count);
    for (const Element& element : m_elements)
        m_vertexSize += element.size * sizeof(float);
}

unsigned int VertexFormat::getElementOffset(unsigned int index) const
{
    unsigned int offset = 0;
    for (unsigned int i = 0; i < index && i < m_elements.size(); ++i)
        offset += m_elements[i].size * sizeof(float);
    return offset;
}

const char* VertexFormat::attributeName(Usage usage)
{
    static const char* const kNames[]
        = {"a_position",     "a_normal",       "a_color",     "a_tangent",   "a_binormal",
           "a_blendWeights", "a_blendIndices", "a_texCoord",  "a_texCoord1", "a_texCoord2",
           "a_texCoord3",    "a_texCoord4",    "a_texCoord5", "a_texCoord6", "a_texCoord7"};
    if (usage < POSITION || usage > TEXCOORD7)
        return nullptr;
    return kNames[usage - POSITION];
}

const char* VertexFormat::alternativeAttributeName(Usage usage) { return usage == TEXCOORD0 ? "a_texCoord0" : nullptr; }

} // namespace engine
