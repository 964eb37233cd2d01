#pragma once

#include "Ref.h"
#include "Uniform.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace engine {

class Matrix;
class Sampler;
class Vector2;
class Vector3;
class Vector4;

// A linked shader program with its attributes and uniforms. Effects made from
// files are shared through a cache keyed by the shader paths and defines.
class Effect : public Ref {
public:
    // Relative paths lie in the resource folder 'folder'. fragmentSource,
    // when given, replaces the fragment file's text and fragmentKey then
    // stands for the fragment path in the cache key.
    static Effect* createFromFile(const std::string& folder, const char* vertexPath, const char* fragmentPath,
                                  const char* defines = nullptr, const char* fragmentSource = nullptr,
                                  const char* fragmentKey = nullptr);
    static Effect* createFromSource(const char* vertexSource, const char* fragmentSource,
                                    const char* defines = nullptr);

    // The cache key; empty for effects made from source.
    const char* getId() const { return m_id.c_str(); }

    // -1 when the program has no such active attribute.
    int getVertexAttribute(const char* name) const;
    // Null when the program has no such uniform. An element of a uniform
    // array ("u_palette[2]") is looked up once and then remembered.
    Uniform* getUniform(const char* name) const;
    Uniform* getUniform(unsigned int index) const;

    void setValue(Uniform* uniform, float value);
    void setValue(Uniform* uniform, const float* values, unsigned int count = 1);
    void setValue(Uniform* uniform, int value);
    void setValue(Uniform* uniform, const int* values, unsigned int count = 1);
    void setValue(Uniform* uniform, const Matrix& value);
    void setValue(Uniform* uniform, const Matrix* values, unsigned int count = 1);
    void setValue(Uniform* uniform, const Vector2& value);
    void setValue(Uniform* uniform, const Vector2* values, unsigned int count = 1);
    void setValue(Uniform* uniform, const Vector3& value);
    void setValue(Uniform* uniform, const Vector3* values, unsigned int count = 1);
    void setValue(Uniform* uniform, const Vector4& value);
    void setValue(Uniform* uniform, const Vector4* values, unsigned int count = 1);
    void setValue(Uniform* uniform, Sampler* sampler);
    void setValue(Uniform* uniform, Sampler* const* samplers, unsigned int count);

    // Makes the program current.
    void bind();

private:
    Effect() = default;
    ~Effect() override;

    // Paths (may be null) resolve includes and name the ".err" files.
    static Effect* createFromSource(const std::string& folder, const char* vertexPath, const char* vertexSource,
                                    const char* fragmentPath, const char* fragmentSource, const char* defines);
    static Effect* createFromExpandedSource(const std::string& folder, const std::string& vertexPath,
                                            const std::string& vertexSource, const std::string& fragmentPath,
                                            const std::string& fragmentSource, const char* defines);
    void discoverAttributes();
    void discoverUniforms();

    using UniformMap = std::map<std::string, std::unique_ptr<Uniform>, std::less<>>;

    static Effect* s_currentEffect;

    std::string m_id;
    unsigned int m_program = 0;
    std::map<std::string, int, std::less<>> m_attributes;
    mutable UniformMap m_uniforms;
};

} // namespace engine
