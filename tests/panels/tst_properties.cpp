// The "Properties" rows of models drawn through real materials and textures,
// in a real OpenGL context.
#include "GlTestContext.h"

#include "EngineTestSupport.h"

#include "Effect.h"
#include "FileSystem.h"
#include "Material.h"
#include "MaterialParameter.h"
#include "Mesh.h"
#include "MeshPart.h"
#include "Model.h"
#include "Node.h"
#include "PropertyService.h"
#include "Sampler.h"
#include "Texture.h"
#include "VertexFormat.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace engine;
using enginetest::GlTestContext;
using enginetest::Owned;

namespace {

const char kVertex[] = "attribute vec3 a_position;\n"
                       "uniform mat4 u_bones;\n"
                       "void main() { gl_Position = u_bones * vec4(a_position, 1.0); }\n";
const char kFragment[] = "uniform vec4 u_diffuseColor;\n"
                         "uniform sampler2D u_diffuseTexture;\n"
                         "uniform float u_specularExponent;\n"
                         "void main() { gl_FragColor = u_diffuseColor * texture2D(u_diffuseTexture, vec2(0.5))"
                         " * u_specularExponent; }\n";

Material* createMaterial(const Vector4& color)
{
    Owned<Effect> effect(Effect::createFromSource(kVertex, kFragment));
    Material* material = Material::create(effect.ptr);
    material->getParameter("u_diffuseColor")->setValue(color);
    material->getParameter("u_specularExponent")->setValue(32.0f);
    material->getParameter("u_bones")->setValue(Matrix()); // not shown
    return material;
}

Model* createModel(unsigned int parts)
{
    const VertexFormat::Element position[] = {{VertexFormat::POSITION, 3}};
    Owned<Mesh> mesh(Mesh::createMesh(VertexFormat(position, 1), 3));
    const unsigned short indices[] = {0, 1, 2};
    for (unsigned int part = 0; part < parts; ++part)
        mesh.ptr->addPart(Mesh::TRIANGLES, Mesh::INDEX16, 3)->setIndexData(indices, 0, 3);
    return Model::create(mesh.ptr);
}

QStringList rows(const PropertyService::PropertyList& properties)
{
    QStringList list;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        list << it.key() + '=' + it.value();
    return list;
}

} // namespace

class PropertiesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void texturedMaterialRowsInOrder();
    void partMaterialsLastValueWins();

private:
    GlTestContext m_gl;
    QTemporaryDir m_modelFolder;
};

void PropertiesTest::initTestCase()
{
    if (!m_gl.create())
        QSKIP("no OpenGL context");
    QVERIFY(QDir(m_modelFolder.path()).mkpath("tex"));
    QImage image(8, 4, QImage::Format_RGB888);
    image.fill(Qt::red);
    QVERIFY(image.save(m_modelFolder.filePath("tex/wood.png")));
    FileSystem::setResourcePath((m_modelFolder.path() + "/").toUtf8().constData());
}

void PropertiesTest::texturedMaterialRowsInOrder()
{
    Owned<Material> material(createMaterial(Vector4(1, 0.5f, 0.25f, 1)));
    Owned<Texture> texture(Texture::create("tex/wood.png", true));
    QVERIFY(texture.ptr);
    Owned<Sampler> sampler(Sampler::create(texture.ptr));
    sampler.ptr->setWrapMode(Sampler::CLAMP, Sampler::REPEAT);
    sampler.ptr->setFilterMode(Sampler::LINEAR_MIPMAP_LINEAR, Sampler::NEAREST);
    material.ptr->getParameter("u_diffuseTexture")->setValue(sampler.ptr);
    Owned<Model> model(createModel(1));
    model.ptr->setMaterial(material.ptr);
    Owned<Node> node(Node::create("crate"));
    node.ptr->setDrawable(model.ptr);

    const PropertyService service(m_modelFolder.path());
    QCOMPARE(rows(service.nodeProperties(node.ptr)),
             (QStringList {"Color=1, 0.5, 0.25, 1", "MIP map=true", "MagFilter=NEAREST",
                           "MinFilter=LINEAR_MIPMAP_LINEAR", "Specular=32", "Texture Path=tex/wood.png",
                           "Texture Size=8x4", "WrapS=CLAMP_TO_EDGE", "WrapT=REPEAT"}));
}

void PropertiesTest::partMaterialsLastValueWins()
{
    Owned<Model> model(createModel(3));
    const float reds[] = {0.1f, 0.2f, 0.3f};
    for (int part = 0; part < 3; ++part) {
        Owned<Material> material(createMaterial(Vector4(reds[part], 0, 0, 1)));
        model.ptr->setMaterial(material.ptr, part);
    }
    const PropertyService service {QString()};
    const PropertyService::PropertyList properties = service.modelProperties(model.ptr);
    QCOMPARE(properties.value("Color"), QStringLiteral("0.3, 0, 0, 1"));
    QVERIFY(!properties.contains(QString())); // unlabelled parameters are not rows
}

QTEST_MAIN(PropertiesTest)
#include "tst_properties.moc"
