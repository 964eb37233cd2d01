// Round trip: the material file the encoder writes, read back by the engine's
// own properties reader the way the bundle loader asks for it
// ("model.material#<id>"), and the application's grid material.

#include "EncoderOptions.h"
#include "MaterialWriter.h"
#include "Messages.h"

#include "engine/Properties.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

using PropertiesPtr = std::unique_ptr<engine::Properties>;

PropertiesPtr load(const QString& file, const std::string& id)
{
    const std::string url = file.toStdString() + "#" + id;
    return PropertiesPtr(engine::Properties::create(url.c_str()));
}

aiMaterial* makeMaterial(const char* name)
{
    auto* material = new aiMaterial;
    const aiString materialName(name);
    material->AddProperty(&materialName, AI_MATKEY_NAME);
    const aiColor3D diffuse(0.2f, 0.4f, 0.6f);
    material->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
    return material;
}

engine::Properties* pass(engine::Properties& material)
{
    engine::Properties* technique = material.getNamespace("technique", true, false);
    return technique ? technique->getNamespace("pass", true, false) : nullptr;
}

} // namespace

class MaterialEngineTest : public QObject {
    Q_OBJECT

private slots:
    void engineReadsEveryWrittenMaterial();
    void engineReadsTheGridMaterial();
};

void MaterialEngineTest::engineReadsEveryWrittenMaterial()
{
    QTemporaryDir root;
    const QString source = root.filePath("src");
    const QString model = root.filePath("model");
    QVERIFY(QDir().mkpath(source) && QDir().mkpath(model));
    std::vector<unsigned char> pixels(8 * 8 * 3, 90);
    QVERIFY(stbi_write_png((source + "/bark.png").toUtf8().constData(), 8, 8, 3, pixels.data(), 24));

    aiScene scene;
    aiMaterial* bark = makeMaterial("Bark #1");
    const aiString texture("..\\..\\maps\\bark.png");
    bark->AddProperty(&texture, AI_MATKEY_TEXTURE_DIFFUSE(0));
    aiMaterial* glass = makeMaterial("Gl\xC3\xA4s");
    const float opacity = 0.25f;
    glass->AddProperty(&opacity, 1, AI_MATKEY_OPACITY);
    const aiColor3D white(1, 1, 1);
    glass->AddProperty(&white, 1, AI_MATKEY_COLOR_SPECULAR);
    const float exponent = 48.0f;
    glass->AddProperty(&exponent, 1, AI_MATKEY_SHININESS);
    scene.mNumMaterials = 2;
    scene.mMaterials = new aiMaterial*[2]{bark, glass};

    EncoderOptions options;
    options.inputPath = (source + "/scene.fbx").toStdString();
    options.outputPath = (model + "/model.gpb").toStdString();
    options.culling = BackfaceCulling::Cw;
    Messages messages;
    MaterialWriter writer(scene, options, model.toStdString(), messages);
    writer.setLightCounts(0, 2, 0);
    MaterialUsage skinned;
    skinned.jointCount = 7;
    skinned.texCoords = true;
    const std::string barkId = writer.materialFor(0, skinned);
    const std::string glassId = writer.materialFor(1, MaterialUsage());
    const std::string glassColoured = writer.materialFor(1, MaterialUsage{0, true, false, false});
    QVERIFY(writer.write());
    const QString file = model + "/model.material";

    const PropertiesPtr barkMaterial = load(file, barkId);
    QVERIFY2(barkMaterial, barkId.c_str());
    QCOMPARE(QString(barkMaterial->getNamespace()), QString("material"));
    QCOMPARE(std::string(barkMaterial->getId()), barkId);
    engine::Vector4 colour;
    QVERIFY(barkMaterial->getVector4("u_diffuseColor", &colour));
    QCOMPARE(colour.w, 1.0f);
    QCOMPARE(QString(barkMaterial->getString("u_matrixPalette")), QString("MATRIX_PALETTE"));
    engine::Properties* sampler = barkMaterial->getNamespace("u_diffuseTexture");
    QVERIFY(sampler);
    QCOMPARE(QString(sampler->getNamespace()), QString("sampler"));
    const QString path = sampler->getString("path");
    QCOMPARE(path, QString("tex/bark.png"));
    QVERIFY(QFileInfo(model + "/" + path).isFile());   // relative to the model folder
    QVERIFY(sampler->getBool("mipmap"));
    engine::Properties* state = barkMaterial->getNamespace("renderState", true, false);
    QVERIFY(state);
    QVERIFY(state->getBool("cullFace"));
    QCOMPARE(QString(state->getString("frontFace")), QString("CW"));
    QVERIFY(!state->exists("blend"));
    engine::Properties* barkPass = pass(*barkMaterial);
    QVERIFY(barkPass);
    QCOMPARE(QString(barkPass->getString("defines")),
             QString("SKINNING;SKINNING_JOINT_COUNT 7;DIFFUSE_TEXTURE;POINT_LIGHT"));
    QCOMPARE(QString(barkPass->getString("vertexShader")), QString("shaders/model.vert"));

    for (const std::string& id : {glassId, glassColoured}) {
        const PropertiesPtr glassMaterial = load(file, id);
        QVERIFY2(glassMaterial, id.c_str());
        QVERIFY(glassMaterial->getVector4("u_diffuseColor", &colour));
        QCOMPARE(colour.x, 0.2f);
        QCOMPARE(colour.w, 0.25f);
        // Numbers the engine's number check accepts, so they become values
        // and not auto-bindings.
        QVERIFY(engine::Properties::isNumber(glassMaterial->getString("u_specularExponent")));
        QCOMPARE(glassMaterial->getFloat("u_specularExponent"), 48.0f);
        engine::Vector3 light;
        QVERIFY(glassMaterial->getVector3("u_lightColor", &light));
        QCOMPARE(light.x + light.y + light.z, 0.0f);
        engine::Properties* glassState = glassMaterial->getNamespace("renderState", true, false);
        QVERIFY(glassState && glassState->getBool("blend"));
        QCOMPARE(QString(glassState->getString("blendDst")), QString("ONE_MINUS_SRC_ALPHA"));
        QVERIFY(QString(pass(*glassMaterial)->getString("defines")).split(';').contains("SPECULAR"));
    }
}

void MaterialEngineTest::engineReadsTheGridMaterial()
{
    const QString file = QStringLiteral(VELMORA_SOURCE_DIR "/res/grid.material");
    const PropertiesPtr grid(engine::Properties::create(file.toUtf8().constData()));
    QVERIFY(grid);
    engine::Properties* material = grid.get();
    if (QString(material->getNamespace()).isEmpty())
        material = material->namespaceAt(0);
    QVERIFY(material);
    QCOMPARE(QString(material->getNamespace()), QString("material"));
    QCOMPARE(QString(material->getString("u_worldViewProjectionMatrix")), QString("WORLD_VIEW_PROJECTION_MATRIX"));
    engine::Properties* gridPass = pass(*material);
    QVERIFY(gridPass);
    for (const char* key : {"vertexShader", "fragmentShader"}) {
        const QString shader = gridPass->getString(key);
        QVERIFY2(QFileInfo(QStringLiteral(VELMORA_SOURCE_DIR "/res/") + shader).isFile(), qPrintable(shader));
    }
}

QTEST_APPLESS_MAIN(MaterialEngineTest)
#include "tst_material_engine.moc"
