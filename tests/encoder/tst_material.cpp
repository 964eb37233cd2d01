// The material file, read back by the engine's own properties reader: ids,
// defines, culling, blending, samplers and numbers as the engine takes them.

#include "EncoderOptions.h"
#include "EncoderTestSupport.h"
#include "MaterialPlanner.h"
#include "MaterialWriter.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

using encodertest::countOf;
using encodertest::makeMaterial;
using encodertest::relativeFilesBelow;
using encodertest::setMaterials;
using engine::Properties;

namespace {

void writePng(const QString& path, int width, int height, int channels, unsigned char alpha = 255)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::vector<unsigned char> pixels(size_t(width * height * channels), 128);
    for (size_t i = 3; channels == 4 && i < pixels.size(); i += 4)
        pixels[i] = alpha;
    stbi_write_png(path.toUtf8().constData(), width, height, channels, pixels.data(), width * channels);
}

MaterialUsage usage(unsigned joints = 0, bool colors = false, bool texCoords = false)
{
    return MaterialUsage {joints, colors, texCoords, false};
}

} // namespace

class MaterialTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_source, m_model;
    EncoderOptions m_options;
    std::unique_ptr<Properties> m_file;

    // Writes the file for the requests made through `writer` and reads it with the engine's reader.
    bool writeAndRead(MaterialPlanner& writer)
    {
        m_file.reset();
        Messages messages;
        if (!MaterialWriter::write(writer.plan(), messages))
            return false;
        m_file.reset(Properties::create((m_model + "/model.material").toUtf8().constData()));
        return m_file != nullptr;
    }
    // Top-level namespaces: a file with a single one reads as that namespace.
    std::vector<Properties*> materials() const
    {
        if (QString(m_file->getNamespace()) == "material")
            return {m_file.get()};
        std::vector<Properties*> all;
        for (size_t i = 0; i < m_file->namespaceCount(); ++i)
            all.push_back(m_file->namespaceAt(i));
        return all;
    }
    Properties* material(const std::string& id) const
    {
        for (Properties* m : materials()) {
            if (m->getId() == id)
                return m;
        }
        return nullptr;
    }
    static Properties* pass(Properties* material)
    {
        Properties* technique = material ? material->getNamespace("technique", true, false) : nullptr;
        return technique ? technique->getNamespace("pass", true, false) : nullptr;
    }
    QString defines(const std::string& id) const
    {
        Properties* p = pass(material(id));
        return p ? p->getString("defines", "") : QString("<no pass>");
    }
    QString value(const std::string& id, const char* key, const char* inside = nullptr) const
    {
        Properties* m = material(id);
        if (m && inside)
            m = m->getNamespace(inside, true, false);
        return m ? m->getString(key, "") : QString("<missing>");
    }

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        m_source = m_root->filePath("src");
        m_model = m_root->filePath("out/model");
        QVERIFY(QDir().mkpath(m_source) && QDir().mkpath(m_model));
        m_options = EncoderOptions();
        m_options.inputPath = (m_source + "/scene.fbx").toStdString();
        m_options.outputPath = (m_model + "/model.gpb").toStdString();
    }

    void idsAreStableUniqueAndSafe()
    {
        aiScene scene;
        setMaterials(scene,
                     {makeMaterial("Body"), makeMaterial("Body"), makeMaterial("a b#c/d{e}=f:g"), makeMaterial(""),
                      makeMaterial("Mat\xC3\xA9riau_\xE6\x9D\x90"), makeMaterial("bad\xFFutf8")});
        Messages messages;
        MaterialPlanner writer(scene, m_options, m_model.toStdString(), messages);
        const std::string body = writer.materialFor(0, usage()), skinned = writer.materialFor(0, usage(4));
        QCOMPARE(body, std::string("Body"));
        QVERIFY(writer.materialFor(0, usage()) == body && writer.materialFor(0, usage(4)) == skinned);
        QVERIFY(skinned != body && writer.materialFor(0, usage(5)) != skinned);
        const std::string secondBody = writer.materialFor(1, usage());
        QVERIFY(secondBody != body && secondBody != skinned);
        QCOMPARE(writer.materialFor(2, usage()), std::string("a_b_c_d_e__f_g"));
        QVERIFY(!writer.materialFor(3, usage()).empty());
        QCOMPARE(writer.materialFor(4, usage()), std::string("Mat\xC3\xA9riau_\xE6\x9D\x90"));
        QCOMPARE(writer.materialFor(5, usage()), std::string("bad_utf8"));
        const std::string outOfRange = writer.materialFor(99, usage());
        QVERIFY(writeAndRead(writer));
        std::set<std::string> seen;
        for (Properties* m : materials())
            QVERIFY2(seen.insert(m->getId()).second, m->getId());
        QCOMPARE(seen.size(), size_t(9));
        QVERIFY(pass(material(outOfRange)) && pass(material("a_b_c_d_e__f_g")));
    }

    void definesFollowUsageMaterialAndLights()
    {
        writePng(m_source + "/skin.png", 8, 8, 3);
        aiScene scene;
        setMaterials(
            scene,
            {makeMaterial("Skin", {}, "skin.png"),
             makeMaterial("Shiny", {{"specular", 0.5f}, {"shininess", 25}, {"strength", 0.5f}}),
             makeMaterial("Matte", {{"specular", 0.5f}, {"shininess", 0.23f}})}); // a glossiness, not an exponent
        Messages messages;
        MaterialPlanner writer(scene, m_options, m_model.toStdString(), messages);
        const std::string skinnedTextured = writer.materialFor(0, usage(34, false, true));
        const std::string noCoordinates = writer.materialFor(0, usage(0, true, false));
        const std::string shiny = writer.materialFor(1, usage()), matte = writer.materialFor(2, usage());
        const unsigned bigSkin = MaterialPlanner::kJointWarningLimit + 40;
        const std::string big = writer.materialFor(1, usage(bigSkin));
        writer.materialFor(2, usage(bigSkin));
        QVERIFY(writeAndRead(writer));

        QCOMPARE(defines(skinnedTextured), QString("SKINNING;SKINNING_JOINT_COUNT 34;DIFFUSE_TEXTURE"));
        // The texture carries the colour; the material's own colour is not multiplied in.
        QCOMPARE(value(skinnedTextured, "u_diffuseColor"), QString("1,1,1,1"));
        // A texture on a mesh without coordinates cannot be drawn: no sampler, one warning.
        QCOMPARE(defines(noCoordinates), QString("VERTEX_COLOR"));
        QCOMPARE(value(noCoordinates, "path", "sampler"), QString("<missing>"));
        QCOMPARE(countOf(messages, 2055), 1);
        QCOMPARE(value(noCoordinates, "u_diffuseColor"), QString("0.8,0.1,0.1,1"));
        QCOMPARE(defines(shiny), QString("SPECULAR"));
        QCOMPARE(value(shiny, "u_specularExponent"), QString("25"));
        QCOMPARE(value(shiny, "u_specularColor"), QString("0.25,0.25,0.25"));
        // Specular without a scene light still needs the black "no light" default.
        QCOMPARE(value(shiny, "u_lightColor"), QString("0,0,0"));
        QCOMPARE(defines(matte), QString());
        QVERIFY(!material(matte)->exists("u_specularExponent") && !material(matte)->exists("u_lightColor"));
        // A skin too big for older cards is converted, with one warning per size.
        QCOMPARE(countOf(messages, 2054), 1);
        QVERIFY(defines(big).contains(QString("SKINNING_JOINT_COUNT %1").arg(bigSkin)));

        // The richest light kind of the scene decides the define.
        const struct {
            unsigned directional, point, spot;
            const char* define;
        } cases[] = {{2, 0, 0, "DIRECTIONAL_LIGHT"}, {1, 3, 0, "POINT_LIGHT"}, {1, 1, 1, "SPOT_LIGHT"}};
        for (const auto& c : cases) {
            MaterialPlanner lit(scene, m_options, m_model.toStdString(), messages);
            lit.setLightCounts(c.directional, c.point, c.spot);
            const std::string id = lit.materialFor(2, usage());
            QVERIFY(writeAndRead(lit));
            QCOMPARE(defines(id), QString(c.define));
            QCOMPARE(value(id, "u_lightColor"), QString("0,0,0"));
        }
    }

    void renderStateFollowsOptionAndOpacity_data()
    {
        QTest::addColumn<int>("culling");
        QTest::addColumn<bool>("twoSided");
        QTest::addColumn<QString>("cullFace");
        QTest::addColumn<QString>("frontFace");
        QTest::newRow("off") << int(BackfaceCulling::Off) << false << "false"
                             << "";
        QTest::newRow("ccw") << int(BackfaceCulling::Ccw) << true << "true"
                             << "CCW";
        QTest::newRow("cw") << int(BackfaceCulling::Cw) << false << "true"
                            << "CW";
        QTest::newRow("material, one-sided") << int(BackfaceCulling::Material) << false << "true"
                                             << "CCW";
        QTest::newRow("material, two-sided") << int(BackfaceCulling::Material) << true << "false"
                                             << "";
    }

    void renderStateFollowsOptionAndOpacity()
    {
        QFETCH(int, culling);
        QFETCH(bool, twoSided);
        QFETCH(QString, cullFace);
        QFETCH(QString, frontFace);
        writePng(m_source + "/leaves.png", 4, 4, 4, 0);
        writePng(m_source + "/solid.png", 4, 4, 4, 255);
        aiScene scene;
        aiMaterial* masked = makeMaterial("Masked", {{"twoSided", twoSided}});
        const aiString mask("mask.png");
        masked->AddProperty(&mask, AI_MATKEY_TEXTURE_OPACITY(0));
        setMaterials(scene,
                     {makeMaterial("Glass", {{"opacity", 0.5f}, {"twoSided", twoSided}}),
                      makeMaterial("Solid", {{"opacity", 1}, {"twoSided", twoSided}}), masked,
                      makeMaterial("Leaves", {{"twoSided", twoSided}}, "leaves.png"),
                      makeMaterial("SolidTexture", {{"twoSided", twoSided}}, "solid.png"),
                      makeMaterial("Invisible", {{"opacity", 0}, {"twoSided", twoSided}})});
        m_options.culling = BackfaceCulling(culling);
        Messages messages;
        MaterialPlanner writer(scene, m_options, m_model.toStdString(), messages);
        std::vector<std::string> ids;
        for (unsigned i = 0; i < 6; ++i)
            ids.push_back(writer.materialFor(i, usage(0, false, true)));
        QVERIFY(writeAndRead(writer));
        const bool blended[6] = {true, false, true, true, false, false};
        for (unsigned i = 0; i < 6; ++i) {
            QCOMPARE(value(ids[i], "cullFace", "renderState"), cullFace);
            QCOMPARE(value(ids[i], "frontFace", "renderState"), frontFace);
            QCOMPARE(material(ids[i])->getNamespace("renderState", true, false)->getBool("blend"), blended[i]);
            QCOMPARE(value(ids[i], "blendDst", "renderState"), QString(blended[i] ? "ONE_MINUS_SRC_ALPHA" : ""));
        }
        QVERIFY(value(ids[0], "u_diffuseColor").endsWith(",0.5"));
        // A material with opacity 0 is drawn opaque, and the user is told.
        QVERIFY(value(ids[5], "u_diffuseColor").endsWith(",1"));
        QCOMPARE(countOf(messages, 2056), 1);
    }

    void samplersFollowTheImage()
    {
        writePng(m_source + "/npot.png", 30, 20, 3);
        writePng(m_source + "/pot.png", 64, 32, 3);
        aiScene scene;
        aiMaterial* pot = makeMaterial("Pot", {}, "pot.png");
        const int clamp = aiTextureMapMode_Clamp;
        pot->AddProperty(&clamp, 1, AI_MATKEY_MAPPINGMODE_U_DIFFUSE(0));
        setMaterials(scene,
                     {makeMaterial("Npot", {}, "npot.png"), pot, makeMaterial("Missing", {}, "D:\\work\\gone.png")});
        Messages messages;
        MaterialPlanner writer(scene, m_options, m_model.toStdString(), messages);
        const std::string npot = writer.materialFor(0, usage(0, false, true)),
                          potId = writer.materialFor(1, usage(0, false, true));
        const std::string missing = writer.materialFor(2, usage(0, false, true));
        QVERIFY(writeAndRead(writer));
        // Without power-of-two sizes mipmaps would sample black: none, and no mipmap filter either.
        QCOMPARE(value(npot, "mipmap", "sampler") + value(npot, "minFilter", "sampler")
                     + value(npot, "wrapS", "sampler"),
                 QString("falseLINEARREPEAT"));
        QCOMPARE(value(potId, "mipmap", "sampler") + value(potId, "minFilter", "sampler"),
                 QString("trueLINEAR_MIPMAP_LINEAR"));
        QCOMPARE(value(potId, "wrapS", "sampler") + value(potId, "wrapT", "sampler"), QString("CLAMPREPEAT"));
        QCOMPARE(value(missing, "path", "sampler"), QString("<missing>"));
        QVERIFY(!defines(missing).contains("DIFFUSE_TEXTURE"));
        QCOMPARE(countOf(messages, 2050), 1);
    }

    void numbersAreWrittenPlain()
    {
        QCOMPARE(MaterialWriter::number(0.25f), std::string("0.25"));
        QCOMPARE(MaterialWriter::number(-0.0f), std::string("0"));
        QCOMPARE(MaterialWriter::number(-2.5f), std::string("-2.5"));
        // "1e-05" would read as an auto-binding name.
        for (float value : {1e-7f, 3e-5f, 12345678.0f, 1e30f, -1e-3f, 0.1f})
            QVERIFY2(Properties::isNumber(MaterialWriter::number(value).c_str()), qPrintable(QString::number(value)));
        // Hostile colours in a source material still give readable numbers.
        aiScene scene;
        setMaterials(scene, {makeMaterial("Hot", {}, nullptr, aiColor3D(std::nanf(""), 1e30f, -4.0f))});
        Messages messages;
        MaterialPlanner writer(scene, m_options, m_model.toStdString(), messages);
        const std::string id = writer.materialFor(0, usage());
        QVERIFY(writeAndRead(writer));
        QCOMPARE(value(id, "u_diffuseColor"), QString("0,1,0,1"));
    }

    void fileIsReplacedWholeOrNotAtAll()
    {
        aiScene scene;
        setMaterials(scene, {makeMaterial("M")});
        QFile old(m_model + "/model.material");
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(100000, 'x')) == 100000);
        old.close();
        // The file is named after the bundle, as the engine looks it up; a folder that does not exist
        // gives one error line and nothing written.
        const QString gone = m_root->filePath("missing/deeper");
        for (const QString& bundle : {m_model + "/robot.gpb", gone + "/model.gpb", m_model + "/model.gpb"}) {
            EncoderOptions options = m_options;
            options.outputPath = bundle.toStdString();
            Messages messages;
            MaterialPlanner writer(scene, options, QFileInfo(bundle).path().toStdString(), messages);
            writer.materialFor(0, usage());
            if (bundle.startsWith(gone)) {
                QVERIFY(!MaterialWriter::write(writer.plan(), messages) && messages.entries().size() == 1);
                const QString line = QString::fromStdString(Messages::formatLine(messages.entries().front()));
                QVERIFY2(QRegularExpression(R"(^Error \(GP#1050\|[^|)]+\): [^\n]+$)").match(line).hasMatch(),
                         qPrintable(line));
            } else {
                QVERIFY(bundle.endsWith("robot.gpb") ? MaterialWriter::write(writer.plan(), messages)
                                                     : writeAndRead(writer));
            }
        }
        QCOMPARE(materials().size(), size_t(1));
        QCOMPARE(relativeFilesBelow(m_root->path()),
                 QStringList({"out/model/model.material", "out/model/robot.material"}));
    }
};

QTEST_APPLESS_MAIN(MaterialTest)
#include "tst_material.moc"
