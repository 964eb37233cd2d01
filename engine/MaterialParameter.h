#pragma once

#include "MethodBinding.h"
#include "Ref.h"
#include "math/Matrix.h"
#include "math/Vector2.h"
#include "math/Vector3.h"
#include "math/Vector4.h"

#include <string>
#include <vector>

namespace engine {

class Effect;
class Sampler;
struct Uniform;

// A named shader parameter of a material, technique or pass: a value, an
// array, a texture sampler or a getter evaluated on every bind.
class MaterialParameter : public Ref {
public:
    enum Type {
        NONE = 0,
        FLOAT = 1,
        FLOAT_ARRAY = 2,
        INT = 3,
        INT_ARRAY = 4,
        VECTOR2 = 5,
        VECTOR3 = 6,
        VECTOR4 = 7,
        MATRIX = 8,
        SAMPLER = 9,
        SAMPLER_ARRAY = 10,
        METHOD = 11
    };

    static MaterialParameter* create(const char* name);

    const char* getName() const { return m_name.c_str(); }
    Type getType() const { return m_type; }

    // Array setters copy the values.
    void setValue(float value);
    void setValue(const float* values, unsigned int count);
    void setValue(int value);
    void setValue(const int* values, unsigned int count);
    void setValue(const Vector2& value);
    void setValue(const Vector2* values, unsigned int count);
    void setValue(const Vector3& value);
    void setValue(const Vector3* values, unsigned int count);
    void setValue(const Vector4& value);
    void setValue(const Vector4* values, unsigned int count);
    void setValue(const Matrix& value);
    void setValue(const Matrix* values, unsigned int count);
    // Takes a reference to each sampler.
    void setValue(Sampler* sampler);
    void setValue(Sampler* const* samplers, unsigned int count);
    // Creates the texture (through the texture cache) and a sampler for it;
    // null (and the parameter unchanged) when the texture cannot be made.
    Sampler* setValue(const char* texturePath, bool generateMipmaps);
    void setBinding(MethodBinding* binding);

    // Binds a getter of 'object' returning a value or a const reference.
    template <class ClassType, class ValueType>
    void bindValue(const ClassType* object, ValueType (ClassType::*getter)() const)
    {
        MethodBinding* binding = new MethodValueBinding<ClassType, ValueType>(object, getter);
        setBinding(binding);
        binding->release();
    }
    template <class ClassType, class ValueType>
    void bindValue(const ClassType* object, const ValueType* (ClassType::*getter)() const,
                   unsigned int (ClassType::*countGetter)() const)
    {
        MethodBinding* binding = new MethodArrayBinding<ClassType, ValueType>(object, getter, countGetter);
        setBinding(binding);
        binding->release();
    }

    // Values (single values at index 0); null or zero for other kinds.
    float getFloat() const { return m_type == FLOAT || m_type == FLOAT_ARRAY ? m_floats[0] : 0.0f; }
    int getInt() const { return m_type == INT || m_type == INT_ARRAY ? m_ints[0] : 0; }
    const float* getFloats() const { return m_floats.empty() ? nullptr : m_floats.data(); }
    Sampler* getSampler(unsigned int index = 0) const
    {
        return index < m_samplers.size() ? m_samplers[index] : nullptr;
    }

    // Resolves the uniform in the effect (remembered per effect) and uploads
    // the value. A parameter the effect does not use is skipped.
    void bind(Effect* effect);

private:
    explicit MaterialParameter(const char* name);
    ~MaterialParameter() override;

    void clearValue();
    void setFloats(Type type, const float* values, size_t floatCount, unsigned int count);

    std::string m_name;
    Type m_type = NONE;
    unsigned int m_count = 0;
    std::vector<float> m_floats;
    std::vector<int> m_ints;
    std::vector<Sampler*> m_samplers;
    MethodBinding* m_binding = nullptr;
    Effect* m_resolvedEffect = nullptr;
    Uniform* m_uniform = nullptr;
};

} // namespace engine
