#include "engine/Ref.h"

namespace engine {

Ref::Ref()
    : _refCount(1)
{
}

// A copy is a new object: it gets its own single reference, not the count of
// the original.
Ref::Ref(const Ref&)
    : _refCount(1)
{
}

Ref::~Ref() = default;

void Ref::addRef()
{
    ++_refCount;
}

void Ref::release()
{
    if (--_refCount == 0)
        delete this;
}

unsigned int Ref::getRefCount() const
{
    return _refCount;
}

} // namespace engine
