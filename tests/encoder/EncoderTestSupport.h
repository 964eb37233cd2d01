#pragma once

// Shared by the encoder's test programs: running model-encoder, making the
// project's own fixtures and source materials, checking message lines, and
// reading a written bundle back through the engine's reader to compare it with
// the scene Assimp reads from the same source.

#include "BundleData.h"
#include "Messages.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <QString>
#include <QStringList>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace encodertest {

using engine::BundleData;

struct Run {
    int exitCode = -1;
    bool crashed = false;
    QString out, err;
};

QString sharedModels();
Run runProgram(const QString& program, const QStringList& arguments);
QString encoderPath();
Run runEncoder(const QStringList& arguments);
// The application's own argument list, with the given grouping.
Run convert(const QString& input, const QString& bundle, const QString& grouping = "take");
bool makeFixtures(const QString& folder);

// Every message line must follow the grammar the application parses; returns the offending line or empty.
QString badMessageLine(const Run& run);
QStringList codes(const Run& run);
// Entries with `code`; codes below 2000 must be errors, the others warnings.
int countOf(const Messages& messages, int code);

// Sorted, relative to `folder`.
QStringList filesBelow(const QString& folder);

// A source material; `values` may hold "opacity", "shininess", "strength", "specular" and "emissive" (greys),
// "twoSided", "emissiveMap" (the texture is its emissive map too).
aiMaterial* makeMaterial(const char* name, const std::map<std::string, float>& values = {},
                         const char* texture = nullptr, aiColor3D diffuse = aiColor3D(0.8f, 0.1f, 0.1f));
// Fills one of Assimp's counted arrays (which its owner deletes) with `items`.
template <typename T>
void setArray(T*& array, unsigned& count, const std::vector<T>& items)
{
    count = unsigned(items.size());
    array = new T[items.size()];
    std::copy(items.begin(), items.end(), array);
}

// Reads a bundle through the engine's reader, then checks what that reader passes over quietly: the
// header and reference table layout, entries that point at no record, meshes, joints or materials
// that did not load. Empty when the bundle is sound, else why not.
QString bundleProblem(const QString& path, BundleData& data);
// Converts into `folder` and reads the bundle back; false (with the reason logged) on any irregularity.
bool convertAndRead(const QString& source, const QString& folder, const QString& grouping, BundleData& data, Run& run);
// Converts `source` with "-group:take" and checks what holds for any model: the bundle against Assimp's
// reading of the source, every material resolving in the engine's reading of the material file, every
// sampler naming a PNG in tex/, nothing else written. Returns the textures written through `textures`.
void checkConversion(const QString& source, const QString& folder, BundleData& data, Run& run,
                     QStringList* textures = nullptr);

// Material names the bundle's models use that do not find their block in `materialFile` as the engine
// looks them up; `used` (optional) gets those that do.
QStringList unresolvedMaterials(const BundleData& data, const QString& materialFile, QStringList* used = nullptr);
const BundleData::Node* nodeNamed(const BundleData& data, const std::string& id);
std::vector<const BundleData::Node*> nodesWith(const BundleData& data, BundleData::LightType light);
const BundleData::Mesh& meshOf(const BundleData& data, const BundleData::Node& node);
// Vertex data as floats (the bundle holds nothing else), `floatsPerVertex` apart.
std::vector<float> vertexFloats(const BundleData::Mesh& mesh);
inline size_t floatsPerVertex(const BundleData::Mesh& mesh) { return mesh.vertexSize / 4; }
std::vector<uint32_t> indicesOf(const BundleData::Part& part);
// Where the element of `usage` starts in a vertex, in floats; -1 when the mesh has none.
int elementOffset(const BundleData::Mesh& mesh, uint32_t usage);
// The product of the node's and its ancestors' transforms, as the engine reads them; row-major.
aiMatrix4x4 worldOf(const BundleData& data, const BundleData::Node& node);

} // namespace encodertest
