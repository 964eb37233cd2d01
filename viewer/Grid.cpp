#include "Grid.h"

#include "Material.h"
#include "Mesh.h"
#include "Model.h"
#include "VertexFormat.h"

#include <QFile>

namespace {

struct Colour {
    float r, g, b;
};

const Colour kPlainLine = {0.3f, 0.3f, 0.3f};
const Colour kTenthLine = {0.45f, 0.45f, 0.45f};
const Colour kZAxis = {0.15f, 0.15f, 0.7f};
const Colour kXAxis = {0.7f, 0.15f, 0.15f};

void appendVertex(std::vector<float>& out, float x, float y, float z, const Colour& colour)
{
    out.insert(out.end(), {x, y, z, colour.r, colour.g, colour.b});
}

} // namespace

std::vector<float> Grid::lineVertices(int lineCount)
{
    const int lines = lineCount | 1;
    const int half = lines / 2;
    const float extent = float(half);
    std::vector<float> vertices;
    vertices.reserve(size_t(lines) * 4 * kFloatsPerVertex);
    for (int i = -half; i <= half; ++i) {
        const float at = float(i);
        Colour colour = i % 10 == 0 ? kTenthLine : kPlainLine;
        if (i == 0)
            colour = kZAxis;
        appendVertex(vertices, at, 0.0f, -extent, colour);
        appendVertex(vertices, at, 0.0f, extent, colour);
        if (i == 0)
            colour = kXAxis;
        appendVertex(vertices, -extent, 0.0f, at, colour);
        appendVertex(vertices, extent, 0.0f, at, colour);
    }
    return vertices;
}

engine::Model* Grid::createGridModel(int lineCount, const QString& resFolder)
{
    const std::vector<float> vertices = lineVertices(lineCount);
    const engine::VertexFormat::Element elements[]
        = {{engine::VertexFormat::POSITION, 3}, {engine::VertexFormat::COLOR, 3}};
    const engine::VertexFormat format(elements, 2);
    engine::Mesh* mesh = engine::Mesh::createMesh(format, unsigned(vertices.size() / kFloatsPerVertex), false);
    if (!mesh)
        return nullptr;
    mesh->setPrimitiveType(engine::Mesh::LINES);
    mesh->setVertexData(vertices.data());
    engine::Model* model = engine::Model::create(mesh);
    mesh->release();

    const QByteArray folder = QFile::encodeName(resFolder + QLatin1Char('/'));
    engine::Material* material = engine::Material::create(folder.toStdString(), "grid.material");
    if (!material) {
        model->release();
        return nullptr;
    }
    model->setMaterial(material);
    material->release();
    return model;
}
