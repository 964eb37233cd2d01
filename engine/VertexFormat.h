#pragma once

#include <vector>

namespace engine {

// Interleaved float vertex layout: an ordered list of (usage, size in floats).
class VertexFormat {
public:
    enum Usage {
        POSITION = 1,
        NORMAL = 2,
        COLOR = 3,
        TANGENT = 4,
        BINORMAL = 5,
        BLENDWEIGHTS = 6,
        BLENDINDICES = 7,
        TEXCOORD0 = 8,
        TEXCOORD1 = 9,
        TEXCOORD2 = 10,
        TEXCOORD3 = 11,
        TEXCOORD4 = 12,
        TEXCOORD5 = 13,
        TEXCOORD6 = 14,
        TEXCOORD7 = 15
    };

    struct Element {
        Usage usage;
        unsigned int size; // in floats

        Element()
            : usage(POSITION)
            , size(0)
        {
        }
        Element(Usage elementUsage, unsigned int elementSize)
            : usage(elementUsage)
            , size(elementSize)
        {
        }
        bool operator==(const Element& other) const { return usage == other.usage && size == other.size; }
        bool operator!=(const Element& other) const { return !(*this == other); }
    };

    VertexFormat() = default;
    VertexFormat(const Element* elements, unsigned int count);

    unsigned int getElementCount() const { return static_cast<unsigned int>(m_elements.size()); }
    const Element& getElement(unsigned int index) const { return m_elements[index]; }
    // Sum of the element sizes in bytes.
    unsigned int getVertexSize() const { return m_vertexSize; }
    // Byte offset of an element inside one vertex.
    unsigned int getElementOffset(unsigned int index) const;

    // The shader attribute an element feeds; null for usages outside the table.
    static const char* attributeName(Usage usage);
    // Texture set 0 also feeds "a_texCoord0" when an effect has no "a_texCoord".
    static const char* alternativeAttributeName(Usage usage);

    bool operator==(const VertexFormat& other) const { return m_elements == other.m_elements; }
    bool operator!=(const VertexFormat& other) const { return !(*this == other); }

private:
    std::vector<Element> m_elements;
    unsigned int m_vertexSize = 0;
};

} // namespace engine
