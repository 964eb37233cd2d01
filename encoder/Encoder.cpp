#include "Encoder.h"

#include "BundlePlanner.h"
#include "BundleWriter.h"
#include "FbxLegacyTranslator.h"
#include "FbxSource.h"
#include "GltfTextureTransform.h"
#include "HardEdgeNormals.h"
#include "ImportLog.h"
#include "MaterialPlanner.h"
#include "MaterialWriter.h"
#include "MessageCodes.h"
#include "NonFiniteVertices.h"
#include "PivotFolder.h"
#include "PolygonTriangulator.h"
#include "RegularFileSystem.h"
#include "SourceProbe.h"
#include "StlConvention.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <new>
#include <set>
#include <system_error>

namespace {

bool isGltf(const std::string& path)
{
    return SourceProbe::hasSuffix(path, ".gltf") || SourceProbe::hasSuffix(path, ".glb");
}

// Identical vertices are joined later by VertexWelder, and missing normals made by HardEdgeNormals:
// many times faster than Assimp's own steps, which search space for every vertex. Polygons are
// triangulated by PolygonTriangulator, between reading and sorting by primitive type, because
// Assimp's triangulation loses parts of large concave polygons.
const unsigned kReadSteps = aiProcess_ValidateDataStructure;
const unsigned kLaterSteps = aiProcess_SortByPType;

std::string folderOf(const std::string& path)
{
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

void printSummary(const BundlePlan& plan, int verbosity)
{
    if (verbosity < 1)
        return;
    size_t vertices = 0, joints = 0, keys = 0;
    for (const PlanMesh& mesh : plan.meshes) {
        vertices += mesh.vertexCount;
        joints += mesh.joints.size();
    }
    for (const PlanAnimation& animation : plan.animations) {
        for (const PlanChannel& channel : animation.channels)
            keys += channel.keyTimes.size();
    }
    std::printf("Bundle: %zu nodes, %zu meshes (%u shared uses), %zu vertices, %zu skin joints, %u lights, %zu "
                "animations (%zu keys)",
                plan.nodes.size(), plan.meshes.size(), plan.sharedMeshUses, vertices, joints,
                plan.lightCount(LightType::DIRECTIONAL) + plan.lightCount(LightType::POINT)
                    + plan.lightCount(LightType::SPOT),
                plan.animations.size(), keys);
    // Vertices transformed per triangle with a 16-entry cache: in the source's order, and as written.
    if (verbosity >= 2 && plan.triangles > 0)
        std::printf(", cache miss ratio %.3f -> %.3f", plan.cacheMissesBefore / plan.triangles,
                    plan.cacheMissesAfter / plan.triangles);
    std::printf("\n");
    // The application runs us with "-v 2" and may read our output only after we end, so
    // what it asks for stays one line; the lists come only on request.
    if (verbosity < 3)
        return;
    for (const PlanNode& node : plan.nodes) {
        std::printf("  node \"%s\"%s%s%s%s\n", node.id.c_str(), node.type == NodeType::JOINT ? " joint" : "",
                    node.mesh >= 0 ? " mesh" : "", node.camera.type != CameraType::NONE ? " camera" : "",
                    node.light.type != LightType::NONE ? " light" : "");
    }
    for (const PlanAnimation& animation : plan.animations)
        std::printf("  animation \"%s\": %zu channels\n", animation.id.c_str(), animation.channels.size());
}

// Whether the node came through with a mesh that has vertices, even one of only points or lines: its
// object was read, whether or not it has anything to draw.
bool hasReadMesh(const aiScene& scene, const aiNode* node)
{
    for (unsigned i = 0; node && i < node->mNumMeshes; ++i) {
        const unsigned index = node->mMeshes[i];
        if (index < scene.mNumMeshes && scene.mMeshes[index]->mNumVertices > 0)
            return true;
    }
    return false;
}

} // namespace

Encoder::Encoder(const EncoderOptions& options, Messages& messages)
    : m_options(options)
    , m_messages(messages)
{
}

int Encoder::run()
{
    try {
        SourceProbe::FbxHeader header;
        if (!SourceProbe::check(m_options.inputPath, m_messages, header))
            return ExitFailed;

        const std::string modelFolder = folderOf(m_options.outputPath);
        std::error_code ignored;
        std::filesystem::create_directories(modelFolder, ignored);

        ImportLog importLog;
        Assimp::Importer importer;
        importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, 0);
        // A Collada file of only lights or bones would otherwise come back with a
        // stick-figure mesh the importer made up, drawn as if it were the model.
        importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
        // FBX pivots, offsets and pre- and post-rotations come as chains of helper nodes (the
        // importer's default), which PivotFolder folds exactly; the importer's own folding misplaces some.
        auto* files = new RegularFileSystem; // the importer owns it
        importer.SetIOHandler(files);
        FbxSource source(m_options.inputPath, header);
        std::string detail;
        const aiScene* scene = source.import(importer, kReadSteps, detail);
        if (scene) {
            // The importer owns the scene and lets its steps change it; these are more such steps. Faces
            // through a vertex without a position go before polygons are cut, which needs a plane.
            NonFiniteVertices::dropFrom(const_cast<aiScene&>(*scene), m_messages);
            PolygonTriangulator::apply(const_cast<aiScene&>(*scene), m_messages);
            scene = importer.ApplyPostProcessing(kLaterSteps);
            if (!scene)
                detail = importer.GetErrorString();
        }
        if (scene)
            applyFormatConventions(const_cast<aiScene&>(*scene), m_options.inputPath, m_messages);
        reportImportLog(importLog);
        reportRefusedFiles(files->refusedPaths());
        // A scene without meshes is flagged incomplete, yet its nodes (curves, empties) still convert.
        if (!scene || !scene->mRootNode) {
            m_messages.error(MessageCode::ImportFailed, "Model could not be read",
                             "The file \"" + m_options.inputPath + "\" could not be read"
                                 + (detail.empty() ? std::string(".") : ": " + detail));
            return ExitFailed;
        }
        if (scene->mFlags & AI_SCENE_FLAGS_VALIDATION_WARNING) {
            m_messages.warning(MessageCode::ImportWarning, "Irregular data in the model",
                               "The importer found irregular data in \"" + m_options.inputPath
                                   + "\" (for example unsorted animation keys or unused vertices); the "
                                     "conversion goes on, but check the result.");
        }

        if (!source.leftOut().empty())
            m_messages.warning(MessageCode::OldFbxPartSkipped, "Part of an old FBX file not converted",
                               "\"" + m_options.inputPath
                                   + "\" is an FBX file older than FBX 2011; it was converted without what the "
                                     "conversion cannot carry from its format: "
                                   + FbxLegacyTranslator::describe(source.leftOut()) + ".");
        // A mesh object that did not come through is damage only where the importer also reported an
        // error (say, an array it could not decompress); without one it was empty.
        const size_t unread = reportUnreadObjects(*scene, source.meshObjectNames());
        const size_t damaged = importLog.hasErrors() ? unread : 0;
        m_diffuseFactors = source.diffuseFactors();
        reportKeptPivotHelpers(PivotFolder::fold(const_cast<aiScene&>(*scene)));
        HardEdgeNormals::addTo(const_cast<aiScene&>(*scene));

        return convertScene(*scene, header.isFbx, damaged);
    } catch (const std::bad_alloc&) {
        m_messages.error(MessageCode::OutOfResources, "Out of memory",
                         "Converting \"" + m_options.inputPath
                             + "\" needs more memory than is available or "
                               "allowed; the file may be damaged.");
    } catch (const std::exception& e) {
        m_messages.error(MessageCode::InternalFailure, "Conversion failed",
                         "Converting \"" + m_options.inputPath + "\" failed: " + e.what());
    }
    return ExitFailed;
}

int Encoder::convertScene(const aiScene& scene, bool fullCameraAngles, size_t damagedMeshObjects)
{
    const std::string modelFolder = folderOf(m_options.outputPath);
    MaterialPlanner materials(scene, m_options, modelFolder, m_messages);
    materials.setDiffuseFactors(m_diffuseFactors);

    BundlePlan plan;
    BundlePlanner planner(scene, m_options, m_messages, materials);
    planner.setFullCameraAngles(fullCameraAngles);
    planner.setSpotAnglesFromAxis(isGltf(m_options.inputPath));
    if (!planner.build(plan))
        return ExitFailed;
    if (plan.meshes.empty() && damagedMeshObjects > 0) {
        m_messages.error(MessageCode::NoGeometryRead, "No geometry read",
                         "None of the mesh objects that \"" + m_options.inputPath
                             + "\" declares could be read; the file is damaged. Export the model again.");
        return ExitFailed;
    }
    if (plan.meshes.empty()) {
        m_messages.warning(MessageCode::NothingToDraw, "Nothing to draw",
                           "The model holds no triangle meshes (it may hold only curves, points, lines, empty "
                           "meshes or empty nodes); the bundle has its nodes but shows nothing.");
    }
    printSummary(plan, m_options.verbosity);

    BundleWriter writer(scene, plan, m_messages);
    if (!writer.write(m_options.outputPath))
        return ExitFailed;
    if (!MaterialWriter::write(materials.plan(), m_messages))
        return ExitFailed;
    return m_messages.hasErrors() ? ExitFailed : ExitConverted;
}

void Encoder::applyFormatConventions(aiScene& scene, const std::string& path, Messages& messages)
{
    if (SourceProbe::hasSuffix(path, ".stl"))
        StlConvention::apply(scene, path, messages);
    if (isGltf(path))
        GltfTextureTransform::apply(scene);
}

void Encoder::reportImportLog(const ImportLog& log)
{
    // The FBX reader calls every file newer than FBX 2013 unsupported, yet reads them well; that
    // note would only alarm users. Validation findings are summed up by the irregular-data warning,
    // and a mesh without material gets a default one as a matter of course.
    static const char* const kNotPassedOn[]
        = {"unsupported, newer format version", "Validation warning", "no material assigned to mesh"};
    for (const ImportLog::Entry& entry : log.entries()) {
        const bool quiet = std::any_of(std::begin(kNotPassedOn), std::end(kNotPassedOn),
                                       [&](const char* part) { return entry.text.find(part) != std::string::npos; });
        if (quiet)
            continue;
        m_messages.warning(MessageCode::ImporterReport, "Importer report",
                           std::string("While reading \"") + m_options.inputPath + "\" the importer reported "
                               + (entry.severity == ImportLog::Severity::ERROR ? "an error" : "a problem") + ": "
                               + entry.text);
    }
}

void Encoder::reportKeptPivotHelpers(const PivotFolder::Result& folded)
{
    for (const std::string& name : folded.nodesWithKeptHelpers) {
        m_messages.warning(MessageCode::PivotHelperKept, "Pivot helpers kept",
                           "The node \"" + name
                               + "\" is animated through a part of its transform that has a pivot, offset or "
                                 "pre- or post-rotation; the nodes named \""
                               + name + PivotFolder::kHelperTag
                               + "...\" above it stay in the tree so that its motion plays as made.");
    }
}

void Encoder::reportRefusedFiles(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths)
        m_messages.warning(MessageCode::ImporterReport, "File not read",
                           "\"" + path + "\", which \"" + m_options.inputPath
                               + "\" reads, is not a regular file (a FIFO, device or socket); it was not read.");
}

size_t Encoder::reportUnreadObjects(const aiScene& scene, const std::vector<std::string>& meshObjects)
{
    // Names of the nodes that came through with a mesh, gathered once: files declare thousands of objects.
    std::set<std::string> read, reported;
    std::vector<const aiNode*> pending {scene.mRootNode};
    while (!pending.empty()) {
        const aiNode* node = pending.back();
        pending.pop_back();
        if (hasReadMesh(scene, node))
            read.insert(node->mName.C_Str());
        for (unsigned i = 0; i < node->mNumChildren; ++i) {
            if (node->mChildren[i])
                pending.push_back(node->mChildren[i]);
        }
    }
    size_t unread = 0;
    for (const std::string& name : meshObjects) {
        if (read.count(name) || !reported.insert(name).second)
            continue;
        ++unread;
        m_messages.warning(MessageCode::ObjectNotRead, "Object not read",
                           "The mesh object \"" + name + "\" of \"" + m_options.inputPath
                               + "\" could not be read (it is damaged or empty); it is left out.");
    }
    return unread;
}

Messages Encoder::limitRepeats(const Messages& messages, unsigned perCode)
{
    Messages limited;
    std::map<int, unsigned> seen;
    std::map<int, std::string> titles;
    for (const Messages::Entry& entry : messages.entries()) {
        if (entry.error) {
            limited.error(entry.code, entry.title, entry.text);
            continue;
        }
        if (++seen[entry.code] <= perCode)
            limited.warning(entry.code, entry.title, entry.text);
        titles.emplace(entry.code, entry.title);
    }
    for (const auto& [code, count] : seen) {
        if (count > perCode)
            limited.warning(code, titles[code],
                            std::to_string(count - perCode) + " more warnings like the ones above.");
    }
    return limited;
}
