#include "Bundle.h"

#include "Animation.h"
#include "Camera.h"
#include "Curve.h"
#include "FileSystem.h"
#include "Joint.h"
#include "Light.h"
#include "Material.h"
#include "MaterialReader.h"
#include "Mesh.h"
#include "MeshPart.h"
#include "MeshSkin.h"
#include "Model.h"
#include "Node.h"
#include "Scene.h"
#include "StateBlock.h"
#include "VertexFormat.h"

#include <memory>

namespace engine {

namespace {

Node* createNode(const BundleData::Node& source)
{
    Node* node = source.type == BundleData::JOINT ? Joint::create(source.id.c_str()) : Node::create(source.id.c_str());
    Vector3 scale;
    Quaternion rotation;
    Vector3 translation;
    // A scale of 0 leaves no rotation to find; the scale and the translation
    // still place the node, with the rotation left at identity.
    source.transform.decompose(&scale, &rotation, &translation);
    node->set(scale, rotation, translation);
    if (source.hasOffset)
        node->setOffsetMatrix(source.offset);
    return node;
}

Camera* createCamera(const BundleData::Camera& source)
{
    switch (source.type) {
    case BundleData::PERSPECTIVE:
        return Camera::createPerspective(source.fieldOfView, source.aspectRatio, source.nearPlane, source.farPlane);
    case BundleData::ORTHOGRAPHIC:
        return Camera::createOrthographic(source.zoomX, source.zoomY, source.aspectRatio, source.nearPlane,
                                          source.farPlane);
    case BundleData::NO_CAMERA:
        break;
    }
    return nullptr;
}

Light* createLight(const BundleData::Light& source)
{
    switch (source.type) {
    case BundleData::DIRECTIONAL:
        return Light::createDirectional(source.color);
    case BundleData::POINT:
        return Light::createPoint(source.color, source.range);
    case BundleData::SPOT:
        return Light::createSpot(source.color, source.range, source.innerAngle, source.outerAngle);
    case BundleData::NO_LIGHT:
        break;
    }
    return nullptr;
}

MeshSkin* createSkin(const BundleData::Skin& source, const std::vector<Node*>& nodes)
{
    MeshSkin* skin = new MeshSkin();
    skin->setJointCount(unsigned(source.joints.size()));
    for (size_t j = 0; j < source.joints.size(); ++j) {
        if (source.joints[j] < 0)
            continue;
        Node* joint = nodes[size_t(source.joints[j])];
        if (j < source.inverseBindPoses.size())
            joint->setInverseBindPose(source.inverseBindPoses[j]);
        skin->setJoint(joint, unsigned(j));
    }
    skin->computeRootJoints();
    return skin;
}

bool usesBlending(const Material* material)
{
    return material && material->getStateBlock() && material->getStateBlock()->getBlend();
}

bool hasTransparentMaterial(const Model* model)
{
    if (model->getMeshPartCount() == 0)
        return usesBlending(model->getMaterial(-1));
    for (unsigned int i = 0; i < model->getMeshPartCount(); ++i) {
        if (usesBlending(model->getMaterial(int(i))))
            return true;
    }
    return false;
}

void releaseAll(std::vector<Node*>& nodes)
{
    for (Node* node : nodes)
        node->release();
    nodes.clear();
}

} // namespace

Bundle* Bundle::create(const std::string& folder, const char* path)
{
    if (!path || !*path)
        return nullptr;
    Bundle* bundle = new Bundle(folder, path);
    if (!bundle->m_reader.openFile(bundle->m_path.c_str())) {
        bundle->release();
        return nullptr;
    }
    return bundle;
}

Bundle* Bundle::create(const std::string& folder, const char* path, std::vector<unsigned char> bytes)
{
    Bundle* bundle = new Bundle(folder, path ? path : "");
    if (!bundle->m_reader.open(std::move(bytes))) {
        bundle->release();
        return nullptr;
    }
    return bundle;
}

Bundle::Bundle(const std::string& folder, const char* path)
    : m_folder(folder)
    , m_path(FileSystem::resolvePath(folder, path))
{
}

Bundle::~Bundle() { Properties::clearCache(m_materialCache); }

const std::string& Bundle::getMaterialPath()
{
    if (m_materialPathKnown)
        return m_materialPath;
    m_materialPathKnown = true;
    const size_t dot = m_path.rfind('.');
    // A separator after the dot means the dot belongs to a folder name.
    const size_t separator = m_path.find_last_of("/\\");
    if (dot == std::string::npos || dot < 3 || (separator != std::string::npos && separator > dot))
        return m_materialPath;
    const std::string candidate = m_path.substr(0, dot) + ".material";
    if (FileSystem::fileExists(candidate.c_str()))
        m_materialPath = candidate;
    return m_materialPath;
}

void Bundle::beginLoad()
{
    m_missingMaterials.clear();
    m_problems.clear();
}

Scene* Bundle::loadScene(const char* id)
{
    beginLoad();
    BundleData data;
    if (!m_reader.readScene(id, &data))
        return nullptr;
    m_problems = data.problems;
    std::vector<Node*> nodes = buildNodes(data);
    Scene* scene = Scene::create(data.sceneId.c_str());
    for (int root : data.roots)
        scene->addNode(nodes[size_t(root)]);
    setBindWorldMatrices(data, nodes);
    // Bones read only to resolve skins stay in the scene, after its own
    // nodes: the skins need them in the graph to follow animation.
    for (int detached : data.detachedRoots)
        scene->addNode(nodes[size_t(detached)]);
    if (data.activeCameraNode >= 0)
        scene->setActiveCamera(nodes[size_t(data.activeCameraNode)]->getCamera());
    scene->setAmbientColor(data.ambientColor);
    releaseAll(nodes);
    return scene;
}

Node* Bundle::loadNode(const char* id)
{
    beginLoad();
    BundleData data;
    if (!id || !m_reader.readNode(id, &data) || data.roots.empty())
        return nullptr;
    m_problems = data.problems;
    std::vector<Node*> nodes = buildNodes(data);
    Node* node = nodes[size_t(data.roots.front())];
    node->addRef();
    // A parent read while resolving joints may have claimed the node as its
    // child; the node asked for stays the top, or hanging the bones below
    // it would close a loop.
    if (Node* parent = node->getParent())
        parent->removeChild(node);
    // Bones outside the subtree hang below it so that the caller's one
    // reference keeps everything the skins point at.
    for (int detached : data.detachedRoots)
        node->addChild(nodes[size_t(detached)]);
    releaseAll(nodes);
    return node;
}

std::vector<Node*> Bundle::buildNodes(const BundleData& data)
{
    std::vector<Node*> nodes;
    nodes.reserve(data.nodes.size());
    for (const BundleData::Node& source : data.nodes)
        nodes.push_back(createNode(source));
    for (size_t i = 0; i < data.nodes.size(); ++i) {
        for (int child : data.nodes[i].children)
            nodes[i]->addChild(nodes[size_t(child)]);
    }
    std::vector<Mesh*> meshes(data.meshes.size(), nullptr);
    for (size_t i = 0; i < data.nodes.size(); ++i) {
        const BundleData::Node& source = data.nodes[i];
        if (Camera* camera = createCamera(source.camera)) {
            nodes[i]->setCamera(camera);
            camera->release();
        }
        if (Light* light = createLight(source.light)) {
            nodes[i]->setLight(light);
            light->release();
        }
        if (source.hasModel)
            attachModel(data, source, nodes[i], meshes, nodes);
    }
    for (Mesh* mesh : meshes) {
        if (mesh)
            mesh->release();
    }
    buildAnimations(data, nodes);
    return nodes;
}

void Bundle::attachModel(const BundleData& data, const BundleData::Node& source, Node* node, std::vector<Mesh*>& meshes,
                         const std::vector<Node*>& nodes)
{
    const int meshIndex = source.model.mesh;
    if (meshIndex < 0 || size_t(meshIndex) >= data.meshes.size())
        return;
    // Models that name the same mesh share one.
    Mesh*& mesh = meshes[size_t(meshIndex)];
    if (!mesh)
        mesh = buildMesh(data.meshes[size_t(meshIndex)], data);
    if (!mesh)
        return;
    Model* model = Model::create(mesh);
    if (source.model.hasSkin)
        model->setSkin(createSkin(source.model.skin, nodes));
    node->setDrawable(model);
    model->release();
    // Materials go on after the model is on its node so that they are bound
    // to it. The names follow the parts as written, some of which the reader
    // may have left out.
    const std::vector<std::string> names = data.materialsOf(source.model);
    const bool shared = mesh->getPartCount() == 0;
    for (size_t i = 0; i < names.size(); ++i) {
        Material* material = names[i].empty() ? nullptr : materialNamed(names[i]);
        if (!material)
            continue;
        model->setMaterial(material, shared ? -1 : int(i));
        material->release();
    }
    if (hasTransparentMaterial(model))
        node->setTag("transparent");
}

Mesh* Bundle::buildMesh(const BundleData::Mesh& source, const BundleData& data)
{
    std::vector<VertexFormat::Element> elements;
    for (const BundleData::VertexElement& element : source.format)
        elements.emplace_back(VertexFormat::Usage(element.usage), element.size);
    const VertexFormat format(elements.data(), unsigned(elements.size()));
    // The reader has checked every count against the bytes the data points into.
    if (format.getVertexSize() != source.vertexSize || (source.vertexCount && !source.vertices))
        return nullptr;
    Mesh* mesh = Mesh::createMesh(format, source.vertexCount, false);
    if (!mesh)
        return nullptr;
    // The meshes share the file's bytes until they are uploaded: no copy.
    if (source.vertexCount)
        mesh->setVertexData(std::shared_ptr<const unsigned char>(data.bytes, source.vertices));
    mesh->setBoundingBox(source.boundingBox);
    mesh->setBoundingSphere(source.boundingSphere);
    for (const BundleData::Part& part : source.parts) {
        MeshPart* added = Mesh::isPrimitiveType(part.primitiveType)
            ? mesh->addPart(Mesh::PrimitiveType(part.primitiveType), Mesh::IndexFormat(part.indexFormat),
                            part.indexCount)
            : nullptr;
        if (!added || (part.indexCount && !part.indices)
            || (part.indexCount
                && !added->setIndexData(std::shared_ptr<const unsigned char>(data.bytes, part.indices)))) {
            mesh->release();
            return nullptr;
        }
    }
    return mesh;
}

Properties* Bundle::findMaterial(const std::string& materialPath, const std::string& name, Properties::Cache* cache)
{
    if (materialPath.empty() || name.empty())
        return nullptr;
    // The namespace path falls back to namespace names, under which a part
    // naming "material" would get the file's first material.
    std::unique_ptr<Properties> found(Properties::create((materialPath + "#" + name).c_str(), cache));
    if (!found || std::string(found->getNamespace()) != "material" || name != found->getId())
        return nullptr;
    return found.release();
}

std::string Bundle::missingMaterialReason(const std::string& materialPath)
{
    return materialPath.empty() ? "there is no material file beside the bundle"
                                : "the material file has no material with this id";
}

Material* Bundle::materialNamed(const std::string& name)
{
    std::unique_ptr<Properties> properties(findMaterial(getMaterialPath(), name, &m_materialCache));
    if (!properties) {
        noteMissing(name, missingMaterialReason(getMaterialPath()));
        return nullptr;
    }
    if (!m_loadMaterials)
        return nullptr;
    BundleProblems problems;
    Material* material = MaterialReader::read(m_folder, properties.get(), nullptr, nullptr, &problems);
    for (const BundleProblem& problem : problems)
        notePath(problem);
    if (!material)
        noteMissing(name, "the material cannot be built (a shader is missing or does not compile)");
    return material;
}

void Bundle::noteMissing(const std::string& name, const std::string& reason)
{
    for (const std::string& known : m_missingMaterials) {
        if (known == name)
            return;
    }
    m_missingMaterials.push_back(name);
    m_problems.push_back({BundleProblem::MATERIAL, name, reason});
}

void Bundle::notePath(const BundleProblem& problem)
{
    for (const BundleProblem& known : m_problems) {
        if (known.kind == problem.kind && known.id == problem.id)
            return;
    }
    m_problems.push_back(problem);
}

void Bundle::buildAnimations(const BundleData& data, const std::vector<Node*>& nodes)
{
    for (const BundleData::Animation& source : data.animations) {
        Animation* animation = nullptr;
        for (const BundleData::Channel& channel : source.channels) {
            Node* target = nodes[size_t(channel.target)];
            const unsigned int keyCount = unsigned(channel.keyTimes.size());
            if (!animation) {
                animation = target->createAnimation(source.id.c_str(), int(channel.attribute), keyCount,
                                                    channel.keyTimes.data(), channel.keyValues.data(), Curve::LINEAR);
            } else {
                animation->addChannel(target, int(channel.attribute), keyCount, channel.keyTimes.data(),
                                      channel.keyValues.data(), Curve::LINEAR);
            }
        }
        // The channels hold the animation from here on.
        if (animation)
            animation->release();
    }
}

void Bundle::setBindWorldMatrices(const BundleData& data, const std::vector<Node*>& nodes)
{
    std::vector<int> pending(data.roots.rbegin(), data.roots.rend());
    while (!pending.empty()) {
        const int index = pending.back();
        pending.pop_back();
        const BundleData::Node& source = data.nodes[size_t(index)];
        Node* node = nodes[size_t(index)];
        if (data.versionMajor >= 4)
            node->setBindWorldMatrix(node->getWorldMatrix());
        else if (source.hasModel && source.model.hasSkin)
            node->setBindWorldMatrix(source.model.skin.bindShape);
        pending.insert(pending.end(), source.children.rbegin(), source.children.rend());
    }
}

} // namespace engine
