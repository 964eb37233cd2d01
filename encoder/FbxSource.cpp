#include "FbxSource.h"

#include "FbxBinaryWriter.h"
#include "FbxLegacyTranslator.h"
#include "FbxTreeReader.h"

#include <assimp/Importer.hpp>

namespace {

// Tells the importer which reader to use for a file handed over from memory.
const char kFormatHint[] = "fbx";
// The importer refuses older files.
const unsigned kFirstVersionImported = 7100;

} // namespace

FbxSource::Route FbxSource::routeFor(const SourceProbe::FbxHeader& header)
{
    const bool older = header.version != 0 && header.version < kFirstVersionImported;
    return header.isFbx && ((header.binary && header.bigEndian) || older) ? Route::REWRITTEN : Route::AS_IS;
}

FbxSource::FbxSource(const std::string& path, const SourceProbe::FbxHeader& header)
    : m_path(path)
    , m_header(header)
{
}

const aiScene* FbxSource::import(Assimp::Importer& importer, unsigned steps, std::string& error)
{
    if (routeFor(m_header) == Route::REWRITTEN)
        return importRewritten(importer, steps, error);
    const aiScene* scene = importer.ReadFile(m_path, steps);
    if (!scene)
        error = importer.GetErrorString();
    else if (m_header.isFbx) {
        m_meshObjectNames = SourceProbe::meshObjectNames(m_path, m_header.binary);
        m_diffuseFactors = SourceProbe::diffuseFactors(m_path, m_header.binary);
    }
    return scene;
}

const aiScene* FbxSource::importRewritten(Assimp::Importer& importer, unsigned steps, std::string& error)
{
    std::string bytes;
    {
        // The tree is let go before the importer builds its own copy of the file's content.
        FbxDocument document;
        if (!FbxTreeReader::readFile(m_path, document, error))
            return nullptr;
        if (FbxLegacyTranslator::isLegacy(document)) {
            FbxLegacyTranslator::Translation translation = FbxLegacyTranslator::translate(document);
            document = std::move(translation.document);
            m_leftOut = std::move(translation.leftOut);
        }
        if (!FbxBinaryWriter::write(document, bytes, error))
            return nullptr;
        m_meshObjectNames = SourceProbe::meshObjectNames(document);
        m_diffuseFactors = SourceProbe::diffuseFactors(document);
    }
    const aiScene* scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), steps, kFormatHint);
    if (!scene)
        error = importer.GetErrorString();
    return scene;
}
