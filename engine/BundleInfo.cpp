#include "BundleInfo.h"

#include "Bundle.h"
#include "BundleReader.h"
#include "FileSystem.h"
#include "Properties.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace engine {

namespace {

const uint32_t kTriangles = 4, kTriangleStrip = 5;

unsigned trianglesOf(const BundleData::Part& part)
{
    if (part.primitiveType == kTriangles)
        return part.indexCount / 3;
    if (part.primitiveType == kTriangleStrip)
        return part.indexCount > 2 ? part.indexCount - 2 : 0;
    return 0;
}

bool isFolder(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void addUnique(std::vector<std::string>& list, const std::string& value)
{
    if (std::find(list.begin(), list.end(), value) == list.end())
        list.push_back(value);
}

// The texture paths of every sampler in a material, its techniques and passes.
void collectTextures(Properties* properties, std::vector<std::string>* textures)
{
    while (Properties* inner = properties->getNextNamespace()) {
        const char* path = std::strcmp(inner->getNamespace(), "sampler") == 0 ? inner->getString("path") : nullptr;
        if (path)
            addUnique(*textures, path);
        else
            collectTextures(inner, textures);
    }
}

// False when the material file has no material of that name.
bool describeMaterial(const std::string& materialPath, const std::string& name, Properties::Cache* cache,
                      BundleInfo::MaterialDetail* detail)
{
    const std::unique_ptr<Properties> material(Bundle::findMaterial(materialPath, name, cache));
    if (!material)
        return false;
    detail->name = name;
    collectTextures(material.get(), &detail->textures);
    return true;
}

// Non-finite values (a damaged file's bounds) are written as JSON's null.
// "%g" would follow the process locale, and a decimal comma breaks JSON.
std::string number(float v)
{
    if (!std::isfinite(v))
        return "null";
    char text[32];
    const std::to_chars_result written
        = std::to_chars(text, text + sizeof text, double(v), std::chars_format::general, 6);
    return std::string(text, written.ptr);
}

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string jsonList(const std::vector<std::string>& list)
{
    std::string out = "[";
    for (size_t i = 0; i < list.size(); ++i)
        out += (i ? "," : "") + jsonString(list[i]);
    return out + "]";
}

std::string textList(const std::vector<std::string>& list)
{
    std::string out;
    for (size_t i = 0; i < list.size(); ++i)
        out += (i ? ", " : "") + list[i];
    return out.empty() ? "-" : out;
}

std::string vector(const Vector3& v) { return number(v.x) + ", " + number(v.y) + ", " + number(v.z); }
std::string quaternion(const Quaternion& q)
{
    return number(q.x) + ", " + number(q.y) + ", " + number(q.z) + ", " + number(q.w);
}

// A camera or light node is known by that; a joint stays a joint even when
// a model hangs on it.
std::string kindOf(const BundleData::Node& node)
{
    if (node.type == BundleData::JOINT)
        return "joint";
    if (node.camera.type != BundleData::NO_CAMERA)
        return "camera";
    if (node.light.type != BundleData::NO_LIGHT)
        return "light";
    return node.hasModel ? "model" : "node";
}

BundleInfo::TreeNode treeNodeOf(const BundleData& data, const BundleData::Node& node, int parent, unsigned depth)
{
    BundleInfo::TreeNode entry;
    entry.parent = parent;
    entry.depth = depth;
    entry.id = node.id;
    entry.kind = kindOf(node);
    if (node.hasModel) {
        entry.mesh = data.meshes[size_t(node.model.mesh)].id;
        entry.materials = data.materialsOf(node.model);
    }
    (node.transform * node.offset).decompose(&entry.scale, &entry.rotation, &entry.translation);
    return entry;
}

std::string treeText(const std::vector<BundleInfo::TreeNode>& tree)
{
    std::string t = "Tree:\n";
    for (const BundleInfo::TreeNode& node : tree) {
        t += std::string(2 * (node.depth + 1), ' ') + node.id + " (" + node.kind + ")";
        if (!node.mesh.empty())
            t += " mesh " + node.mesh + " [" + textList(node.materials) + "]";
        t += "; translation (" + vector(node.translation) + "); rotation (" + quaternion(node.rotation) + "); scale ("
            + vector(node.scale) + ")\n";
    }
    return t;
}

std::string treeJson(const std::vector<BundleInfo::TreeNode>& tree)
{
    std::string j = ",\"tree\":[";
    for (size_t i = 0; i < tree.size(); ++i) {
        const BundleInfo::TreeNode& node = tree[i];
        j += std::string(i ? "," : "") + "{\"id\":" + jsonString(node.id)
            + ",\"parent\":" + (node.parent < 0 ? std::string("null") : std::to_string(node.parent)) + ",\"kind\":"
            + jsonString(node.kind) + ",\"mesh\":" + (node.mesh.empty() ? std::string("null") : jsonString(node.mesh))
            + ",\"materials\":" + jsonList(node.materials) + ",\"translation\":[" + vector(node.translation)
            + "],\"rotation\":[" + quaternion(node.rotation) + "],\"scale\":[" + vector(node.scale) + "]}";
    }
    return j + "]";
}

} // namespace

std::string BundleInfo::materialPathOf(const std::string& bundlePath)
{
    const size_t dot = bundlePath.rfind('.');
    const size_t slash = bundlePath.find_last_of("/\\");
    if (dot == std::string::npos || dot < 3 || (slash != std::string::npos && dot < slash))
        return std::string();
    const std::string path = bundlePath.substr(0, dot) + ".material";
    return FileSystem::fileExists(path.c_str()) ? path : std::string();
}

bool BundleInfo::summarise(const std::string& path, Summary* out, std::string* error)
{
    std::string bundlePath = path;
    if (isFolder(path))
        bundlePath = path + (path.back() == '/' ? "" : "/") + "model.gpb";
    BundleReader reader;
    BundleData data;
    if (!reader.openFile(bundlePath.c_str()) || !reader.readScene(nullptr, &data)) {
        if (error)
            *error = bundlePath + ": " + reader.error();
        return false;
    }
    *out = summarise(data, materialPathOf(bundlePath));
    out->bundlePath = bundlePath;
    return true;
}

BundleInfo::Summary BundleInfo::summarise(const BundleData& data, const std::string& materialPath)
{
    Summary s;
    s.version = std::to_string(data.versionMajor) + "." + std::to_string(data.versionMinor);
    s.meshes = unsigned(data.meshes.size());
    for (const BundleData::Mesh& mesh : data.meshes) {
        MeshDetail detail {mesh.id, unsigned(mesh.parts.size()), mesh.vertexCount, 0};
        for (const BundleData::Part& part : mesh.parts)
            detail.triangles += trianglesOf(part);
        s.vertices += detail.vertices;
        s.parts += detail.parts;
        s.triangles += detail.triangles;
        s.meshDetails.push_back(detail);
    }
    Properties::Cache cache;
    const std::function<void(int, const Matrix&, int, unsigned)> visit
        = [&](int index, const Matrix& parentWorld, int parent, unsigned depth) {
              const BundleData::Node& node = data.nodes[size_t(index)];
              const Matrix world = parentWorld * node.transform * node.offset;
              const int self = int(s.tree.size());
              s.tree.push_back(treeNodeOf(data, node, parent, depth));
              ++s.nodes;
              s.joints += node.type == BundleData::JOINT;
              s.cameras += node.camera.type != BundleData::NO_CAMERA;
              s.lights += node.light.type != BundleData::NO_LIGHT;
              if (node.hasModel) {
                  ++s.models;
                  BoundingBox box = data.meshes[size_t(node.model.mesh)].boundingBox;
                  if (!node.model.hasSkin)
                      box.transform(world);
                  if (s.hasBounds)
                      s.bounds.merge(box);
                  else
                      s.bounds = box;
                  s.hasBounds = true;
                  if (node.model.hasSkin) {
                      s.skins.push_back({node.id, unsigned(node.model.skin.joints.size())});
                  }
                  for (const std::string& name : data.materialsOf(node.model)) {
                      const bool seen = std::find(s.materials.begin(), s.materials.end(), name) != s.materials.end()
                          || std::find(s.unresolvedMaterials.begin(), s.unresolvedMaterials.end(), name)
                              != s.unresolvedMaterials.end();
                      if (name.empty() || seen)
                          continue;
                      MaterialDetail detail;
                      if (describeMaterial(materialPath, name, &cache, &detail)) {
                          s.materials.push_back(name);
                          s.materialDetails.push_back(detail);
                      } else {
                          s.unresolvedMaterials.push_back(name);
                      }
                  }
              }
              for (int child : node.children)
                  visit(child, world, self, depth + 1);
          };
    for (int root : data.roots)
        visit(root, Matrix(), -1, 0);
    for (int root : data.detachedRoots)
        visit(root, Matrix(), -1, 0);
    Properties::clearCache(cache);
    for (const BundleData::Animation& a : data.animations) {
        Animation info {a.id, unsigned(a.channels.size()), 0};
        for (const BundleData::Channel& c : a.channels)
            info.keys += unsigned(c.keyTimes.size());
        s.animations.push_back(info);
    }
    if (data.activeCameraNode >= 0)
        s.activeCamera = data.nodes[size_t(data.activeCameraNode)].id;
    s.problems = data.problems;
    for (const std::string& name : s.unresolvedMaterials)
        s.problems.push_back({BundleProblem::MATERIAL, name, Bundle::missingMaterialReason(materialPath)});
    return s;
}

std::string BundleInfo::toText(const Summary& s, bool withTree)
{
    std::string t;
    t += "Bundle:        " + s.bundlePath + " (version " + s.version + ")\n";
    t += "Nodes:         " + std::to_string(s.nodes) + " (joints " + std::to_string(s.joints) + ", cameras "
        + std::to_string(s.cameras) + ", lights " + std::to_string(s.lights) + ", models " + std::to_string(s.models)
        + ")\n";
    t += "Meshes:        " + std::to_string(s.meshes) + " (parts " + std::to_string(s.parts) + ", vertices "
        + std::to_string(s.vertices) + ", triangles " + std::to_string(s.triangles) + ")\n";
    for (const MeshDetail& mesh : s.meshDetails)
        t += "  " + mesh.id + ": " + std::to_string(mesh.parts) + " parts, " + std::to_string(mesh.vertices)
            + " vertices, " + std::to_string(mesh.triangles) + " triangles\n";
    t += "Skins:         " + std::to_string(s.skins.size()) + "\n";
    for (const Skin& skin : s.skins) {
        t += "  " + skin.node + ": " + std::to_string(skin.joints) + " joints\n";
    }
    t += "Materials:     " + textList(s.materials) + "\n";
    for (const MaterialDetail& material : s.materialDetails)
        t += "  " + material.name + ": " + textList(material.textures) + "\n";
    t += "Unresolved:    " + textList(s.unresolvedMaterials) + "\n";
    t += "Animations:    " + std::to_string(s.animations.size()) + "\n";
    for (const Animation& a : s.animations)
        t += "  " + a.id + ": " + std::to_string(a.channels) + " channels, " + std::to_string(a.keys) + " keys\n";
    t += "Bounds:        "
        + (s.hasBounds ? "(" + vector(s.bounds.min) + ") to (" + vector(s.bounds.max) + ")" : std::string("-")) + "\n";
    t += "Active camera: " + (s.activeCamera.empty() ? std::string("-") : s.activeCamera) + "\n";
    return withTree ? t + treeText(s.tree) : t;
}

std::string BundleInfo::problemsText(const Summary& s)
{
    std::string t;
    for (const BundleProblem& p : s.problems)
        t += std::string("Left out: ") + BundleProblem::kindName(p.kind) + " " + p.id + ": " + p.reason + "\n";
    return t;
}

std::string BundleInfo::toJson(const Summary& s, bool withTree)
{
    std::string j = "{";
    j += "\"bundle\":" + jsonString(s.bundlePath) + ",\"version\":" + jsonString(s.version);
    j += ",\"nodes\":" + std::to_string(s.nodes) + ",\"joints\":" + std::to_string(s.joints)
        + ",\"cameras\":" + std::to_string(s.cameras) + ",\"lights\":" + std::to_string(s.lights)
        + ",\"models\":" + std::to_string(s.models);
    j += ",\"meshes\":" + std::to_string(s.meshes) + ",\"parts\":" + std::to_string(s.parts)
        + ",\"vertices\":" + std::to_string(s.vertices) + ",\"triangles\":" + std::to_string(s.triangles);
    j += ",\"skins\":[";
    for (size_t i = 0; i < s.skins.size(); ++i) {
        j += std::string(i ? "," : "") + "{\"node\":" + jsonString(s.skins[i].node)
            + ",\"joints\":" + std::to_string(s.skins[i].joints) + "}";
    }
    j += "],\"materials\":" + jsonList(s.materials) + ",\"unresolvedMaterials\":" + jsonList(s.unresolvedMaterials);
    j += ",\"meshDetails\":[";
    for (size_t i = 0; i < s.meshDetails.size(); ++i) {
        const MeshDetail& m = s.meshDetails[i];
        j += std::string(i ? "," : "") + "{\"id\":" + jsonString(m.id) + ",\"parts\":" + std::to_string(m.parts)
            + ",\"vertices\":" + std::to_string(m.vertices) + ",\"triangles\":" + std::to_string(m.triangles) + "}";
    }
    j += "],\"materialDetails\":[";
    for (size_t i = 0; i < s.materialDetails.size(); ++i) {
        j += std::string(i ? "," : "") + "{\"name\":" + jsonString(s.materialDetails[i].name)
            + ",\"textures\":" + jsonList(s.materialDetails[i].textures) + "}";
    }
    j += "]";
    j += ",\"animations\":[";
    for (size_t i = 0; i < s.animations.size(); ++i) {
        j += std::string(i ? "," : "") + "{\"id\":" + jsonString(s.animations[i].id) + ",\"channels\":"
            + std::to_string(s.animations[i].channels) + ",\"keys\":" + std::to_string(s.animations[i].keys) + "}";
    }
    j += "],\"bounds\":";
    if (s.hasBounds) {
        j += "{\"min\":[" + vector(s.bounds.min) + "],\"max\":[" + vector(s.bounds.max) + "]}";
    } else {
        j += "null";
    }
    j += ",\"activeCamera\":" + (s.activeCamera.empty() ? std::string("null") : jsonString(s.activeCamera));
    if (withTree)
        j += treeJson(s.tree);
    j += ",\"problems\":[";
    for (size_t i = 0; i < s.problems.size(); ++i) {
        const BundleProblem& p = s.problems[i];
        j += std::string(i ? "," : "") + "{\"kind\":" + jsonString(BundleProblem::kindName(p.kind))
            + ",\"id\":" + jsonString(p.id) + ",\"reason\":" + jsonString(p.reason) + "}";
    }
    return j + "]}";
}

} // namespace engine
