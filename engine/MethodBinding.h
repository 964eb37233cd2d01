#pragma once

#include "Ref.h"

namespace engine {

class Effect;
struct Uniform;

// A parameter value fetched from a getter of some object every time the
// parameter is bound. The object must outlive the binding.
class MethodBinding : public Ref {
public:
    virtual void setValue(Effect* effect, Uniform* uniform) = 0;

protected:
    MethodBinding() = default;
    ~MethodBinding() override = default;
};

// One value returned by value or by reference.
template <class ClassType, class ValueType>
class MethodValueBinding : public MethodBinding {
public:
    using Getter = ValueType (ClassType::*)() const;

    MethodValueBinding(const ClassType* object, Getter getter)
        : m_object(object)
        , m_getter(getter)
    {
    }

    void setValue(Effect* effect, Uniform* uniform) override;

private:
    const ClassType* m_object;
    Getter m_getter;
};

// An array whose length a second getter supplies.
template <class ClassType, class ValueType>
class MethodArrayBinding : public MethodBinding {
public:
    using Getter = const ValueType* (ClassType::*)() const;
    using CountGetter = unsigned int (ClassType::*)() const;

    MethodArrayBinding(const ClassType* object, Getter getter, CountGetter countGetter)
        : m_object(object)
        , m_getter(getter)
        , m_countGetter(countGetter)
    {
    }

    void setValue(Effect* effect, Uniform* uniform) override;

private:
    const ClassType* m_object;
    Getter m_getter;
    CountGetter m_countGetter;
};

} // namespace engine

#include "Effect.h"

namespace engine {

template <class ClassType, class ValueType>
void MethodValueBinding<ClassType, ValueType>::setValue(Effect* effect, Uniform* uniform)
{
    effect->setValue(uniform, (m_object->*m_getter)());
}

template <class ClassType, class ValueType>
void MethodArrayBinding<ClassType, ValueType>::setValue(Effect* effect, Uniform* uniform)
{
    const unsigned int count = (m_object->*m_countGetter)();
    if (count > 0)
        effect->setValue(uniform, (m_object->*m_getter)(), count);
}

} // namespace engine
