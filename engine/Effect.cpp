#include "Effect.h"

#include "FileSystem.h"
#include "Sampler.h"
#include "ShaderIncludes.h"
#include "Stream.h"
#include "math/Matrix.h"
#include "math/Vector2.h"
#include "math/Vector3.h"
#include "math/Vector4.h"

#include <GL/glew.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

namespace engine {

Effect* Effect::s_currentEffect = nullptr;

namespace {

std::map<std::string, Effect*>& effectCache()
{
    static std::map<std::string, Effect*> cache;
    return cache;
}

bool readText(const std::string& path, std::string* text)
{
    std::unique_ptr<char[]> data(FileSystem::readAll(path.c_str()));
    if (!data)
        return false;
    *text = data.get();
    return true;
}

// The stage's source with its includes in place; false when they expand
// past the bounds (an include that cannot be read ends the expansion there,
// and the compiler then names what is missing).
bool expandStage(const std::string& folder, const char* path, const char* source, std::string* expanded)
{
    if (path && *path) {
        if (ShaderIncludes::expand(path, source, expanded, folder) == ShaderIncludes::Outcome::TooLarge)
            return false;
    } else {
        *expanded = source;
    }
    if (!expanded->empty())
        *expanded += "\n";
    return true;
}

std::string defineBlock(const char* defines)
{
    if (!defines || !*defines)
        return std::string();
    std::string block = "#define ";
    for (const char* c = defines; *c; ++c) {
        if (*c == ';')
            block += "\n#define ";
        else
            block += *c;
    }
    return block + "\n";
}

std::string infoLog(GLuint object, bool isProgram)
{
    GLint length = 0;
    if (isProgram)
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    else
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0)
        length = 4096;
    std::vector<char> log(size_t(length) + 1, '\0');
    if (isProgram)
        glGetProgramInfoLog(object, length, nullptr, log.data());
    else
        glGetShaderInfoLog(object, length, nullptr, log.data());
    return log.data();
}

// Only beside a shader below the resource folder (the model or program
// folder): a path a model file gives must not place files elsewhere.
void writeErrorFile(const std::string& folder, const std::string& path, const std::string& source)
{
    if (!FileSystem::isConfinedPath(path.c_str()))
        return;
    std::unique_ptr<Stream> stream(
        FileSystem::open(FileSystem::resolvePath(folder, (path + ".err").c_str()).c_str(), "wb"));
    if (stream)
        stream->write(source.data(), 1, source.size());
}

// Zero when the stage does not compile; the expanded source is then left in
// a ".err" file beside the shader.
GLuint compileStage(GLenum stage, const std::string& defines, const std::string& folder, const std::string& path,
                    const std::string& source)
{
    const GLchar* strings[3] = {defines.c_str(), "\n", source.c_str()};
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 3, strings, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_TRUE)
        return shader;
    infoLog(shader, false);
    writeErrorFile(folder, path, source);
    glDeleteShader(shader);
    return 0;
}

bool isSamplerType(GLenum type) { return type == GL_SAMPLER_2D || type == GL_SAMPLER_CUBE; }

} // namespace

Effect::~Effect()
{
    if (!m_id.empty()) {
        auto it = effectCache().find(m_id);
        if (it != effectCache().end() && it->second == this)
            effectCache().erase(it);
    }
    if (s_currentEffect == this)
        s_currentEffect = nullptr;
    if (m_program)
        glDeleteProgram(m_program);
}

Effect* Effect::createFromFile(const std::string& folder, const char* vertexPath, const char* fragmentPath,
                               const char* defines, const char* fragmentSource, const char* fragmentKey)
{
    if (!vertexPath || !fragmentPath)
        return nullptr;
    // Resolved, as the same names in two folders are different shaders.
    std::string key = FileSystem::resolvePath(folder, vertexPath) + ";"
        + (fragmentSource && fragmentKey ? std::string(fragmentKey) : FileSystem::resolvePath(folder, fragmentPath))
        + ";";
    if (defines)
        key += defines;
    auto cached = effectCache().find(key);
    if (cached != effectCache().end()) {
        cached->second->addRef();
        return cached->second;
    }
    std::string vertexText;
    std::string fragmentText;
    if (!readText(FileSystem::resolvePath(folder, vertexPath), &vertexText))
        return nullptr;
    if (fragmentSource)
        fragmentText = fragmentSource;
    else if (!readText(FileSystem::resolvePath(folder, fragmentPath), &fragmentText))
        return nullptr;
    Effect* effect = createFromSource(folder, vertexPath, vertexText.c_str(), fragmentSource ? nullptr : fragmentPath,
                                      fragmentText.c_str(), defines);
    if (effect) {
        effect->m_id = key;
        effectCache()[key] = effect;
    }
    return effect;
}

Effect* Effect::createFromSource(const char* vertexSource, const char* fragmentSource, const char* defines)
{
    return createFromSource(std::string(), nullptr, vertexSource, nullptr, fragmentSource, defines);
}

Effect* Effect::createFromSource(const std::string& folder, const char* vertexPath, const char* vertexSource,
                                 const char* fragmentPath, const char* fragmentSource, const char* defines)
{
    if (!vertexSource || !fragmentSource || !glCreateShader)
        return nullptr;
    std::string vertexText, fragmentText;
    if (!expandStage(folder, vertexPath, vertexSource, &vertexText)
        || !expandStage(folder, fragmentPath, fragmentSource, &fragmentText))
        return nullptr;
    return createFromExpandedSource(folder, vertexPath ? vertexPath : "", vertexText, fragmentPath ? fragmentPath : "",
                                    fragmentText, defines);
}

Effect* Effect::createFromExpandedSource(const std::string& folder, const std::string& vertexPath,
                                         const std::string& vertexSource, const std::string& fragmentPath,
                                         const std::string& fragmentSource, const char* defines)
{
    const std::string block = defineBlock(defines);
    GLuint vertexShader = compileStage(GL_VERTEX_SHADER, block, folder, vertexPath, vertexSource);
    if (!vertexShader)
        return nullptr;
    GLuint fragmentShader = compileStage(GL_FRAGMENT_SHADER, block, folder, fragmentPath, fragmentSource);
    if (!fragmentShader) {
        glDeleteShader(vertexShader);
        return nullptr;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vertexShader);
    glAttachShader(program, fragmentShader);
    glLinkProgram(program);
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        infoLog(program, true);
        glDeleteProgram(program);
        return nullptr;
    }
    Effect* effect = new Effect();
    effect->m_program = program;
    effect->discoverAttributes();
    effect->discoverUniforms();
    return effect;
}

void Effect::discoverAttributes()
{
    GLint count = 0;
    GLint maxLength = 0;
    glGetProgramiv(m_program, GL_ACTIVE_ATTRIBUTES, &count);
    glGetProgramiv(m_program, GL_ACTIVE_ATTRIBUTE_MAX_LENGTH, &maxLength);
    std::vector<char> name(size_t(std::max(maxLength, 1)) + 1, '\0');
    for (GLint i = 0; i < count; ++i) {
        GLint size = 0;
        GLenum type = 0;
        glGetActiveAttrib(m_program, GLuint(i), GLsizei(name.size()), nullptr, &size, &type, name.data());
        const GLint location = glGetAttribLocation(m_program, name.data());
        if (location >= 0)
            m_attributes[name.data()] = location;
    }
}

void Effect::discoverUniforms()
{
    GLint count = 0;
    GLint maxLength = 0;
    glGetProgramiv(m_program, GL_ACTIVE_UNIFORMS, &count);
    glGetProgramiv(m_program, GL_ACTIVE_UNIFORM_MAX_LENGTH, &maxLength);
    std::vector<char> buffer(size_t(std::max(maxLength, 1)) + 1, '\0');
    unsigned int textureUnit = 0;
    for (GLint i = 0; i < count; ++i) {
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(m_program, GLuint(i), GLsizei(buffer.size()), nullptr, &size, &type, buffer.data());
        std::string name = buffer.data();
        // Drivers name arrays "u_name[0]"; parameters use the base name.
        const size_t bracket = name.find('[');
        if (name.size() > 3 && bracket != std::string::npos)
            name.resize(bracket);
        auto uniform = std::make_unique<Uniform>();
        uniform->name = name;
        uniform->location = glGetUniformLocation(m_program, buffer.data());
        uniform->type = type;
        uniform->effect = this;
        if (isSamplerType(type)) {
            uniform->index = textureUnit;
            textureUnit += unsigned(std::max(size, 1));
        }
        m_uniforms[name] = std::move(uniform);
    }
}

int Effect::getVertexAttribute(const char* name) const
{
    if (!name)
        return -1;
    auto it = m_attributes.find(name);
    return it == m_attributes.end() ? -1 : it->second;
}

Uniform* Effect::getUniform(const char* name) const
{
    if (!name)
        return nullptr;
    auto it = m_uniforms.find(name);
    if (it != m_uniforms.end())
        return it->second.get();
    const GLint location = glGetUniformLocation(m_program, name);
    if (location < 0)
        return nullptr;
    // An element of an array: a copy of the base record at the element's location.
    std::string base(name);
    const size_t bracket = base.find('[');
    if (bracket == std::string::npos)
        return nullptr;
    base.resize(bracket);
    auto baseRecord = m_uniforms.find(base);
    if (baseRecord == m_uniforms.end())
        return nullptr;
    auto uniform = std::make_unique<Uniform>(*baseRecord->second);
    uniform->name = name;
    uniform->location = location;
    Uniform* result = uniform.get();
    m_uniforms[name] = std::move(uniform);
    return result;
}

Uniform* Effect::getUniform(unsigned int index) const
{
    if (index >= m_uniforms.size())
        return nullptr;
    auto it = m_uniforms.begin();
    std::advance(it, index);
    return it->second.get();
}

void Effect::bind()
{
    glUseProgram(m_program);
    s_currentEffect = this;
}

void Effect::setValue(Uniform* uniform, float value) { glUniform1f(uniform->location, value); }

void Effect::setValue(Uniform* uniform, const float* values, unsigned int count)
{
    glUniform1fv(uniform->location, GLsizei(count), values);
}

void Effect::setValue(Uniform* uniform, int value) { glUniform1i(uniform->location, value); }

void Effect::setValue(Uniform* uniform, const int* values, unsigned int count)
{
    glUniform1iv(uniform->location, GLsizei(count), values);
}

void Effect::setValue(Uniform* uniform, const Matrix& value)
{
    glUniformMatrix4fv(uniform->location, 1, GL_FALSE, value.m);
}

void Effect::setValue(Uniform* uniform, const Matrix* values, unsigned int count)
{
    glUniformMatrix4fv(uniform->location, GLsizei(count), GL_FALSE, values[0].m);
}

void Effect::setValue(Uniform* uniform, const Vector2& value) { glUniform2f(uniform->location, value.x, value.y); }

void Effect::setValue(Uniform* uniform, const Vector2* values, unsigned int count)
{
    glUniform2fv(uniform->location, GLsizei(count), &values[0].x);
}

void Effect::setValue(Uniform* uniform, const Vector3& value)
{
    glUniform3f(uniform->location, value.x, value.y, value.z);
}

void Effect::setValue(Uniform* uniform, const Vector3* values, unsigned int count)
{
    glUniform3fv(uniform->location, GLsizei(count), &values[0].x);
}

void Effect::setValue(Uniform* uniform, const Vector4& value)
{
    glUniform4f(uniform->location, value.x, value.y, value.z, value.w);
}

void Effect::setValue(Uniform* uniform, const Vector4* values, unsigned int count)
{
    glUniform4fv(uniform->location, GLsizei(count), &values[0].x);
}

void Effect::setValue(Uniform* uniform, Sampler* sampler)
{
    glActiveTexture(GL_TEXTURE0 + uniform->index);
    sampler->bind();
    glUniform1i(uniform->location, GLint(uniform->index));
}

void Effect::setValue(Uniform* uniform, Sampler* const* samplers, unsigned int count)
{
    // Consecutive units from the uniform's first; at most 32 in one array.
    GLint units[32];
    count = std::min(count, 32u);
    for (unsigned int i = 0; i < count; ++i) {
        units[i] = GLint(uniform->index + i);
        glActiveTexture(GL_TEXTURE0 + uniform->index + i);
        samplers[i]->bind();
    }
    glUniform1iv(uniform->location, GLsizei(count), units);
}

} // namespace engine
