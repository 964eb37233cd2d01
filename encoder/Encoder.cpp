#include "Encoder.h"

#include "BundlePlanner.h"
#include "BundleWriter.h"
#include "MaterialWriter.h"
#include "MessageCodes.h"
#include "SourceProbe.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <new>
#include <system_error>

namespace {

// Identical vertices are joined, and missing normals made, later by VertexWelder: many times
// faster than Assimp's own steps, which search space for every vertex.
const unsigned kImportSteps = aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_ValidateDataStructure;

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
    std::printf("Bundle: %zu nodes, %zu meshes, %zu vertices, %zu skin joints, %u lights, %zu animations (%zu keys)\n",
                plan.nodes.size(), plan.meshes.size(), vertices, joints,
                plan.lightCounts[1] + plan.lightCounts[2] + plan.lightCounts[3], plan.animations.size(), keys);
    // The application runs us with "-v 2" and may read our output only after we end, so
    // what it asks for stays one line; the lists come only on request.
    if (verbosity < 3)
        return;
    for (const PlanNode& node : plan.nodes) {
        std::printf("  node \"%s\"%s%s%s%s\n", node.id.c_str(), node.type == 2 ? " joint" : "",
                    node.mesh >= 0 ? " mesh" : "", node.camera.type ? " camera" : "", node.light.type ? " light" : "");
    }
    for (const PlanAnimation& animation : plan.animations)
        std::printf("  animation \"%s\": %zu channels\n", animation.id.c_str(), animation.channels.size());
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
            return 1;

        const std::string modelFolder = folderOf(m_options.outputPath);
        std::error_code ignored;
        std::filesystem::create_directories(modelFolder, ignored);

        Assimp::Importer importer;
        importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, 0);
        // A Collada file of only lights or bones would otherwise come back with a
        // stick-figure mesh the importer made up, drawn as if it were the model.
        importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
        const aiScene* scene = importer.ReadFile(m_options.inputPath, kImportSteps);
        // A scene without meshes is flagged incomplete, yet its nodes (curves, empties) still convert.
        if (!scene || !scene->mRootNode) {
            const std::string detail = importer.GetErrorString();
            m_messages.error(MessageCode::ImportFailed, "Model could not be read",
                             "The file \"" + m_options.inputPath + "\" could not be read"
                                 + (detail.empty() ? std::string(".") : ": " + detail));
            return 1;
        }
        if (scene->mFlags & AI_SCENE_FLAGS_VALIDATION_WARNING) {
            m_messages.warning(MessageCode::ImportWarning, "Irregular data in the model",
                               "The importer found irregular data in \"" + m_options.inputPath
                                   + "\" (for example unsorted animation keys or unused vertices); the "
                                     "conversion goes on, but check the result.");
        }

        MaterialWriter materials(*scene, m_options, modelFolder, m_messages);

        BundlePlan plan;
        BundlePlanner planner(*scene, m_options, m_messages, materials);
        planner.setFullCameraAngles(header.isFbx);
        if (!planner.build(plan))
            return 1;
        if (plan.meshes.empty()) {
            m_messages.warning(MessageCode::NothingToDraw, "Nothing to draw",
                               "The model holds no triangle meshes (it may hold only curves, points or empty "
                               "nodes); the bundle has its nodes but shows nothing.");
        }
        printSummary(plan, m_options.verbosity);

        BundleWriter writer(*scene, plan, m_messages);
        if (!writer.write(m_options.outputPath))
            return 1;
        if (!materials.write())
            return 1;
        return m_messages.hasErrors() ? 1 : 0;
    } catch (const std::bad_alloc&) {
        m_messages.error(MessageCode::OutOfResources, "Out of memory",
                         "Converting \"" + m_options.inputPath
                             + "\" needs more memory than is available or "
                               "allowed; the file may be damaged.");
    } catch (const std::exception& e) {
        m_messages.error(MessageCode::InternalFailure, "Conversion failed",
                         "Converting \"" + m_options.inputPath + "\" failed: " + e.what());
    }
    return 1;
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
