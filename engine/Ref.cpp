#include "Ref.h"

namespace engine {

Ref::Ref()
    : m_refCount(1)
{
}

// A copy is a new object: it gets its own single reference, not the count of
// the original.
Ref::Ref(const Ref&)
    : m_refCount(1)
{
}

Ref::~Ref() = default;

void Ref::addRef() { ++m_refCount; }

void Ref::release()
{
    if (--m_refCount == 0)
        delete this;
}

} // namespace engine
