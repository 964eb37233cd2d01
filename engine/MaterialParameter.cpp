#include "MaterialParameter.h"

#include "Effect.h"
#include "Sampler.h"
#include "Texture.h"

namespace engine {

MaterialParameter* MaterialParameter::create(const char* name) { return new MaterialParameter(name); }

MaterialParameter::MaterialParameter(const char* name)
    : m_name(name ? name : "")
{
}

MaterialParameter::~MaterialParameter() { clearValue(); }

void MaterialParameter::clearValue()
{
    for (Sampler* sampler : m_samplers)
        sampler->release();
    m_samplers.clear();
    releaseRef(m_binding);
    m_floats.clear();
    m_ints.clear();
    m_type = NONE;
    m_count = 0;
}

void MaterialParameter::setFloats(Type type, const float* values, size_t floatCount, unsigned int count)
{
    clearValue();
    if (!values || count == 0)
        return;
    m_floats.assign(values, values + floatCount);
    m_type = type;
    m_count = count;
}

void MaterialParameter::setValue(float value) { setFloats(FLOAT, &value, 1, 1); }

void MaterialParameter::setValue(const float* values, unsigned int count)
{
    setFloats(FLOAT_ARRAY, values, count, count);
}

void MaterialParameter::setValue(int value)
{
    setValue(&value, 1);
    m_type = INT;
}

void MaterialParameter::setValue(const int* values, unsigned int count)
{
    clearValue();
    if (!values || count == 0)
        return;
    m_ints.assign(values, values + count);
    m_type = INT_ARRAY;
    m_count = count;
}

void MaterialParameter::setValue(const Vector2& value) { setValue(&value, 1); }

void MaterialParameter::setValue(const Vector2* values, unsigned int count)
{
    setFloats(VECTOR2, values ? &values[0].x : nullptr, size_t(count) * 2, count);
}

void MaterialParameter::setValue(const Vector3& value) { setValue(&value, 1); }

void MaterialParameter::setValue(const Vector3* values, unsigned int count)
{
    setFloats(VECTOR3, values ? &values[0].x : nullptr, size_t(count) * 3, count);
}

void MaterialParameter::setValue(const Vector4& value) { setValue(&value, 1); }

void MaterialParameter::setValue(const Vector4* values, unsigned int count)
{
    setFloats(VECTOR4, values ? &values[0].x : nullptr, size_t(count) * 4, count);
}

void MaterialParameter::setValue(const Matrix& value) { setValue(&value, 1); }

void MaterialParameter::setValue(const Matrix* values, unsigned int count)
{
    setFloats(MATRIX, values ? values[0].m : nullptr, size_t(count) * 16, count);
}

void MaterialParameter::setValue(Sampler* sampler)
{
    setValue(&sampler, 1);
    if (m_type == SAMPLER_ARRAY)
        m_type = SAMPLER;
}

void MaterialParameter::setValue(Sampler* const* samplers, unsigned int count)
{
    for (unsigned int i = 0; samplers && i < count; ++i) {
        if (!samplers[i])
            return;
    }
    // References first: the new samplers may be the ones held now.
    for (unsigned int i = 0; samplers && i < count; ++i)
        samplers[i]->addRef();
    clearValue();
    if (!samplers || count == 0)
        return;
    m_samplers.assign(samplers, samplers + count);
    m_type = SAMPLER_ARRAY;
    m_count = count;
}

Sampler* MaterialParameter::setValue(const char* texturePath, bool generateMipmaps)
{
    Texture* texture = texturePath ? Texture::create(texturePath, generateMipmaps) : nullptr;
    if (!texture)
        return nullptr;
    Sampler* sampler = Sampler::create(texture);
    texture->release();
    setValue(sampler);
    sampler->release();
    return sampler;
}

void MaterialParameter::setBinding(MethodBinding* binding)
{
    if (binding)
        binding->addRef();
    clearValue();
    if (!binding)
        return;
    m_binding = binding;
    m_type = METHOD;
    m_count = 1;
}

void MaterialParameter::bind(Effect* effect)
{
    if (m_type == NONE || !effect)
        return;
    if (m_resolvedEffect != effect) {
        m_resolvedEffect = effect;
        m_uniform = effect->getUniform(m_name.c_str());
    }
    if (!m_uniform)
        return;
    const float* f = m_floats.data();
    switch (m_type) {
    case FLOAT:
        effect->setValue(m_uniform, f[0]);
        break;
    case FLOAT_ARRAY:
        effect->setValue(m_uniform, f, m_count);
        break;
    case INT:
        effect->setValue(m_uniform, m_ints[0]);
        break;
    case INT_ARRAY:
        effect->setValue(m_uniform, m_ints.data(), m_count);
        break;
    case VECTOR2:
        effect->setValue(m_uniform, reinterpret_cast<const Vector2*>(f), m_count);
        break;
    case VECTOR3:
        effect->setValue(m_uniform, reinterpret_cast<const Vector3*>(f), m_count);
        break;
    case VECTOR4:
        effect->setValue(m_uniform, reinterpret_cast<const Vector4*>(f), m_count);
        break;
    case MATRIX:
        effect->setValue(m_uniform, reinterpret_cast<const Matrix*>(f), m_count);
        break;
    case SAMPLER:
        effect->setValue(m_uniform, m_samplers[0]);
        break;
    case SAMPLER_ARRAY:
        effect->setValue(m_uniform, m_samplers.data(), m_count);
        break;
    case METHOD:
        m_binding->setValue(effect, m_uniform);
        break;
    case NONE:
        break;
    }
}

} // namespace engine
