// The material file: its grammar, ids, defines, culling, blending and
// samplers, checked by reading the written file back with a small reader of
// the engine's properties grammar; and real models when they are available.

#include "EncoderOptions.h"
#include "MaterialWriter.h"
#include "Messages.h"

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

// One namespace of a properties file, read strictly: anything the engine's
// reader would take differently from what the writer meant is an error.
struct Namespace {
    QString name;
    QString id;
    QVector<QPair<QString, QString>> properties;
    QVector<Namespace> children;

    QString value(const QString& key) const
    {
        for (const auto& property : properties) {
            if (property.first == key)
                return property.second;
        }
        return QString();
    }
    bool has(const QString& key) const
    {
        for (const auto& property : properties) {
            if (property.first == key)
                return true;
        }
        return false;
    }
    const Namespace* child(const QString& childName) const
    {
        for (const Namespace& c : children) {
            if (c.name == childName)
                return &c;
        }
        return nullptr;
    }
};

bool parseProperties(const QByteArray& text, Namespace& root, QString& error)
{
    QVector<Namespace*> stack{&root};
    bool expectBrace = false;
    int lineNumber = 0;
    for (const QByteArray& raw : text.split('\n')) {
        ++lineNumber;
        const QString where = QString("line %1: ").arg(lineNumber);
        if (raw.size() > 2047) {
            error = where + "longer than the reader's line buffer";
            return false;
        }
        QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith("//") || line.isEmpty())
            continue;
        if (line.contains("/*") || line.contains("//")) {
            error = where + "comment marker inside a line";
            return false;
        }
        if (expectBrace) {
            if (line != "{") {
                error = where + "namespace without \"{\"";
                return false;
            }
            expectBrace = false;
            continue;
        }
        if (line == "}") {
            if (stack.size() < 2) {
                error = where + "\"}\" without namespace";
                return false;
            }
            stack.pop_back();
            continue;
        }
        const int equals = line.indexOf('=');
        if (equals >= 0) {
            const QString key = line.left(equals).trimmed();
            const QString value = line.mid(equals + 1).trimmed();
            if (key.isEmpty() || key.contains(' ') || value.isEmpty() || value.startsWith("${")) {
                error = where + "malformed property";
                return false;
            }
            stack.back()->properties.push_back({key, value});
            continue;
        }
        bool opens = false;
        if (line.endsWith('{')) {
            opens = true;
            line.chop(1);
        }
        const QStringList words = line.simplified().split(' ', Qt::SkipEmptyParts);
        if (words.isEmpty() || words.size() > 2 || line.contains('}') || line.contains(':')) {
            error = where + "malformed namespace line \"" + line + "\"";
            return false;
        }
        Namespace child;
        child.name = words[0];
        child.id = words.size() > 1 ? words[1] : QString();
        stack.back()->children.push_back(child);
        stack.push_back(&stack.back()->children.back());
        expectBrace = !opens;
    }
    if (stack.size() != 1 || expectBrace) {
        error = "unbalanced braces";
        return false;
    }
    return true;
}

const QStringList kAutoBindings = {"WORLD_MATRIX", "VIEW_MATRIX", "PROJECTION_MATRIX", "WORLD_VIEW_MATRIX",
                                   "VIEW_PROJECTION_MATRIX", "WORLD_VIEW_PROJECTION_MATRIX",
                                   "INVERSE_TRANSPOSE_WORLD_MATRIX", "INVERSE_TRANSPOSE_WORLD_VIEW_MATRIX",
                                   "CAMERA_WORLD_POSITION", "CAMERA_VIEW_POSITION", "MATRIX_PALETTE",
                                   "SCENE_AMBIENT_COLOR"};

// The engine's number check: optional minus, digits, at most one decimal point.
bool isEngineNumber(const QString& text)
{
    return QRegularExpression(R"(^-?\d+(\.\d+)?$)").match(text).hasMatch();
}

// Every parameter either is one of the auto-bindings or has numbers only, in
// the count of components the shader's uniform has.
QString checkParameters(const Namespace& material)
{
    static const QMap<QString, int> components = {{"u_diffuseColor", 4}, {"u_specularColor", 3},
                                                  {"u_specularExponent", 1}, {"u_lightColor", 3}};
    for (const auto& property : material.properties) {
        const QString& value = property.second;
        if (components.contains(property.first)) {
            const QStringList parts = value.split(',');
            if (parts.size() != components[property.first])
                return property.first + " has " + QString::number(parts.size()) + " components";
            for (const QString& part : parts) {
                if (!isEngineNumber(part))
                    return property.first + " holds \"" + part + "\", which the engine does not read as a number";
            }
        } else if (!kAutoBindings.contains(value)) {
            return property.first + " = " + value + " is neither a value nor an auto-binding";
        }
    }
    return QString();
}

aiMaterial* makeMaterial(const char* name, aiColor3D diffuse = aiColor3D(0.8f, 0.1f, 0.1f))
{
    auto* material = new aiMaterial;
    const aiString materialName(name);
    material->AddProperty(&materialName, AI_MATKEY_NAME);
    material->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
    return material;
}

void setFloat(aiMaterial* material, float value, const char* key, unsigned type, unsigned index)
{
    material->AddProperty(&value, 1, key, type, index);
}

void setTexture(aiMaterial* material, const char* path)
{
    const aiString texture(path);
    material->AddProperty(&texture, AI_MATKEY_TEXTURE_DIFFUSE(0));
}

void setMaterials(aiScene& scene, std::vector<aiMaterial*> materials)
{
    scene.mNumMaterials = static_cast<unsigned>(materials.size());
    scene.mMaterials = new aiMaterial*[materials.size()];
    for (size_t i = 0; i < materials.size(); ++i)
        scene.mMaterials[i] = materials[i];
}

void writePng(const QString& path, int width, int height, int channels, unsigned char alpha = 255)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::vector<unsigned char> pixels(static_cast<size_t>(width * height * channels), 128);
    if (channels == 4) {
        for (size_t i = 3; i < pixels.size(); i += 4)
            pixels[i] = alpha;
    }
    stbi_write_png(path.toUtf8().constData(), width, height, channels, pixels.data(), width * channels);
}

MaterialUsage usage(unsigned joints = 0, bool colors = false, bool texCoords = false)
{
    MaterialUsage result;
    result.jointCount = joints;
    result.vertexColors = colors;
    result.texCoords = texCoords;
    return result;
}

QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

int messageCount(const Messages& messages, int code)
{
    int count = 0;
    for (const auto& entry : messages.entries())
        count += entry.code == code ? 1 : 0;
    return count;
}

} // namespace

class MaterialTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void writtenFileFollowsTheGrammar();
    void idsAreStableUniqueAndSafe();
    void definesFollowUsageAndMaterial();
    void lightDefineFollowsSceneLights();
    void cullingFollowsTheOption_data();
    void cullingFollowsTheOption();
    void blendingOnlyForTransparentMaterials();
    void samplersStayInsideTex();
    void numbersAreWrittenPlain();
    void fileIsReplacedWholeOrNotAtAll();
    void sharedModelsWriteValidMaterials();
    void samplesConvertWithTheirMaterials();

private:
    // Writes the file for the requests made through `writer` and parses it.
    bool writeAndParse(MaterialWriter& writer, Namespace& root);
    Namespace material(const Namespace& root, const std::string& id);
    QString passDefines(const Namespace& material);

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_source;
    QString m_model;
    EncoderOptions m_options;
};

void MaterialTest::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_source = m_root->filePath("src");
    m_model = m_root->filePath("out/model");
    QVERIFY(QDir().mkpath(m_source) && QDir().mkpath(m_model));
    m_options = EncoderOptions();
    m_options.inputPath = (m_source + "/scene.fbx").toStdString();
    m_options.outputPath = (m_model + "/model.gpb").toStdString();
}

bool MaterialTest::writeAndParse(MaterialWriter& writer, Namespace& root)
{
    if (!writer.write())
        return false;
    QFile file(m_model + "/model.material");
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QString error;
    root = Namespace();
    if (!parseProperties(file.readAll(), root, error)) {
        qWarning().noquote() << error;
        return false;
    }
    return true;
}

Namespace MaterialTest::material(const Namespace& root, const std::string& id)
{
    for (const Namespace& child : root.children) {
        if (child.name == "material" && child.id == QString::fromStdString(id))
            return child;
    }
    return Namespace();
}

QString MaterialTest::passDefines(const Namespace& material)
{
    const Namespace* technique = material.child("technique");
    const Namespace* pass = technique ? technique->child("pass") : nullptr;
    return pass ? pass->value("defines") : QString("<no pass>");
}

void MaterialTest::writtenFileFollowsTheGrammar()
{
    writePng(m_source + "/wood.png", 16, 16, 3);
    aiScene scene;
    aiMaterial* textured = makeMaterial("Wood");
    setTexture(textured, "wood.png");
    aiMaterial* shiny = makeMaterial("Shiny");
    aiColor3D white(1, 1, 1);
    shiny->AddProperty(&white, 1, AI_MATKEY_COLOR_SPECULAR);
    setFloat(shiny, 40.0f, AI_MATKEY_SHININESS);
    setMaterials(scene, {textured, shiny});

    Messages messages;
    MaterialWriter writer(scene, m_options, m_model.toStdString(), messages);
    writer.setLightCounts(1, 0, 0);
    const std::vector<std::string> ids = {writer.materialFor(0, usage(0, false, true)),
                                          writer.materialFor(1, usage(12, true, false)),
                                          writer.materialFor(1, usage())};
    Namespace root;
    QVERIFY(writeAndParse(writer, root));
    QCOMPARE(root.children.size(), 3);
    for (size_t i = 0; i < ids.size(); ++i) {
        const Namespace& m = root.children[static_cast<int>(i)];
        QCOMPARE(m.name, QString("material"));
        QCOMPARE(m.id, QString::fromStdString(ids[i]));
        const QString problem = checkParameters(m);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(m.value("u_worldViewProjectionMatrix"), QString("WORLD_VIEW_PROJECTION_MATRIX"));
        QCOMPARE(m.value("u_inverseTransposeWorldViewMatrix"), QString("INVERSE_TRANSPOSE_WORLD_VIEW_MATRIX"));
        QCOMPARE(m.children.count(), m.child("sampler") ? 3 : 2);
        const Namespace* technique = m.child("technique");
        QVERIFY(technique && technique->children.size() == 1);
        const Namespace& pass = technique->children.front();
        QCOMPARE(pass.name, QString("pass"));
        // Shaders are named relative to the model folder, into which the
        // application copies res/shaders.
        for (const QString& key : {QString("vertexShader"), QString("fragmentShader")}) {
            const QString path = pass.value(key);
            QVERIFY2(path.startsWith("shaders/"), qPrintable(path));
            QVERIFY2(QFile::exists(QStringLiteral(VELMORA_SOURCE_DIR "/res/") + path), qPrintable(path));
        }
        QVERIFY(m.child("renderState"));
    }
    QCOMPARE(root.children[1].value("u_matrixPalette"), QString("MATRIX_PALETTE"));
    QVERIFY(!root.children[2].has("u_matrixPalette"));
    QVERIFY(messages.entries().empty());
}

void MaterialTest::idsAreStableUniqueAndSafe()
{
    aiScene scene;
    setMaterials(scene, {makeMaterial("Body"), makeMaterial("Body"), makeMaterial("a b#c/d{e}=f:g"),
                         makeMaterial(""), makeMaterial("Mat\xC3\xA9riau_\xE6\x9D\x90\xE8\xB4\xA8"),
                         makeMaterial("bad\xFFutf8")});
    Messages messages;
    MaterialWriter writer(scene, m_options, m_model.toStdString(), messages);
    const std::string body = writer.materialFor(0, usage());
    QCOMPARE(QString::fromStdString(body), QString("Body"));
    QCOMPARE(writer.materialFor(0, usage()), body);
    const std::string skinned = writer.materialFor(0, usage(4));
    QVERIFY(skinned != body);
    QCOMPARE(writer.materialFor(0, usage(4)), skinned);
    QVERIFY(writer.materialFor(0, usage(5)) != skinned);
    const std::string secondBody = writer.materialFor(1, usage());
    QVERIFY(secondBody != body && secondBody != skinned);
    QCOMPARE(QString::fromStdString(writer.materialFor(2, usage())), QString("a_b_c_d_e__f_g"));
    QVERIFY(!writer.materialFor(3, usage()).empty());
    QCOMPARE(QString::fromStdString(writer.materialFor(4, usage())), QString::fromUtf8("Mat\xC3\xA9riau_\xE6\x9D\x90\xE8\xB4\xA8"));
    QCOMPARE(QString::fromStdString(writer.materialFor(5, usage())), QString("bad_utf8"));
    const std::string outOfRange = writer.materialFor(99, usage());
    QVERIFY(!outOfRange.empty());

    Namespace root;
    QVERIFY(writeAndParse(writer, root));
    QSet<QString> seen;
    for (const Namespace& m : root.children) {
        QVERIFY2(!seen.contains(m.id), qPrintable("duplicate id " + m.id));
        seen.insert(m.id);
    }
    QCOMPARE(seen.size(), 9);
    QVERIFY(material(root, outOfRange).child("technique"));
}

void MaterialTest::definesFollowUsageAndMaterial()
{
    writePng(m_source + "/skin.png", 8, 8, 3);
    aiScene scene;
    aiMaterial* textured = makeMaterial("Skin");
    setTexture(textured, "skin.png");
    aiMaterial* shiny = makeMaterial("Shiny");
    aiColor3D grey(0.5f, 0.5f, 0.5f);
    shiny->AddProperty(&grey, 1, AI_MATKEY_COLOR_SPECULAR);
    setFloat(shiny, 25.0f, AI_MATKEY_SHININESS);
    setFloat(shiny, 0.5f, AI_MATKEY_SHININESS_STRENGTH);
    aiMaterial* matte = makeMaterial("Matte");
    matte->AddProperty(&grey, 1, AI_MATKEY_COLOR_SPECULAR);
    setFloat(matte, 0.23f, AI_MATKEY_SHININESS);   // a glossiness, not an exponent
    setMaterials(scene, {textured, shiny, matte});

    Messages messages;
    MaterialWriter writer(scene, m_options, m_model.toStdString(), messages);
    const std::string skinnedTextured = writer.materialFor(0, usage(34, false, true));
    const std::string noCoordinates = writer.materialFor(0, usage(0, true, false));
    const std::string shinyId = writer.materialFor(1, usage());
    const std::string matteId = writer.materialFor(2, usage());
    Namespace root;
    QVERIFY(writeAndParse(writer, root));

    QCOMPARE(passDefines(material(root, skinnedTextured)), QString("SKINNING;SKINNING_JOINT_COUNT 34;DIFFUSE_TEXTURE"));
    // A texture on a mesh without coordinates cannot be drawn: no sampler, one warning.
    const Namespace plain = material(root, noCoordinates);
    QCOMPARE(passDefines(plain), QString("VERTEX_COLOR"));
    QVERIFY(!plain.child("sampler"));
    QCOMPARE(messageCount(messages, 2055), 1);
    // The texture carries the colour; the material's own colour is not multiplied in.
    QCOMPARE(material(root, skinnedTextured).value("u_diffuseColor"), QString("1,1,1,1"));
    QCOMPARE(plain.value("u_diffuseColor"), QString("0.8,0.1,0.1,1"));

    const Namespace shinyMaterial = material(root, shinyId);
    QCOMPARE(passDefines(shinyMaterial), QString("SPECULAR"));
    QCOMPARE(shinyMaterial.value("u_specularExponent"), QString("25"));
    QCOMPARE(shinyMaterial.value("u_specularColor"), QString("0.25,0.25,0.25"));
    // Specular without a scene light still needs the black "no light" default.
    QCOMPARE(shinyMaterial.value("u_lightColor"), QString("0,0,0"));
    const Namespace matteMaterial = material(root, matteId);
    QCOMPARE(passDefines(matteMaterial), QString());
    QVERIFY(!matteMaterial.has("u_specularExponent"));
    QVERIFY(!matteMaterial.has("u_lightColor"));

    // A skin too big for older cards is converted, with one warning per size.
    QCOMPARE(messageCount(messages, 2054), 0);
    const std::string big = writer.materialFor(1, usage(MaterialWriter::kJointWarningLimit + 40));
    writer.materialFor(2, usage(MaterialWriter::kJointWarningLimit + 40));
    QCOMPARE(messageCount(messages, 2054), 1);
    QVERIFY(writeAndParse(writer, root));
    QVERIFY(passDefines(material(root, big)).contains(
        QString("SKINNING_JOINT_COUNT %1").arg(MaterialWriter::kJointWarningLimit + 40)));
}

void MaterialTest::lightDefineFollowsSceneLights()
{
    struct Case {
        unsigned directional, point, spot;
        QString define;
    };
    const QVector<Case> cases = {{0, 0, 0, QString()},
                                 {2, 0, 0, "DIRECTIONAL_LIGHT"},
                                 {1, 3, 0, "POINT_LIGHT"},
                                 {1, 1, 1, "SPOT_LIGHT"},
                                 {0, 0, 2, "SPOT_LIGHT"}};
    for (const Case& c : cases) {
        aiScene scene;
        setMaterials(scene, {makeMaterial("M")});
        Messages messages;
        MaterialWriter writer(scene, m_options, m_model.toStdString(), messages);
        writer.setLightCounts(c.directional, c.point, c.spot);
        const std::string id = writer.materialFor(0, usage());
        Namespace root;
        QVERIFY(writeAndParse(writer, root));
        const Namespace m = material(root, id);
        const QString defines = m.child("technique")->child("pass")->value("defines");
        QCOMPARE(defines, c.define);
        // The default sits on the material itself, below whatever the viewer
        // binds on the material, technique or pass.
        QCOMPARE(m.value("u_lightColor"), c.define.isEmpty() ? QString() : QString("0,0,0"));
    }
}

void MaterialTest::cullingFollowsTheOption_data()
{
    QTest::addColumn<int>("culling");
    QTest::addColumn<bool>("twoSided");
    QTest::addColumn<QString>("cullFace");
    QTest::addColumn<QString>("frontFace");
    QTest::newRow("off") << int(BackfaceCulling::Off) << false << "false" << "";
    QTest::newRow("ccw") << int(BackfaceCulling::Ccw) << true << "true" << "CCW";
    QTest::newRow("cw") << int(BackfaceCulling::Cw) << false << "true" << "CW";
    QTest::newRow("material, one-sided") << int(BackfaceCulling::Material) << false << "true" << "CCW";
    QTest::newRow("material, two-sided") << int(BackfaceCulling::Material) << true << "false" << "";
}

void MaterialTest::cullingFollowsTheOption()
{
    QFETCH(int, culling);
    QFETCH(bool, twoSided);
    QFETCH(QString, cullFace);
    QFETCH(QString, frontFace);
    aiScene scene;
    aiMaterial* m = makeMaterial("M");
    const int flag = twoSided ? 1 : 0;
    m->AddProperty(&flag, 1, AI_MATKEY_TWOSIDED);
    setMaterials(scene, {m});
    m_options.culling = static_cast<BackfaceCulling>(culling);
    Messages messages;
    MaterialWriter writer(scene, m_options, m_model.toStdString(), messages);
    const std::string id = writer.materialFor(0, usage());
    Namespace root;
    QVERIFY(writeAndParse(writer, root));
    const Namespace* state = material(root, id).child("renderState");
    QVERIFY(state);
    QCOMPARE(state->value("cullFace"), cullFace);
    QCOMPARE(state->value("frontFace"), frontFace);
    QCOMPARE(state->value("depthTest"), QString("true"));
}

void MaterialTest::blendingOnlyForTransparentMaterials()
{
    writePng(m_source + "/leaves.png", 4, 4, 4, 0);
    writePng(m_source + "/solid.png", 4, 4, 4, 255);
    aiScene scene;
    aiMaterial* glass = makeMaterial("Glass");
    setFloat(glass, 0.5f, AI_MATKEY_OPACITY);
    aiMaterial* solid = makeMaterial("Solid");
    setFloat(solid, 1.0f, AI_MATKEY_OPACITY);
    aiMaterial* masked = makeMaterial("Masked");
    const aiString mask("mask.png");
    masked->AddProperty(&mask, AI_MATKEY_TEXTURE_OPACITY(0));
    aiMaterial* leaves = makeMaterial("Leaves");
    setTexture(leaves, "leaves.png");
    aiMaterial* solidTexture = makeMaterial("SolidTexture");
    setTexture(solidTexture, "solid.png");
    aiMaterial* invisible = makeMaterial("Invisible");
    setFloat(invisible, 0.0f, AI_MATKEY_OPACITY);
    setMaterials(scene, {glass, solid, masked, leaves, solidTexture, invisible});
    Messages messages;
    MaterialWriter writer(scene, m_options, m_model.toStdString(), messages);
    std::vector<std::string> ids;
    for (unsigned i = 0; i < 6; ++i)
        ids.push_back(writer.materialFor(i, usage(0, false, true)));
    Namespace root;
    QVERIFY(writeAndParse(writer, root));
    const bool expected[6] = {true, false, true, true, false, false};
    for (unsigned i = 0; i < 6; ++i) {
        const Namespace m = material(root, ids[i]);
        const Namespace* state = m.child("renderState");
        QVERIFY(state);
        QCOMPARE(state->value("blend") == "true", expected[i]);
        if (expected[i]) {
            QCOMPARE(state->value("blendSrc"), QString("SRC_ALPHA"));
            QCOMPARE(state->value("blendDst"), QString("ONE_MINUS_SRC_ALPHA"));
        }
    }
    QVERIFY(material(root, ids[0]).value("u_diffuseColor").endsWith(",0.5"));
    // A material with opacity 0 is drawn opaque, and the user is told.
    QVERIFY(material(root, ids[5]).value("u_diffuseColor").endsWith(",1"));
    QCOMPARE(messageCount(messages, 2056), 1);
}

void MaterialTest::samplersStayInsideTex()
{
    writePng(m_root->filePath("shared.png"), 30, 20, 3);
    writePng(m_source + "/pot.png", 64, 32, 3);
    aiScene scene;
    aiMaterial* climbing = makeMaterial("Climbing");
    setTexture(climbing, "../shared.png");
    aiMaterial* pot = makeMaterial("Pot");
    setTexture(pot, "pot.png");
    const int clamp = aiTextureMapMode_Clamp;
    pot->AddProperty(&clamp, 1, AI_MATKEY_MAPPINGMODE_U_DIFFUSE(0));
    aiMaterial* missing = makeMaterial("Missing");
    setTexture(missing, "D:\\work\\textures\\gone.png");
    setMaterials(scene, {climbing, pot, missing});
    const QStringList before = filesBelow(m_root->path());

    Messages messages;
    MaterialWriter writer(scene, m_options, m_model.toStdString(), messages);
    const std::string climbingId = writer.materialFor(0, usage(0, false, true));
    const std::string potId = writer.materialFor(1, usage(0, false, true));
    const std::string missingId = writer.materialFor(2, usage(0, false, true));
    Namespace root;
    QVERIFY(writeAndParse(writer, root));

    const Namespace* npot = material(root, climbingId).child("sampler");
    QVERIFY(npot);
    QCOMPARE(npot->id, QString("u_diffuseTexture"));
    QCOMPARE(npot->value("path"), QString("tex/shared.png"));
    // No mipmaps without power-of-two sizes, and no mipmap filter either.
    QCOMPARE(npot->value("mipmap"), QString("false"));
    QCOMPARE(npot->value("minFilter"), QString("LINEAR"));
    QCOMPARE(npot->value("wrapS"), QString("REPEAT"));

    const Namespace* powerOfTwo = material(root, potId).child("sampler");
    QVERIFY(powerOfTwo);
    QCOMPARE(powerOfTwo->value("mipmap"), QString("true"));
    QCOMPARE(powerOfTwo->value("minFilter"), QString("LINEAR_MIPMAP_LINEAR"));
    QCOMPARE(powerOfTwo->value("wrapS"), QString("CLAMP"));
    QCOMPARE(powerOfTwo->value("wrapT"), QString("REPEAT"));

    const Namespace missingMaterial = material(root, missingId);
    QVERIFY(!missingMaterial.child("sampler"));
    QVERIFY(!passDefines(missingMaterial).contains("DIFFUSE_TEXTURE"));
    QCOMPARE(messageCount(messages, 2050), 1);

    QStringList expected = before;
    expected << "out/model/model.material" << "out/model/tex/pot.png" << "out/model/tex/shared.png";
    expected.sort();
    QCOMPARE(filesBelow(m_root->path()), expected);
}

void MaterialTest::numbersAreWrittenPlain()
{
    QCOMPARE(QString::fromStdString(MaterialWriter::number(0.25f)), QString("0.25"));
    QCOMPARE(QString::fromStdString(MaterialWriter::number(1.0f)), QString("1"));
    QCOMPARE(QString::fromStdString(MaterialWriter::number(1e-7f)), QString("0"));
    QCOMPARE(QString::fromStdString(MaterialWriter::number(-0.0f)), QString("0"));
    QCOMPARE(QString::fromStdString(MaterialWriter::number(-2.5f)), QString("-2.5"));
    QCOMPARE(QString::fromStdString(MaterialWriter::number(std::nanf(""))), QString("0"));
    QCOMPARE(QString::fromStdString(MaterialWriter::number(std::numeric_limits<float>::infinity())), QString("0"));
    for (float value : {1e-7f, 3e-5f, 12345678.0f, 1e30f, -1e-3f, 0.1f})
        QVERIFY2(isEngineNumber(QString::fromStdString(MaterialWriter::number(value))), qPrintable(QString::number(value)));

    // Hostile colours in a source material still give readable numbers.
    aiScene scene;
    setMaterials(scene, {makeMaterial("Hot", aiColor3D(std::nanf(""), 1e30f, -4.0f))});
    Messages messages;
    MaterialWriter writer(scene, m_options, m_model.toStdString(), messages);
    const std::string id = writer.materialFor(0, usage());
    Namespace root;
    QVERIFY(writeAndParse(writer, root));
    QCOMPARE(material(root, id).value("u_diffuseColor"), QString("0,1,0,1"));
}

void MaterialTest::fileIsReplacedWholeOrNotAtAll()
{
    aiScene scene;
    setMaterials(scene, {makeMaterial("M")});
    {
        // The file is named after the bundle, as the engine looks it up.
        EncoderOptions options = m_options;
        options.outputPath = (m_model + "/robot.gpb").toStdString();
        Messages messages;
        MaterialWriter writer(scene, options, m_model.toStdString(), messages);
        writer.materialFor(0, usage());
        QVERIFY(writer.write());
        QVERIFY(QFile::exists(m_model + "/robot.material"));
    }
    {
        QFile old(m_model + "/model.material");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
        old.close();
        Messages messages;
        MaterialWriter writer(scene, m_options, m_model.toStdString(), messages);
        writer.materialFor(0, usage());
        Namespace root;
        QVERIFY(writeAndParse(writer, root));
        QCOMPARE(root.children.size(), 1);
        QCOMPARE(filesBelow(m_model), QStringList({"model.material", "robot.material"}));
    }
    {
        // A folder that does not exist: an error in the console grammar, no crash, nothing written.
        EncoderOptions options = m_options;
        const QString gone = m_root->filePath("missing/deeper");
        options.outputPath = (gone + "/model.gpb").toStdString();
        Messages messages;
        MaterialWriter writer(scene, options, gone.toStdString(), messages);
        writer.materialFor(0, usage());
        QVERIFY(!writer.write());
        QCOMPARE(messages.entries().size(), size_t(1));
        const QString line = QString::fromStdString(Messages::formatLine(messages.entries().front()));
        QVERIFY2(QRegularExpression(R"(^Error \(GP#1050\|[^|)]+\): [^\n]+$)").match(line).hasMatch(), qPrintable(line));
        QVERIFY(!QFileInfo::exists(gone));
    }
}

void MaterialTest::sharedModelsWriteValidMaterials()
{
    const QString shared = qEnvironmentVariable("VELMORA_SHARED_MODELS");
    if (shared.isEmpty() || !QFileInfo(shared).isDir())
        QSKIP("the shared third-party models are not available");

    struct Expectation {
        const char* file;
        int texturesWritten;    // files in tex/ afterwards
        int missingWarnings;    // GP#2050
    };
    const QVector<Expectation> expectations = {
        {"assimp/test/models/FBX/spider.fbx", 4, 0},
        {"assimp/test/models/FBX/embedded_ascii/box.FBX", 1, 0},
        {"assimp/test/models-nonbsd/FBX/2013_BINARY/kwxport_test_vcolors.fbx", 3, 0},
        {"assimp/test/models-nonbsd/FBX/2013_ASCII/jeep1.fbx", 1, 0},
        {"assimp/test/models/FBX/maxPbrMaterial_metalRough.fbx", 0, 1},
        {"ufbx/data/maya_material_chart_7700_ascii.fbx", 2, 0},
        {"ufbx/data/blender_293_barbarian_7400_binary.fbx", 2, 0},
        {"generated/b_three_materials.fbx", 1, 0},
        {"generated/b_three_materials_embedded.fbx", 1, 0},
        {"generated/a_skinned_two_takes.fbx", 0, 0},
        {"generated/c_lights_camera.fbx", 0, 0},
        {"generated/d_unicode_names.fbx", 0, 0},
    };
    for (const Expectation& expectation : expectations) {
        const QString input = shared + "/" + expectation.file;
        if (!QFileInfo::exists(input))
            QSKIP(qPrintable("missing " + input));
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(input.toStdString(), aiProcess_Triangulate);
        QVERIFY2(scene, expectation.file);

        QTemporaryDir out;
        const QString model = out.filePath("model");
        QVERIFY(QDir().mkpath(model));
        EncoderOptions options;
        options.inputPath = input.toStdString();
        options.outputPath = (model + "/model.gpb").toStdString();
        Messages messages;
        MaterialWriter writer(*scene, options, model.toStdString(), messages);
        unsigned lights[3] = {0, 0, 0};
        for (unsigned i = 0; i < scene->mNumLights; ++i) {
            const aiLightSourceType type = scene->mLights[i]->mType;
            lights[type == aiLightSource_DIRECTIONAL ? 0 : type == aiLightSource_POINT ? 1 : 2] += 1;
        }
        writer.setLightCounts(lights[0], lights[1], lights[2]);
        QSet<QString> ids;
        for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
            const aiMesh* mesh = scene->mMeshes[i];
            ids.insert(QString::fromStdString(writer.materialFor(
                mesh->mMaterialIndex, usage(mesh->mNumBones, mesh->HasVertexColors(0), mesh->HasTextureCoords(0)))));
        }
        QVERIFY2(writer.write(), expectation.file);
        QFile file(model + "/model.material");
        QVERIFY(file.open(QIODevice::ReadOnly));
        Namespace root;
        QString error;
        QVERIFY2(parseProperties(file.readAll(), root, error), qPrintable(QString(expectation.file) + ": " + error));
        QCOMPARE(root.children.size(), ids.size());
        for (const Namespace& m : root.children) {
            QVERIFY2(ids.contains(m.id), qPrintable(m.id));
            const QString problem = checkParameters(m);
            QVERIFY2(problem.isEmpty(), qPrintable(QString(expectation.file) + ": " + problem));
            if (const Namespace* sampler = m.child("sampler")) {
                const QString path = sampler->value("path");
                QVERIFY2(path.startsWith("tex/") && QFileInfo(model + "/" + path).isFile(), qPrintable(path));
                int width = 0, height = 0, channels = 0;
                QVERIFY2(stbi_info((model + "/" + path).toUtf8().constData(), &width, &height, &channels),
                         qPrintable(path));
            }
        }
        const QStringList written = filesBelow(out.path());
        int textures = 0;
        for (const QString& name : written) {
            QVERIFY2(name == "model/model.material" || name.startsWith("model/tex/"), qPrintable(name));
            QVERIFY2(!name.endsWith(".part"), qPrintable(name));
            textures += name.startsWith("model/tex/") ? 1 : 0;
        }
        QVERIFY2(textures == expectation.texturesWritten,
                 qPrintable(QString("%1: %2 textures").arg(expectation.file).arg(textures)));
        QVERIFY2(messageCount(messages, 2050) >= expectation.missingWarnings
                     && (expectation.missingWarnings > 0 || messageCount(messages, 2050) == 0),
                 qPrintable(QString("%1: %2 missing-texture warnings").arg(expectation.file)
                                .arg(messageCount(messages, 2050))));
        QVERIFY2(messageCount(messages, 2051) == 0, expectation.file);
    }
}

void MaterialTest::samplesConvertWithTheirMaterials()
{
    const QString encoder = qEnvironmentVariable("VELMORA_BUILD_DIR") + "/tools/linux/model-encoder";
    if (!QFileInfo(encoder).isExecutable())
        QSKIP("model-encoder is not built");
    struct Sample {
        const char* file;
        int materials;
        const char* everyPassDefines;   // a define each material's pass carries
        const char* texture;            // expected in tex/ (or empty)
    };
    const QVector<Sample> samples = {{"velmora-sample.fbx", 3, "SKINNING", "velmora-sample-skin.png"},
                                     {"velmora-stage.fbx", 3, "SPOT_LIGHT", ""}};
    for (const Sample& sample : samples) {
        const QString input = QStringLiteral(VELMORA_SOURCE_DIR "/samples/") + sample.file;
        QVERIFY2(QFileInfo::exists(input), qPrintable(input));
        QTemporaryDir out;
        const QString model = out.filePath("res/model");
        QVERIFY(QDir().mkpath(model));
        QProcess process;
        process.start(encoder, {"-group:take", "-cull:ccw", "-m", "-v", "2", "-options", input, model + "/model.gpb"});
        QVERIFY(process.waitForFinished(60000));
        const QString output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, qPrintable(output));
        QVERIFY2(!output.contains("Warning (GP#") && !output.contains("Error (GP#"), qPrintable(output));

        QFile file(model + "/model.material");
        QVERIFY(file.open(QIODevice::ReadOnly));
        Namespace root;
        QString error;
        QVERIFY2(parseProperties(file.readAll(), root, error), qPrintable(error));
        QCOMPARE(root.children.size(), sample.materials);
        bool textured = false;
        for (const Namespace& m : root.children) {
            QVERIFY2(passDefines(m).split(';').contains(sample.everyPassDefines), qPrintable(passDefines(m)));
            QCOMPARE(m.child("renderState")->value("cullFace"), QString("true"));
            if (const Namespace* sampler = m.child("sampler")) {
                textured = true;
                QCOMPARE(sampler->value("path"), QString("tex/") + sample.texture);
                QVERIFY(QFileInfo(model + "/" + sampler->value("path")).isFile());
            }
        }
        QCOMPARE(textured, *sample.texture != 0);
        for (const QString& name : filesBelow(out.path()))
            QVERIFY2(name.startsWith("res/model/"), qPrintable(name));
    }
}

QTEST_APPLESS_MAIN(MaterialTest)
#include "tst_material.moc"
