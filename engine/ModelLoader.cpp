#include "ModelLoader.h"

#include "Animation.h"
#include "Bundle.h"
#include "Camera.h"
#include "FileSystem.h"
#include "LightParameterBinder.h"
#include "Material.h"
#include "Model.h"
#include "Node.h"
#include "Properties.h"
#include "Scene.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace engine {

namespace {

const char kModelBundle[] = "model.gpb";
const char kModelScene[] = "model.scene";
const char kModelAnimation[] = "model.animation";
const char kDefaultRootId[] = "_ROOT_NODE_";

enum class PathKind { MISSING, FILE, FOLDER };

PathKind pathKind(const char* path)
{
    struct stat info;
    if (!path || !*path || stat(path, &info) != 0)
        return PathKind::MISSING;
    if (S_ISREG(info.st_mode))
        return PathKind::FILE;
    return S_ISDIR(info.st_mode) ? PathKind::FOLDER : PathKind::MISSING;
}

bool hasBundleExtension(const std::string& path)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find_first_of("/\\", dot) != std::string::npos)
        return false;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension == "gpb";
}

std::string withSeparator(const std::string& folder)
{
    return folder.empty() || folder.back() == '/' || folder.back() == '\\' ? folder : folder + "/";
}

Scene* loadBundleScene(const std::string& folder, const char* path, BundleProblems* problems)
{
    Bundle* bundle = Bundle::create(folder, path);
    if (!bundle)
        return nullptr;
    Scene* scene = bundle->loadScene();
    problems->insert(problems->end(), bundle->getProblems().begin(), bundle->getProblems().end());
    bundle->release();
    return scene;
}

// Files a scene file names lie in the model folder, like those of materials.
bool confined(const std::string& folder, const char* url, BundleProblems* problems)
{
    const std::string file = std::string(url).substr(0, std::string(url).find('#'));
    if (FileSystem::isConfinedFile(folder, file.c_str()))
        return true;
    problems->push_back({BundleProblem::PATH, url, "the scene file names a file outside the model folder"});
    return false;
}

// A scene-file material replaces every material of the node's model.
void replaceMaterial(const std::string& folder, Node* node, const char* url, BundleProblems* problems)
{
    Model* model = dynamic_cast<Model*>(node->getDrawable());
    Material* material = model && confined(folder, url, problems) ? Material::create(folder, url) : nullptr;
    if (!material)
        return;
    model->setMaterial(material, -1);
    for (unsigned int i = 0; i < model->getMeshPartCount(); ++i)
        model->setMaterial(material, int(i));
    material->release();
}

// Values that do not parse leave the node as the bundle made it.
void applyNodeSettings(const std::string& folder, Properties* settings, Node* node, BundleProblems* problems)
{
    Vector3 vector;
    if (settings->exists("translate") && settings->getVector3("translate", &vector))
        node->setTranslation(vector);
    if (settings->exists("scale") && settings->getVector3("scale", &vector))
        node->setScale(vector);
    Quaternion rotation;
    if (settings->exists("rotate") && settings->getQuaternionFromAxisAngle("rotate", &rotation))
        node->setRotation(rotation);
    if (const char* material = settings->getString("material"))
        replaceMaterial(folder, node, material, problems);
    if (Properties* tags = settings->getNamespace("tags", true, false)) {
        tags->rewind();
        while (const char* name = tags->getNextProperty())
            node->setTag(name, tags->getString());
    }
}

void applySceneFileNodes(const std::string& folder, Properties* sceneFile, Scene* scene, BundleProblems* problems)
{
    for (size_t i = 0; i < sceneFile->namespaceCount(); ++i) {
        Properties* settings = sceneFile->namespaceAt(i);
        Node* node = std::string(settings->getNamespace()) == "node" ? scene->findNode(settings->getId()) : nullptr;
        if (node)
            applyNodeSettings(folder, settings, node, problems);
    }
}

// A scene file names the bundle that provides the scene and may pick its
// camera and ambient colour, and place, retag or re-material its nodes.
Scene* loadSceneFile(const std::string& folder, BundleProblems* problems)
{
    std::unique_ptr<Properties> top(Properties::create((folder + kModelScene).c_str()));
    Properties* scene = top && std::string(top->getNamespace()) == "scene" ? top.get() : nullptr;
    if (!scene && top)
        scene = top->getNamespace("scene", true, false);
    const char* bundlePath = scene ? scene->getString("path") : nullptr;
    if (!bundlePath || !confined(folder, bundlePath, problems))
        return nullptr;
    Scene* loaded = loadBundleScene(folder, bundlePath, problems);
    if (!loaded)
        return nullptr;
    if (const char* cameraId = scene->getString("activeCamera")) {
        Node* node = loaded->findNode(cameraId);
        if (node && node->getCamera())
            loaded->setActiveCamera(node->getCamera());
    }
    Vector3 ambient;
    if (scene->exists("ambientColor") && scene->getVector3("ambientColor", &ambient))
        loaded->setAmbientColor(ambient);
    applySceneFileNodes(folder, scene, loaded, problems);
    return loaded;
}

void bindLights(Material* material, Node* node, const std::vector<Light*>& sceneLights,
                LightParameterBinder::SiblingLights* memo)
{
    if (material && !LightParameterBinder::bindSceneLights(material, node, sceneLights))
        LightParameterBinder::bind(material, node, memo);
}

void bindLights(Model* model, Node* node, const std::vector<Light*>& sceneLights,
                LightParameterBinder::SiblingLights* memo)
{
    bindLights(model->getMaterial(-1), node, sceneLights, memo);
    for (unsigned int i = 0; i < model->getMeshPartCount(); ++i) {
        if (model->hasPartMaterial(i))
            bindLights(model->getMaterial(int(i)), node, sceneLights, memo);
    }
}

std::vector<Light*> lightsOf(Scene* scene)
{
    std::vector<Light*> lights;
    scene->visit([&](Node* node) {
        if (Light* light = node->getLight())
            lights.push_back(light);
        return true;
    });
    return lights;
}

// Clips come from the animation file; lights are bound once the whole
// tree is in place, since a light may sit on any ancestor's sibling.
void prepareNodes(const std::string& folder, Scene* scene)
{
    const std::string clipFile = folder + kModelAnimation;
    const bool hasClips = FileSystem::fileExists(clipFile.c_str());
    std::vector<Animation*> animations;
    LightParameterBinder::SiblingLights memo;
    const std::vector<Light*> sceneLights = lightsOf(scene);
    scene->visit([&](Node* node) {
        if (hasClips)
            node->collectAnimations(animations);
        if (Model* model = dynamic_cast<Model*>(node->getDrawable()))
            bindLights(model, node, sceneLights, &memo);
        return true;
    });
    for (Animation* animation : animations)
        animation->defineClips(clipFile.c_str());
}

Node* takeRoot(Scene* scene, const char* rootId)
{
    Node* root = Node::create(rootId ? rootId : kDefaultRootId);
    while (Node* node = scene->getFirstNode())
        root->addChild(node);
    return root;
}

} // namespace

Node* loadModelRoot(const char* path, const char* rootId, Vector3* ambientColorOut, BundleProblems* problemsOut)
{
    BundleProblems ignored;
    BundleProblems* problems = problemsOut ? problemsOut : &ignored;
    problems->clear();
    Scene* scene = nullptr;
    // Where the names that files of the model give are looked up.
    std::string folder;
    switch (pathKind(path)) {
    case PathKind::FILE: {
        char* resolved = realpath(path, nullptr);
        const std::string file(resolved ? resolved : path);
        free(resolved);
        if (!hasBundleExtension(file))
            return nullptr;
        const size_t separator = file.find_last_of("/\\");
        folder = separator == std::string::npos ? "" : file.substr(0, separator + 1);
        scene = loadBundleScene(folder, file.c_str(), problems);
        break;
    }
    case PathKind::FOLDER:
        folder = withSeparator(path);
        if (!FileSystem::fileExists((folder + kModelBundle).c_str()))
            return nullptr;
        scene = FileSystem::fileExists((folder + kModelScene).c_str())
            ? loadSceneFile(folder, problems)
            : loadBundleScene(folder, kModelBundle, problems);
        break;
    case PathKind::MISSING:
        return nullptr;
    }
    if (!scene)
        return nullptr;
    if (ambientColorOut)
        *ambientColorOut = scene->getAmbientColor();
    prepareNodes(folder, scene);
    Node* root = takeRoot(scene, rootId);
    scene->release();
    return root;
}

} // namespace engine
