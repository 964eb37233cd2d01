#include "DeferredLighting.h"

#include "Camera.h"
#include "Effect.h"
#include "Light.h"
#include "Material.h"
#include "MaterialParameter.h"
#include "Mesh.h"
#include "Model.h"
#include "Node.h"
#include "Pass.h"
#include "Scene.h"
#include "SceneLightSet.h"
#include "StateBlock.h"
#include "Technique.h"
#include "math/BoundingSphere.h"
#include "math/Matrix.h"
#include "math/Vector4.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

namespace {

// Names of the light pass's targets, in the order of the draw buffers.
// The depth texture follows them, on the next unit.
const char* const kTargetUniforms[] = {"u_surfaceColor", "u_surfaceNormal", "u_surfaceSpecular", "u_surfaceUnlit"};
const char kDepthUniform[] = "u_surfaceDepth";

// Every material a model draws with: its own and those of its parts.
template <typename Visit>
bool allMaterials(const engine::Model* model, Visit visit)
{
    bool any = false;
    const auto take = [&](engine::Material* material) {
        if (!material)
            return true;
        any = true;
        return visit(material);
    };
    if (!take(model->getMaterial(-1)))
        return false;
    for (unsigned int i = 0; i < model->getMeshPartCount(); ++i) {
        if (model->hasPartMaterial(i) && !take(model->getMaterial(int(i))))
            return false;
    }
    return any;
}

engine::Material* firstMaterial(const engine::Node* node)
{
    engine::Material* first = nullptr;
    allMaterials(static_cast<const engine::Model*>(node->getDrawable()), [&first](engine::Material* material) {
        first = material;
        return false;
    });
    return first;
}

void setNearestClamped()
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

// The pixels of a `width` x `height` view that the nodes can cover: the
// corners of the cube around each bounding sphere, projected, and a pixel
// more. The whole view when a corner lies behind the eye or a mesh is
// skinned (its bounds may trail its pose).
DeferredLighting::PixelRect coveredPixels(const std::vector<engine::Node*>& nodes, const engine::Matrix& viewProjection,
                                          int width, int height)
{
    const DeferredLighting::PixelRect whole {0, 0, width, height};
    float low[2] = {1.0f, 1.0f}, high[2] = {-1.0f, -1.0f};
    for (const engine::Node* node : nodes) {
        if (node->getDrawable()->isSkinned())
            return whole;
        const engine::BoundingSphere& sphere = node->getBoundingSphere();
        for (int corner = 0; corner < 8; ++corner) {
            const engine::Vector3 offset((corner & 1) ? 1.0f : -1.0f, (corner & 2) ? 1.0f : -1.0f,
                                         (corner & 4) ? 1.0f : -1.0f);
            const engine::Vector4 clip
                = viewProjection.transform(engine::Vector4(sphere.center + offset * sphere.radius, 1.0f));
            if (!(clip.w > 1e-6f))
                return whole;
            const float ndc[2] = {clip.x / clip.w, clip.y / clip.w};
            for (int axis = 0; axis < 2; ++axis) {
                low[axis] = std::min(low[axis], ndc[axis]);
                high[axis] = std::max(high[axis], ndc[axis]);
            }
        }
    }
    const auto toPixel
        = [](float ndc, int size) { return (std::max(-1.0f, std::min(1.0f, ndc)) * 0.5f + 0.5f) * size; };
    const int left = std::max(0, int(std::floor(toPixel(low[0], width))) - 1);
    const int bottom = std::max(0, int(std::floor(toPixel(low[1], height))) - 1);
    const int right = std::min(width, int(std::ceil(toPixel(high[0], width))) + 1);
    const int top = std::min(height, int(std::ceil(toPixel(high[1], height))) + 1);
    return {left, bottom, std::max(0, right - left), std::max(0, top - bottom)};
}

// The scissor test as the caller left it, to be put back.
struct ScissorState {
    GLboolean enabled = GL_FALSE;
    GLint box[4] = {0, 0, 0, 0};
};

ScissorState currentScissor()
{
    ScissorState state;
    state.enabled = glIsEnabled(GL_SCISSOR_TEST);
    glGetIntegerv(GL_SCISSOR_BOX, state.box);
    return state;
}

void restoreScissor(const ScissorState& state)
{
    glScissor(state.box[0], state.box[1], state.box[2], state.box[3]);
    if (!state.enabled)
        glDisable(GL_SCISSOR_TEST);
}

void limitTo(const DeferredLighting::PixelRect& rect, int originX, int originY)
{
    glEnable(GL_SCISSOR_TEST);
    glScissor(originX + rect.x, originY + rect.y, rect.width, rect.height);
}

// Puts the surfaces' depth into the frame buffer drawn to, so that what is
// drawn later hides behind them and the light pass, drawn at the far plane
// with GREATER, is rejected before shading wherever no surface was written.
const char kDepthCopyVertex[] = "attribute vec4 a_position;\n"
                                "varying vec2 v_screenCoord;\n"
                                "void main()\n"
                                "{\n"
                                "    gl_Position = vec4(a_position.xy, 0.0, 1.0);\n"
                                "    v_screenCoord = a_position.xy * 0.5 + 0.5;\n"
                                "}\n";
const char kDepthCopyFragment[] = "uniform sampler2D u_surfaceDepth;\n"
                                  "varying vec2 v_screenCoord;\n"
                                  "void main()\n"
                                  "{\n"
                                  "    float depth = texture2D(u_surfaceDepth, v_screenCoord).r;\n"
                                  "    if (depth == 1.0)\n"
                                  "        discard;\n"
                                  "    gl_FragDepth = depth;\n"
                                  "}\n";

// A quad over the view drawing with `effect`, tested against the depth with
// `depthFunc`, which reads the surface targets on the first texture units
// and the depth texture on the next.
engine::Model* createViewPass(engine::Effect* effect, const char* depthFunc, bool depthWrite)
{
    const engine::VertexFormat::Element position(engine::VertexFormat::POSITION, 2);
    engine::Mesh* mesh = effect ? engine::Mesh::createMesh(engine::VertexFormat(&position, 1), 4) : nullptr;
    engine::Material* material = mesh ? engine::Material::create(effect) : nullptr;
    if (!material) {
        engine::releaseRef(mesh);
        return nullptr;
    }
    const float corners[] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
    mesh->setVertexData(corners);
    mesh->setPrimitiveType(engine::Mesh::TRIANGLE_STRIP);
    engine::StateBlock* state = material->getStateBlock();
    state->setState("depthTest", "true");
    state->setState("depthFunc", depthFunc);
    state->setState("depthWrite", depthWrite ? "true" : "false");
    int unit = 0;
    for (const char* name : kTargetUniforms)
        material->getParameter(name)->setValue(unit++);
    material->getParameter(kDepthUniform)->setValue(unit);
    engine::Model* quad = engine::Model::create(mesh);
    quad->setMaterial(material);
    material->release();
    mesh->release();
    return quad;
}

} // namespace

DeferredLighting::~DeferredLighting()
{
    releaseTargets();
    engine::releaseRef(m_lightPass);
    engine::releaseRef(m_depthCopy);
}

bool DeferredLighting::canLight(const engine::Node* node, const LightCounts& lights)
{
    if (node->hasTag("transparent"))
        return false;
    const auto* model = dynamic_cast<const engine::Model*>(node->getDrawable());
    return model && allMaterials(model, [&lights](engine::Material* material) {
               if (!material->getTechnique(engine::Material::kSurfaceTechniqueId)
                   || !material->getTechnique(engine::Material::kLightPassTechniqueId))
                   return false;
               const auto hasRoom = [&](engine::Light::Type type) {
                   return lights[type] <= material->defineCount(engine::SceneLightSet::countDefine(type));
               };
               return std::all_of(std::begin(engine::SceneLightSet::kTypes), std::end(engine::SceneLightSet::kTypes),
                                  hasRoom);
           });
}

int DeferredLighting::draw(const std::vector<engine::Node*>& nodes, const std::vector<engine::Light*>& lights,
                           engine::Scene* scene)
{
    if (nodes.empty())
        return 0;
    int viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (!prepareTargets(viewport[2], viewport[3]) || !prepareLightPass(firstMaterial(nodes.front()), lights, scene))
        return -1;
    const PixelRect covered
        = coveredPixels(nodes, scene->getActiveCamera()->getViewProjectionMatrix(), m_width, m_height);
    if (covered.width == 0 || covered.height == 0)
        return 0;
    // Only the pixels the surfaces may cover are cleared, written and lit.
    const ScissorState scissor = currentScissor();
    limitTo(covered, 0, 0);
    const int parts = drawSurfaces(nodes, viewport);
    limitTo(covered, viewport[0], viewport[1]);
    lightSurfaces();
    restoreScissor(scissor);
    return parts;
}

bool DeferredLighting::prepareTargets(int width, int height)
{
    if (width <= 0 || height <= 0)
        return false;
    if (m_frameBuffer && width == m_width && height == m_height)
        return true;
    releaseTargets();
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    glGenFramebuffers(1, &m_frameBuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, m_frameBuffer);
    // Bytes: the shader packs what needs more precision into several.
    glGenTextures(TargetCount, m_textures);
    for (int target = 0; target < TargetCount; ++target) {
        glBindTexture(GL_TEXTURE_2D, m_textures[target]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        setNearestClamped();
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + GLenum(target), GL_TEXTURE_2D, m_textures[target],
                               0);
    }
    // The light pass finds each pixel's position from its depth.
    glGenTextures(1, &m_depthTexture);
    glBindTexture(GL_TEXTURE_2D, m_depthTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH24_STENCIL8, width, height, 0, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8,
                 nullptr);
    setNearestClamped();
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, m_depthTexture, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
    if (!complete) {
        releaseTargets();
        return false;
    }
    m_width = width;
    m_height = height;
    return true;
}

bool DeferredLighting::prepareDepthCopy()
{
    if (!m_depthCopy) {
        engine::Effect* effect = engine::Effect::createFromSource(kDepthCopyVertex, kDepthCopyFragment);
        m_depthCopy = createViewPass(effect, "ALWAYS", true);
        engine::releaseRef(effect);
    }
    return m_depthCopy != nullptr;
}

void DeferredLighting::releaseTargets()
{
    if (m_frameBuffer) {
        glDeleteFramebuffers(1, &m_frameBuffer);
        glDeleteTextures(1, &m_depthTexture);
        glDeleteTextures(TargetCount, m_textures);
    }
    m_frameBuffer = m_depthTexture = 0;
    std::fill(std::begin(m_textures), std::end(m_textures), 0u);
    m_width = m_height = 0;
}

// The light pass comes with the model's own shaders; every material that can
// be lit this way has room for all the scene's lights, so any one gives a
// program that lights every pixel.
bool DeferredLighting::prepareLightPass(const engine::Material* source, const std::vector<engine::Light*>& lights,
                                        engine::Scene* scene)
{
    const engine::Technique* technique
        = source ? source->getTechnique(engine::Material::kLightPassTechniqueId) : nullptr;
    engine::Effect* effect = technique ? technique->getPassByIndex(0)->getEffect() : nullptr;
    if (!effect || !scene->getActiveCamera() || !prepareDepthCopy())
        return false;
    if (!m_lightPass || m_lightPass->getMaterial()->getTechnique()->getPassByIndex(0)->getEffect() != effect) {
        engine::releaseRef(m_lightPass);
        m_lightPass = createViewPass(effect, "GREATER", false);
        if (!m_lightPass)
            return false;
        m_boundLights.clear();
    }
    engine::Material* material = m_lightPass->getMaterial();
    if (lights != m_boundLights) {
        // At full strength: each surface carries its material's share.
        for (const engine::Light::Type type : engine::SceneLightSet::kTypes) {
            std::vector<engine::Light*> ofType;
            std::copy_if(lights.begin(), lights.end(), std::back_inserter(ofType),
                         [type](const engine::Light* light) { return light->getLightType() == type; });
            engine::SceneLightSet::bind(material, type, ofType,
                                        source->defineCount(engine::SceneLightSet::countDefine(type)), 1.0f);
        }
        m_boundLights = lights;
    }
    const engine::Matrix& projection = scene->getActiveCamera()->getProjectionMatrix();
    material->getParameter("u_projectionMatrix")->setValue(projection);
    material->getParameter("u_inverseProjectionMatrix")->setValue(projection.inverted());
    return true;
}

int DeferredLighting::drawSurfaces(const std::vector<engine::Node*>& nodes, const int viewport[4])
{
    GLint previous = 0;
    GLfloat clearColor[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColor);
    glBindFramebuffer(GL_FRAMEBUFFER, m_frameBuffer);
    glViewport(0, 0, m_width, m_height);
    const GLenum buffers[TargetCount]
        = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2, GL_COLOR_ATTACHMENT3};
    glDrawBuffers(TargetCount, buffers);
    engine::StateBlock::enableDepthWrite();
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);

    int parts = 0;
    for (engine::Node* node : nodes) {
        auto* model = static_cast<engine::Model*>(node->getDrawable());
        allMaterials(model, [](engine::Material* material) {
            return material->setTechnique(engine::Material::kSurfaceTechniqueId);
        });
        parts += int(model->draw(false));
        allMaterials(model, [](engine::Material* material) {
            material->resetTechnique();
            return true;
        });
    }

    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
    return parts;
}

void DeferredLighting::lightSurfaces()
{
    for (int unit = 0; unit <= TargetCount; ++unit) {
        glActiveTexture(GL_TEXTURE0 + GLenum(unit));
        glBindTexture(GL_TEXTURE_2D, unit < TargetCount ? m_textures[unit] : m_depthTexture);
    }
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    m_depthCopy->draw(false);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    m_lightPass->draw(false);
    for (int unit = TargetCount; unit >= 0; --unit) {
        glActiveTexture(GL_TEXTURE0 + GLenum(unit));
        glBindTexture(GL_TEXTURE_2D, 0);
    }
}
