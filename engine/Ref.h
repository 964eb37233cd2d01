#pragma once

namespace engine {

// Intrusive reference count shared by every engine object that several owners
// may hold. A new object starts with one reference, owned by its creator.
class Ref {
public:
    void addRef();
    void release();

protected:
    Ref();
    Ref(const Ref& copy);
    Ref& operator=(const Ref&) { return *this; }
    virtual ~Ref();

private:
    unsigned int m_refCount;
};

// Drops the reference held in 'ref' (if any) and clears the pointer.
template <typename T>
inline void releaseRef(T*& ref)
{
    if (ref) {
        ref->release();
        ref = nullptr;
    }
}

// Makes 'ref' hold 'value' (one reference taken) and drops what it held.
template <typename T>
inline void assignRef(T*& ref, T* value)
{
    if (ref == value)
        return;
    if (value)
        value->addRef();
    releaseRef(ref);
    ref = value;
}

} // namespace engine
