#include "BundlePlanner.h"

#include "DuplicateMeshes.h"
#include "LightChooser.h"
#include "MaterialPlanner.h"
#include "MeshOrder.h"
#include "MessageCodes.h"
#include "Utf8Text.h"

#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace {

std::string nameOf(const aiString& name) { return std::string(name.C_Str()); }

bool finite(const aiVector3D& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The box around the finite points added to it.
struct Bounds {
    bool any = false;
    aiVector3D lo, hi;

    void add(const aiVector3D& p)
    {
        if (!finite(p))
            return;
        if (!any) {
            lo = hi = p;
            any = true;
        }
        lo.x = std::min(lo.x, p.x), lo.y = std::min(lo.y, p.y), lo.z = std::min(lo.z, p.z);
        hi.x = std::max(hi.x, p.x), hi.y = std::max(hi.y, p.y), hi.z = std::max(hi.z, p.z);
    }
};

// The node-local frame of a camera or light, whose engine counterpart always
// looks down its node's -Z axis with +Y up. Identity when the source already
// agrees, which is what FBX lights give; FBX cameras look down +X.
aiMatrix4x4 attachmentFrame(const aiVector3D& position, aiVector3D forward, aiVector3D up)
{
    aiMatrix4x4 frame;
    if (!finite(position) || !finite(forward) || !finite(up))
        return frame;
    if (forward.SquareLength() < 1e-12f)
        forward = aiVector3D(0, 0, -1);
    forward.Normalize();
    const aiVector3D back = -forward;
    aiVector3D right = up ^ back;
    if (right.SquareLength() < 1e-12f) {
        // No usable up vector: any perpendicular will do.
        right = (std::fabs(back.y) < 0.99f ? aiVector3D(0, 1, 0) : aiVector3D(1, 0, 0)) ^ back;
    }
    right.Normalize();
    const aiVector3D trueUp = back ^ right;
    frame.a1 = right.x, frame.a2 = trueUp.x, frame.a3 = back.x, frame.a4 = position.x;
    frame.b1 = right.y, frame.b2 = trueUp.y, frame.b3 = back.y, frame.b4 = position.y;
    frame.c1 = right.z, frame.c2 = trueUp.z, frame.c3 = back.z, frame.c4 = position.z;
    return frame;
}

bool isIdentity(const aiMatrix4x4& m)
{
    const float* a = m[0];
    const aiMatrix4x4 id;
    const float* b = id[0];
    for (int i = 0; i < 16; ++i) {
        if (std::fabs(a[i] - b[i]) > 1e-6f)
            return false;
    }
    return true;
}

// The value of a key track at `time`: `blend` between the last key at or before it and the next
// one; the first key before all keys, the last after them, `fallback` without keys.
template <typename Key, typename Value, typename Blend>
Value sampleKeys(const Key* keys, unsigned count, double time, const Value& fallback, Blend blend)
{
    if (count == 0)
        return fallback;
    size_t i = 0, hi = count;
    while (hi - i > 1) {
        const size_t mid = (i + hi) / 2;
        if (keys[mid].mTime <= time)
            i = mid;
        else
            hi = mid;
    }
    const double span = i + 1 < count ? keys[i + 1].mTime - keys[i].mTime : 0;
    const double f = span > 0 ? std::min(1.0, std::max(0.0, (time - keys[i].mTime) / span)) : 0;
    return f <= 0 ? keys[i].mValue : blend(keys[i].mValue, keys[i + 1].mValue, float(f));
}

aiVector3D sampleVector(const aiVectorKey* keys, unsigned count, double time, const aiVector3D& fallback)
{
    return sampleKeys(keys, count, time, fallback,
                      [](const aiVector3D& a, const aiVector3D& b, float f) { return a + (b - a) * f; });
}

aiQuaternion sampleRotation(const aiQuatKey* keys, unsigned count, double time, const aiQuaternion& fallback)
{
    return sampleKeys(keys, count, time, fallback, [](const aiQuaternion& a, const aiQuaternion& b, float f) {
        aiQuaternion out;
        aiQuaternion::Interpolate(out, a, b, f);
        return out.Normalize();
    });
}

// The rotation that turns the file's axes (FBX global settings: up, front
// and side axis with their signs) into the engine's Y-up right-handed
// frame; identity when the file says nothing, is Y-up already, or names a
// mirrored frame (that would turn every face inside out).
aiMatrix4x4 axisCorrection(const aiScene& scene)
{
    aiMatrix4x4 correction;
    const aiMetadata* settings = scene.mMetaData;
    int32_t up = 1, upSign = 1, front = 2, frontSign = 1, side = 0, sideSign = 1;
    if (!settings || !settings->Get("UpAxis", up) || !settings->Get("FrontAxis", front)
        || !settings->Get("CoordAxis", side))
        return correction;
    settings->Get("UpAxisSign", upSign);
    settings->Get("FrontAxisSign", frontSign);
    settings->Get("CoordAxisSign", sideSign);
    if (up < 0 || up > 2 || front < 0 || front > 2 || side < 0 || side > 2 || up == front || up == side
        || front == side)
        return correction;
    // Row i picks the source component that becomes engine axis i (x: side, y: up, z: front).
    aiMatrix4x4 m;
    m.a1 = m.b2 = m.c3 = 0;
    const int sourceAxis[3] = {side, up, front};
    const float sign[3] = {sideSign < 0 ? -1.0f : 1.0f, upSign < 0 ? -1.0f : 1.0f, frontSign < 0 ? -1.0f : 1.0f};
    for (int row = 0; row < 3; ++row)
        m[row][sourceAxis[row]] = sign[row];
    if (m.Determinant() < 0)
        return correction;
    return m;
}

// The scale from the file's unit (FBX "UnitScaleFactor": centimetres per
// unit) to metres, so that models from different tools come out the same
// size; 1 when the file names no unit.
float unitScale(const aiScene& scene)
{
    double centimetres = 0;
    float asFloat = 0;
    if (!scene.mMetaData)
        return 1;
    if (!scene.mMetaData->Get("UnitScaleFactor", centimetres) && scene.mMetaData->Get("UnitScaleFactor", asFloat))
        centimetres = asFloat;
    if (!(centimetres > 1e-6 && centimetres < 1e9))
        return 1;
    return float(centimetres / 100);
}

// Times before zero (some exporters start takes early) shift the whole take.
double earliestKeyTime(const aiAnimation& take)
{
    double earliest = 0;
    for (unsigned c = 0; c < take.mNumChannels; ++c) {
        const aiNodeAnim& channel = *take.mChannels[c];
        if (channel.mNumPositionKeys)
            earliest = std::min(earliest, channel.mPositionKeys[0].mTime);
        if (channel.mNumRotationKeys)
            earliest = std::min(earliest, channel.mRotationKeys[0].mTime);
        if (channel.mNumScalingKeys)
            earliest = std::min(earliest, channel.mScalingKeys[0].mTime);
    }
    return std::isfinite(earliest) ? earliest : 0;
}

// The engine drives one property per channel: scale, rotation and translation
// together, sampled at every time any of them has a key, in milliseconds. A
// track without keys keeps the node's rest value. No keys when no time is finite.
// The engine's clip runs from a channel's first key to its last, so keys that
// hold the first and last values at the take's start and end keep the take's length.
PlanChannel sampleChannel(const aiNodeAnim& channel, const aiMatrix4x4& restLocal, double earliest, double takeEnd,
                          double ticksPerSecond)
{
    std::vector<double> times;
    times.reserve(size_t(channel.mNumPositionKeys) + channel.mNumRotationKeys + channel.mNumScalingKeys);
    for (unsigned k = 0; k < channel.mNumPositionKeys; ++k)
        times.push_back(channel.mPositionKeys[k].mTime);
    for (unsigned k = 0; k < channel.mNumRotationKeys; ++k)
        times.push_back(channel.mRotationKeys[k].mTime);
    for (unsigned k = 0; k < channel.mNumScalingKeys; ++k)
        times.push_back(channel.mScalingKeys[k].mTime);
    times.erase(std::remove_if(times.begin(), times.end(), [](double t) { return !std::isfinite(t); }), times.end());
    if (!times.empty()) {
        times.push_back(earliest);
        if (std::isfinite(takeEnd) && takeEnd > earliest)
            times.push_back(takeEnd);
    }
    std::sort(times.begin(), times.end());

    aiVector3D restScale, restPosition;
    aiQuaternion restRotation;
    restLocal.Decompose(restScale, restRotation, restPosition);

    PlanChannel out;
    aiQuaternion previous;
    for (double time : times) {
        const double ms = std::min((time - earliest) * 1000.0 / ticksPerSecond, 4294967295.0);
        const uint32_t key = uint32_t(std::max(0.0, std::floor(ms + 0.5)));
        if (!out.keyTimes.empty() && out.keyTimes.back() == key)
            continue;
        const aiVector3D s = sampleVector(channel.mScalingKeys, channel.mNumScalingKeys, time, restScale);
        aiQuaternion r = sampleRotation(channel.mRotationKeys, channel.mNumRotationKeys, time, restRotation);
        const aiVector3D t = sampleVector(channel.mPositionKeys, channel.mNumPositionKeys, time, restPosition);
        // Keep neighbouring keys on the same hemisphere so that blending takes the short way.
        if (!out.keyTimes.empty() && previous.x * r.x + previous.y * r.y + previous.z * r.z + previous.w * r.w < 0)
            r = aiQuaternion(-r.w, -r.x, -r.y, -r.z);
        previous = r;
        out.keyTimes.push_back(key);
        const float values[kChannelComponents] = {s.x, s.y, s.z, r.x, r.y, r.z, r.w, t.x, t.y, t.z};
        out.keyValues.insert(out.keyValues.end(), values, values + kChannelComponents);
    }
    return out;
}

} // namespace

std::vector<std::pair<uint32_t, uint32_t>> VertexLayout::elements() const
{
    std::vector<std::pair<uint32_t, uint32_t>> list;
    auto add = [&list](VertexUsage usage, uint32_t floats) { list.emplace_back(uint32_t(usage), floats); };
    add(VertexUsage::POSITION, 3);
    add(VertexUsage::NORMAL, 3);
    if (colors)
        add(VertexUsage::COLOR, 4);
    if (tangents) {
        add(VertexUsage::TANGENT, 3);
        add(VertexUsage::BINORMAL, 3);
    }
    for (unsigned set = 0; set < texCoordSets; ++set)
        list.emplace_back(uint32_t(VertexUsage::TEXCOORD0) + set, 2);
    if (skinned) {
        add(VertexUsage::BLENDWEIGHTS, 4);
        add(VertexUsage::BLENDINDICES, 4);
    }
    return list;
}

uint32_t VertexLayout::floatsPerVertex() const
{
    uint32_t total = 0;
    for (const auto& element : elements())
        total += element.second;
    return total;
}

BundlePlanner::BundlePlanner(const aiScene& scene, const EncoderOptions& options, Messages& messages,
                             MaterialPlanner& materials)
    : m_scene(scene)
    , m_options(options)
    , m_messages(messages)
    , m_materials(materials)
{
}

bool BundlePlanner::build(BundlePlan& plan)
{
    m_rootCorrection = axisCorrection(m_scene);
    const float scale = unitScale(m_scene);
    if (std::fabs(scale - 1) > 1e-6f) {
        aiMatrix4x4 scaling;
        aiMatrix4x4::Scaling(aiVector3D(scale, scale, scale), scaling);
        m_rootCorrection = scaling * m_rootCorrection;
    }
    if (!addNodeTree(plan))
        return false;
    markJoints(plan);
    attachCameras(plan);
    attachLights(plan);
    setAmbient(plan);
    addMeshes(plan);
    computeWorldMatrices(plan);
    for (PlanMesh& mesh : plan.meshes) {
        if (mesh.layout.skinned)
            addSkin(plan, mesh);
        else
            // A mirroring transform turns every triangle's winding around on screen, so back-face
            // culling would drop the front faces; written reversed, they come out right again.
            mesh.reverseWinding = plan.nodes[size_t(mesh.node)].world.Determinant() < 0;
    }
    // Materials are named per node, before nodes start sharing mesh records, since copies of a
    // mesh may be drawn with other materials and lit by other lights.
    setLightRanges(plan);
    assignMaterials(plan);
    shareMeshes(plan);
    weldVertices(plan);
    addAnimations(plan);
    plan.sceneId = m_ids.claim("__SCENE__", "__SCENE__");
    plan.animationsId = m_ids.claim("__Animations__", "__Animations__");
    return true;
}

bool BundlePlanner::nameIsReferenced(const std::string& name) const
{
    for (unsigned i = 0; i < m_scene.mNumCameras; ++i) {
        if (nameOf(m_scene.mCameras[i]->mName) == name)
            return true;
    }
    for (unsigned i = 0; i < m_scene.mNumLights; ++i) {
        if (nameOf(m_scene.mLights[i]->mName) == name)
            return true;
    }
    for (unsigned i = 0; i < m_scene.mNumAnimations; ++i) {
        const aiAnimation* animation = m_scene.mAnimations[i];
        for (unsigned c = 0; c < animation->mNumChannels; ++c) {
            if (nameOf(animation->mChannels[c]->mNodeName) == name)
                return true;
        }
    }
    for (unsigned i = 0; i < m_scene.mNumMeshes; ++i) {
        const aiMesh* mesh = m_scene.mMeshes[i];
        for (unsigned b = 0; b < mesh->mNumBones; ++b) {
            if (nameOf(mesh->mBones[b]->mName) == name)
                return true;
        }
    }
    return false;
}

int BundlePlanner::findNode(const std::string& name) const
{
    auto found = m_nodeByName.find(name);
    return found == m_nodeByName.end() ? -1 : found->second;
}

bool BundlePlanner::addNodeTree(BundlePlan& plan)
{
    const aiNode* root = m_scene.mRootNode;
    if (!root) {
        m_messages.error(MessageCode::ImportFailed, "Empty scene", "The file holds no scene graph.");
        return false;
    }

    // Assimp wraps every scene in a root node of its own. It becomes a node of
    // the bundle only when it carries something: a transform (axis or unit
    // conversion), meshes, or a name that bones, cameras, lights or
    // animations refer to. Otherwise its children are the top-level nodes.
    const aiMatrix4x4 rootLocal = m_rootCorrection * root->mTransformation;
    const bool rootReferenced = root->mNumMeshes > 0 || !isIdentity(rootLocal) || nameIsReferenced(nameOf(root->mName));

    struct Pending {
        const aiNode* node;
        int parent;
        unsigned depth;
    };
    std::vector<Pending> stack;
    if (rootReferenced) {
        stack.push_back({root, -1, 0});
    } else {
        for (unsigned i = root->mNumChildren; i-- > 0;)
            stack.push_back({root->mChildren[i], -1, 0});
    }
    while (!stack.empty()) {
        const Pending item = stack.back();
        stack.pop_back();
        if (!item.node)
            continue;
        if (item.depth >= kMaxDepth) {
            m_messages.error(MessageCode::InputDamaged, "Node hierarchy too deep",
                             "The scene nests nodes more than " + std::to_string(kMaxDepth)
                                 + " levels deep; such files are damaged or made to break converters.");
            return false;
        }
        const int index = int(plan.nodes.size());
        PlanNode node;
        const std::string name = nameOf(item.node->mName);
        node.id = m_ids.claim(name, "node");
        node.parent = item.parent;
        node.local = item.node == root ? rootLocal : item.node->mTransformation;
        plan.nodes.push_back(std::move(node));
        m_sourceOf.push_back(item.node);
        m_nodeMeshes.emplace_back(item.node->mMeshes, item.node->mMeshes + item.node->mNumMeshes);
        m_nodeByName.emplace(name, index);
        if (item.parent < 0)
            plan.topLevel.push_back(index);
        else
            plan.nodes[size_t(item.parent)].children.push_back(index);
        for (unsigned i = item.node->mNumChildren; i-- > 0;)
            stack.push_back({item.node->mChildren[i], index, item.depth + 1});
    }
    return true;
}

int BundlePlanner::addSyntheticChild(BundlePlan& plan, int parent, const std::string& suffix, const aiMatrix4x4& local)
{
    const int index = int(plan.nodes.size());
    PlanNode node;
    node.id = m_ids.claim(plan.nodes[size_t(parent)].id + suffix, "node");
    node.parent = parent;
    node.local = local;
    plan.nodes.push_back(std::move(node));
    plan.nodes[size_t(parent)].children.push_back(index);
    m_sourceOf.push_back(nullptr);
    m_nodeMeshes.emplace_back();
    return index;
}

void BundlePlanner::markJoints(BundlePlan& plan)
{
    for (unsigned i = 0; i < m_scene.mNumMeshes; ++i) {
        const aiMesh* mesh = m_scene.mMeshes[i];
        for (unsigned b = 0; b < mesh->mNumBones; ++b) {
            const int node = findNode(nameOf(mesh->mBones[b]->mName));
            if (node >= 0)
                plan.nodes[size_t(node)].type = NodeType::JOINT;
        }
    }
}

void BundlePlanner::attachCameras(BundlePlan& plan)
{
    for (unsigned i = 0; i < m_scene.mNumCameras; ++i) {
        const aiCamera& source = *m_scene.mCameras[i];
        int node = findNode(nameOf(source.mName));
        if (node < 0) {
            m_messages.warning(MessageCode::ImportWarning, "Camera without node",
                               "The camera \"" + nameOf(source.mName)
                                   + "\" is not placed in the scene; it is left out.");
            continue;
        }
        const aiMatrix4x4 frame = attachmentFrame(source.mPosition, source.mLookAt, source.mUp);
        if (!isIdentity(frame) || plan.nodes[size_t(node)].camera.type != CameraType::NONE)
            node = addSyntheticChild(plan, node, "_camera", frame);
        PlanCamera& camera = plan.nodes[size_t(node)].camera;
        camera.aspectRatio = source.mAspect > 0 && std::isfinite(source.mAspect) ? source.mAspect : 16.0f / 9.0f;
        camera.nearPlane
            = source.mClipPlaneNear > 0 && std::isfinite(source.mClipPlaneNear) ? source.mClipPlaneNear : 0.1f;
        camera.farPlane = source.mClipPlaneFar > camera.nearPlane && std::isfinite(source.mClipPlaneFar)
            ? source.mClipPlaneFar
            : camera.nearPlane * 10000;
        if (source.mOrthographicWidth > 0 && std::isfinite(source.mOrthographicWidth)) {
            camera.type = CameraType::ORTHOGRAPHIC;
            camera.zoomX = 2 * source.mOrthographicWidth; // Assimp stores the half width
            camera.zoomY = camera.zoomX / camera.aspectRatio;
        } else {
            camera.type = CameraType::PERSPECTIVE;
            // The engine wants the whole vertical angle, in degrees.
            float half = m_fullCameraAngles ? source.mHorizontalFOV / 2 : source.mHorizontalFOV;
            if (!(half > 0.001f && half < 1.5700f))
                half = 0.3926991f;
            camera.fieldOfView
                = float(2 * std::atan(std::tan(half) / camera.aspectRatio) * 57.29577951308232); // degrees
        }
    }

    for (const PlanNode& node : plan.nodes) {
        if (node.camera.type != CameraType::NONE) {
            plan.activeCamera = node.id;
            break;
        }
    }
}

void BundlePlanner::attachLights(BundlePlan& plan)
{
    for (unsigned i = 0; i < m_scene.mNumLights; ++i) {
        const aiLight& source = *m_scene.mLights[i];
        LightType type = LightType::NONE;
        switch (source.mType) {
        case aiLightSource_DIRECTIONAL:
            type = LightType::DIRECTIONAL;
            break;
        case aiLightSource_POINT:
            type = LightType::POINT;
            break;
        case aiLightSource_SPOT:
            type = LightType::SPOT;
            break;
        default:
            break;
        }
        if (type == LightType::NONE) {
            static const char* const kKinds[] = {"undefined", "directional", "point", "spot", "ambient", "area"};
            const unsigned kind = unsigned(source.mType) < 6 ? unsigned(source.mType) : 0;
            m_messages.warning(
                MessageCode::LightSkipped, "Light type not supported",
                "The light \"" + nameOf(source.mName) + "\" is an " + kKinds[kind]
                    + " light; only directional, point and spot lights are converted, so it is left out.");
            continue;
        }
        int node = findNode(nameOf(source.mName));
        if (node < 0) {
            m_messages.warning(MessageCode::ImportWarning, "Light without node",
                               "The light \"" + nameOf(source.mName)
                                   + "\" is not placed in the scene; it is left out.");
            continue;
        }
        const aiVector3D forward = type == LightType::POINT ? aiVector3D(0, 0, -1) : source.mDirection;
        const aiVector3D up = type == LightType::POINT ? aiVector3D(0, 1, 0) : source.mUp;
        const aiMatrix4x4 frame = attachmentFrame(source.mPosition, forward, up);
        if (!isIdentity(frame) || plan.nodes[size_t(node)].light.type != LightType::NONE)
            node = addSyntheticChild(plan, node, "_light", frame);
        PlanLight& light = plan.nodes[size_t(node)].light;
        light.type = type;
        light.name = nameOf(source.mName);
        // Exporters fold intensity into the colour; the engine's lights are colours from 0 to 1.
        float rgb[3] = {source.mColorDiffuse.r, source.mColorDiffuse.g, source.mColorDiffuse.b};
        float brightest = 0;
        for (float& c : rgb) {
            if (!std::isfinite(c) || c < 0)
                c = 0;
            brightest = std::max(brightest, c);
        }
        for (int c = 0; c < 3; ++c)
            light.color[c] = brightest > 1 ? rgb[c] / brightest : rgb[c];
        if (type == LightType::SPOT) {
            // The engine measures from the axis.
            const float toAxis = m_spotAnglesFromAxis ? 1.0f : 0.5f;
            float outer = std::isfinite(source.mAngleOuterCone) ? source.mAngleOuterCone * toAxis : 0.785f;
            float inner = std::isfinite(source.mAngleInnerCone) ? source.mAngleInnerCone * toAxis : outer;
            outer = std::min(std::max(outer, 0.0f), 1.5707f);
            inner = std::min(std::max(inner, 0.0f), outer);
            light.innerAngle = inner;
            light.outerAngle = outer;
        }
        plan.lightCounts[size_t(type)]++;
    }
}

void BundlePlanner::setAmbient(BundlePlan& plan) const
{
    // FBX's global ambient colour; black, which exporters write for "none", keeps the default.
    aiVector3D global;
    if (!m_scene.mMetaData || !m_scene.mMetaData->Get("AmbientColor", global))
        return;
    float rgb[3] = {global.x, global.y, global.z};
    float brightest = 0;
    for (float& c : rgb) {
        if (!std::isfinite(c) || c < 0)
            c = 0;
        brightest = std::max(brightest, c);
    }
    for (int c = 0; brightest > 0 && c < 3; ++c)
        plan.ambient[c] = brightest > 1 ? rgb[c] / brightest : rgb[c];
}

VertexLayout BundlePlanner::layoutOf(const aiMesh& mesh) const
{
    VertexLayout layout;
    layout.colors = mesh.HasVertexColors(0);
    layout.tangents = mesh.HasTangentsAndBitangents();
    while (layout.texCoordSets < AI_MAX_NUMBER_OF_TEXTURECOORDS && mesh.HasTextureCoords(layout.texCoordSets))
        ++layout.texCoordSets;
    for (unsigned b = 0; b < mesh.mNumBones && !layout.skinned; ++b) {
        const aiBone* bone = mesh.mBones[b];
        layout.skinned = bone->mNumWeights > 0 && findNode(nameOf(bone->mName)) >= 0;
    }
    return layout;
}

bool BundlePlanner::usablePiece(unsigned meshIndex)
{
    if (meshIndex >= m_scene.mNumMeshes)
        return false;
    const aiMesh& mesh = *m_scene.mMeshes[meshIndex];
    const std::string name = nameOf(mesh.mName);
    const std::string label = name.empty() ? "number " + std::to_string(meshIndex) : "\"" + name + "\"";
    if (mesh.mNumVertices == 0 || mesh.mNumFaces == 0 || !mesh.mVertices) {
        m_messages.warning(MessageCode::EmptyMeshSkipped, "Empty mesh skipped",
                           "The mesh " + label + " has no vertices or no faces; it is left out.");
        return false;
    }
    if (!(mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) {
        m_messages.warning(MessageCode::PrimitivesSkipped, "Points and lines skipped",
                           "The mesh " + label
                               + " holds only points or lines, which the viewer does not draw; "
                                 "it is left out.");
        return false;
    }
    return true;
}

void BundlePlanner::addMeshes(BundlePlan& plan)
{
    const size_t sourceNodes = plan.nodes.size();
    for (size_t n = 0; n < sourceNodes; ++n) {
        // Pieces that share a vertex layout become parts of one mesh; a piece
        // with another layout (say, one without texture coordinates) goes to
        // a child node of its own, because a mesh has one vertex format.
        std::vector<std::pair<VertexLayout, std::vector<unsigned>>> groups;
        for (unsigned meshIndex : m_nodeMeshes[n]) {
            if (!usablePiece(meshIndex))
                continue;
            const VertexLayout layout = layoutOf(*m_scene.mMeshes[meshIndex]);
            auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == layout; });
            if (group == groups.end())
                groups.push_back({layout, {meshIndex}});
            else
                group->second.push_back(meshIndex);
        }
        for (size_t g = 0; g < groups.size(); ++g) {
            const int owner
                = g == 0 ? int(n) : addSyntheticChild(plan, int(n), "_part" + std::to_string(g + 1), aiMatrix4x4());
            PlanMesh mesh;
            mesh.node = owner;
            mesh.layout = groups[g].first;
            uint64_t vertices = 0;
            Bounds box;
            for (unsigned meshIndex : groups[g].second) {
                const aiMesh& source = *m_scene.mMeshes[meshIndex];
                vertices += source.mNumVertices;
                PlanPiece piece;
                piece.sourceMesh = meshIndex;
                mesh.pieces.push_back(std::move(piece));
                for (unsigned v = 0; v < source.mNumVertices; ++v)
                    box.add(source.mVertices[v]);
            }
            if (box.any) {
                mesh.boxMin = box.lo;
                mesh.boxMax = box.hi;
            }
            // The record stores its vertex byte count in 32 bits.
            if (vertices * mesh.layout.floatsPerVertex() * 4 > 0xFFFFFFFFull) {
                m_messages.warning(MessageCode::EmptyMeshSkipped, "Mesh too large",
                                   "The mesh of node \"" + plan.nodes[n].id + "\" has " + std::to_string(vertices)
                                       + " vertices, more than one mesh can hold; it is left out.");
                continue;
            }
            mesh.id = m_ids.claim(plan.nodes[size_t(owner)].id + "_Mesh", "mesh");
            plan.nodes[size_t(owner)].mesh = int(plan.meshes.size());
            plan.meshes.push_back(std::move(mesh));
        }
    }
}

void BundlePlanner::computeWorldMatrices(BundlePlan& plan)
{
    for (PlanNode& node : plan.nodes)
        node.world = node.parent < 0 ? node.local : plan.nodes[size_t(node.parent)].world * node.local;
}

void BundlePlanner::addSkin(BundlePlan& plan, PlanMesh& mesh)
{
    // Assimp's offset matrix maps mesh space into bone space at bind time.
    // The engine wants the inverse of the bone's bind-time world matrix, which
    // is the offset matrix followed by the inverse of the mesh node's world
    // matrix; the mesh node's world matrix as written is the bind shape.
    const aiMatrix4x4 meshWorld = plan.nodes[size_t(mesh.node)].world;
    aiMatrix4x4 inverseMeshWorld = meshWorld;
    inverseMeshWorld.Inverse();
    mesh.bindShape = meshWorld;
    std::map<int, int> jointOfNode;
    std::set<std::string> reported;
    for (PlanPiece& piece : mesh.pieces) {
        const aiMesh& source = *m_scene.mMeshes[piece.sourceMesh];
        piece.jointOfBone.assign(source.mNumBones, -1);
        for (unsigned b = 0; b < source.mNumBones; ++b) {
            const aiBone& bone = *source.mBones[b];
            const std::string name = nameOf(bone.mName);
            const int node = findNode(name);
            if (node < 0) {
                if (reported.insert(name).second)
                    m_messages.warning(MessageCode::JointMissing, "Bone without node",
                                       "The bone \"" + name + "\" of mesh \"" + mesh.id
                                           + "\" names no node of the scene; its weights are dropped.");
                continue;
            }
            auto found = jointOfNode.find(node);
            if (found == jointOfNode.end()) {
                found = jointOfNode.emplace(node, int(mesh.joints.size())).first;
                mesh.joints.push_back(node);
                mesh.inverseBindPoses.push_back(bone.mOffsetMatrix * inverseMeshWorld);
            }
            piece.jointOfBone[b] = found->second;
        }
    }
}

void BundlePlanner::shareMeshes(BundlePlan& plan)
{
    // Nodes that draw the same source meshes (or copies of them), grouped the same way and with
    // the same winding, draw the same record. A skinned mesh keeps its own: its skin binds it to its node.
    const std::vector<unsigned> firstCopy = DuplicateMeshes::firstCopies(m_scene);
    std::map<std::pair<std::vector<unsigned>, bool>, int> recordOf;
    std::vector<int> newIndex(plan.meshes.size());
    std::vector<PlanMesh> records;
    for (size_t m = 0; m < plan.meshes.size(); ++m) {
        PlanMesh& mesh = plan.meshes[m];
        if (!mesh.layout.skinned) {
            std::vector<unsigned> sources;
            for (const PlanPiece& piece : mesh.pieces)
                sources.push_back(firstCopy[piece.sourceMesh]);
            const auto found = recordOf.emplace(std::make_pair(sources, mesh.reverseWinding), int(records.size()));
            if (!found.second) {
                newIndex[m] = found.first->second;
                ++plan.sharedMeshUses;
                continue;
            }
        }
        newIndex[m] = int(records.size());
        records.push_back(std::move(mesh));
    }
    for (PlanNode& node : plan.nodes) {
        if (node.mesh >= 0)
            node.mesh = newIndex[size_t(node.mesh)];
    }
    plan.meshes = std::move(records);
}

void BundlePlanner::weldVertices(BundlePlan& plan)
{
    for (PlanMesh& mesh : plan.meshes) {
        uint32_t written = 0;
        for (PlanPiece& piece : mesh.pieces) {
            const aiMesh& source = *m_scene.mMeshes[piece.sourceMesh];
            piece.weld = VertexWelder::weld(source, source.mNormals, mesh.layout.texCoordSets, mesh.layout.colors,
                                            mesh.layout.tangents,
                                            mesh.layout.skinned ? piece.jointOfBone : std::vector<int>());
            written += uint32_t(piece.weld.source.size());
        }
        mesh.vertexCount = written;
        MeshOrder::CacheMisses misses;
        MeshOrder::build(mesh, m_scene.mMeshes, misses);
        plan.cacheMissesBefore += misses.before;
        plan.cacheMissesAfter += misses.after;
        plan.triangles += misses.triangles;
    }
}

void BundlePlanner::setLightRanges(BundlePlan& plan)
{
    // Point and spot lights need a range; FBX attenuation rarely gives a
    // sensible one, so it is made to reach across the whole model.
    Bounds scene;
    for (const PlanNode& node : plan.nodes) {
        if (node.mesh < 0)
            continue;
        const PlanMesh& mesh = plan.meshes[size_t(node.mesh)];
        const aiMatrix4x4& world = node.world;
        for (int corner = 0; corner < 8; ++corner) {
            const aiVector3D local((corner & 1) ? mesh.boxMax.x : mesh.boxMin.x,
                                   (corner & 2) ? mesh.boxMax.y : mesh.boxMin.y,
                                   (corner & 4) ? mesh.boxMax.z : mesh.boxMin.z);
            scene.add(world * local);
        }
    }
    const aiVector3D centre = scene.any ? (scene.lo + scene.hi) * 0.5f : aiVector3D();
    const float radius = scene.any ? std::max((scene.hi - scene.lo).Length() * 0.5f, 1e-3f) : 1.0f;
    for (PlanNode& node : plan.nodes) {
        if (node.light.type != LightType::POINT && node.light.type != LightType::SPOT)
            continue;
        const aiVector3D position(node.world.a4, node.world.b4, node.world.c4);
        const float distance = finite(position) ? (position - centre).Length() : 0;
        node.light.range = distance + 2 * radius;
    }
}

void BundlePlanner::assignMaterials(BundlePlan& plan)
{
    const LightChooser lights(plan);
    std::set<std::string> reported;
    for (size_t n = 0; n < plan.nodes.size(); ++n) {
        PlanNode& node = plan.nodes[n];
        if (node.mesh < 0)
            continue;
        const PlanMesh& mesh = plan.meshes[size_t(node.mesh)];
        const LightChoice choice = lights.choose(int(n));
        MaterialUsage usage;
        usage.jointCount = unsigned(mesh.joints.size());
        usage.vertexColors = mesh.layout.colors;
        usage.texCoords = mesh.layout.texCoordSets > 0;
        usage.tangents = mesh.layout.tangents;
        usage.lightCounts
            = {choice.count(LightType::DIRECTIONAL), choice.count(LightType::POINT), choice.count(LightType::SPOT)};
        // A part without a material gets the default one: an empty name would make the engine
        // look up the whole material file.
        for (const PlanPiece& piece : mesh.pieces) {
            node.materials.push_back(m_materials.materialFor(m_scene.mMeshes[piece.sourceMesh]->mMaterialIndex, usage));
            if (!choice.leftOut.empty())
                reportLightsLeftOut(plan, node.materials.back(), choice, reported);
        }
    }
}

void BundlePlanner::reportLightsLeftOut(const BundlePlan& plan, const std::string& material, const LightChoice& choice,
                                        std::set<std::string>& reported)
{
    std::string names;
    for (int light : choice.leftOut)
        names += (names.empty() ? "\"" : ", \"") + plan.nodes[size_t(light)].light.name + "\"";
    const std::string text = "Material \"" + material + "\" is lit by the " + std::to_string(LightChooser::kMaxPerKind)
        + " lights of each kind that give it the most; the viewer binds no more per material, so " + names
        + (choice.leftOut.size() == 1 ? " is" : " are") + " left out there.";
    if (reported.insert(text).second)
        m_messages.warning(MessageCode::LightsLeftOut, "Lights left out", text);
}

void BundlePlanner::addAnimations(BundlePlan& plan)
{
    IdRegistry animationIds;
    for (unsigned a = 0; a < m_scene.mNumAnimations; ++a) {
        const aiAnimation& source = *m_scene.mAnimations[a];
        const std::string take = IdRegistry::validUtf8(nameOf(source.mName));
        const std::string takeName = take.empty() ? "animation" : take;
        const double ticksPerSecond
            = source.mTicksPerSecond > 0 && std::isfinite(source.mTicksPerSecond) ? source.mTicksPerSecond : 25.0;

        const double earliest = earliestKeyTime(source);
        if (source.mNumMorphMeshChannels > 0) {
            m_messages.warning(MessageCode::MorphAnimationDropped, "Morph animation not carried",
                               "The take \"" + takeName + "\" animates the shape keys (morph targets) of "
                                   + std::to_string(source.mNumMorphMeshChannels)
                                   + " mesh(es); the bundle does not carry morph animation, so those shapes stay "
                                     "as modelled.");
        }
        std::vector<std::string> groupKeys;
        const size_t firstAnimation = plan.animations.size();
        std::set<std::string> missing;
        for (unsigned c = 0; c < source.mNumChannels; ++c) {
            const aiNodeAnim& channel = *source.mChannels[c];
            const std::string target = nameOf(channel.mNodeName);
            const int node = findNode(target);
            if (node < 0) {
                if (missing.insert(target).second)
                    m_messages.warning(MessageCode::AnimationTargetMissing, "Animated node missing",
                                       "The take \"" + takeName + "\" animates \"" + target
                                           + "\", which is not a node of the scene; that curve is left out.");
                continue;
            }
            PlanChannel out
                = sampleChannel(channel, plan.nodes[size_t(node)].local, earliest, source.mDuration, ticksPerSecond);
            if (out.keyTimes.empty())
                continue;
            out.node = node;

            const std::string groupKey = animationGroup(plan, takeName, node);
            auto known = std::find(groupKeys.begin(), groupKeys.end(), groupKey);
            size_t group;
            if (known == groupKeys.end()) {
                groupKeys.push_back(groupKey);
                group = plan.animations.size();
                PlanAnimation animation;
                // "model.animation" names clips by this id: one word of the properties grammar.
                animation.id = animationIds.claim(Utf8Text::propertiesId(groupKey, "animation"), "animation");
                plan.animations.push_back(std::move(animation));
            } else {
                group = firstAnimation + size_t(known - groupKeys.begin());
            }
            plan.animations[group].channels.push_back(std::move(out));
        }
    }
}

std::string BundlePlanner::animationGroup(const BundlePlan& plan, const std::string& take, int node) const
{
    if (m_options.grouping == AnimationGrouping::None)
        return take + "/" + plan.nodes[size_t(node)].id;
    if (m_options.grouping == AnimationGrouping::Take)
        return take;
    // Assimp's own root, kept only to carry the axis and unit correction, groups nothing.
    int top = node;
    while (plan.nodes[size_t(top)].parent >= 0
           && m_sourceOf[size_t(plan.nodes[size_t(top)].parent)] != m_scene.mRootNode)
        top = plan.nodes[size_t(top)].parent;
    return take + "/" + plan.nodes[size_t(top)].id;
}
