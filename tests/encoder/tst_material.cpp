// The material file, read back by the engine's own properties reader: ids,
// defines, culling, blending, samplers and numbers as the engine takes them.

#include "EncoderOptions.h"
#include "EncoderTestSupport.h"
#include "MaterialPlanner.h"
#include "MaterialWriter.h"
#include "Properties.h"
#include "SourceProbe.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

using encodertest::countOf;
using encodertest::makeMaterial;
using encodertest::setArray;
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

// Binary FBX property records: a string ('S', length, bytes), a material's name, a "DiffuseFactor" P record.
QByteArray fbxString(const QByteArray& text)
{
    const quint32 length = quint32(text.size());
    return "S" + QByteArray(reinterpret_cast<const char*>(&length), 4) + text;
}
QByteArray fbxMaterialName(const QByteArray& name) { return fbxString(name + QByteArray("\0\1Material", 10)); }
template <typename Number>
QByteArray fbxDiffuseFactor(char type, Number value)
{
    return fbxString("DiffuseFactor") + fbxString("Number") + fbxString("") + fbxString("A") + type
        + QByteArray(reinterpret_cast<const char*>(&value), sizeof(value));
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
    std::unique_ptr<aiScene> m_scene;
    Messages m_messages;

    void setMaterials(const std::vector<aiMaterial*>& materials)
    {
        setArray(m_scene->mMaterials, m_scene->mNumMaterials, materials);
    }
    MaterialPlanner planner() { return MaterialPlanner(*m_scene, m_options, m_model.toStdString(), m_messages); }
    // A value of material `id` as the engine finds it ("model.material#id"), inside its block `inside`
    // ("pass", "sampler", "renderState") when given; "<missing>" without such a material or block.
    QString value(const std::string& id, const char* key, const char* inside = nullptr) const
    {
        std::unique_ptr<Properties> material(
            Properties::create(qPrintable(m_model + "/model.material#" + QString::fromStdString(id))));
        const Properties* block = material && inside ? material->getNamespace(inside, true) : material.get();
        return block ? block->getString(key, "") : "<missing>";
    }
    QString defines(const std::string& id) const { return value(id, "defines", "pass"); }

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
        m_messages = Messages();
        m_scene = std::make_unique<aiScene>();
    }

    void definesFollowUsageAndMaterial()
    {
        writePng(m_source + "/skin.png", 8, 8, 3);
        setMaterials(
            {makeMaterial("Skin", {}, "skin.png"),
             makeMaterial("Shiny", {{"specular", 0.5f}, {"shininess", 25}, {"strength", 0.5f}}),
             makeMaterial("Matte", {{"specular", 0.5f}, {"shininess", 0.23f}}), // a glossiness, not an exponent
             makeMaterial("Lambert", {{"specular", 0.5f}, {"shininess", 25}, {"shading", aiShadingMode_Gouraud}})});
        MaterialPlanner writer = planner();
        const std::string skinnedTextured = writer.materialFor(0, usage(34, false, true));
        const std::string noCoordinates = writer.materialFor(0, usage(0, true, false));
        const std::string shiny = writer.materialFor(1, usage()), matte = writer.materialFor(2, usage());
        const std::string lambert = writer.materialFor(3, usage());
        const unsigned bigSkin = MaterialPlanner::kJointWarningLimit + 40;
        const std::string big = writer.materialFor(1, usage(bigSkin));
        writer.materialFor(2, usage(bigSkin));
        QVERIFY(MaterialWriter::write(writer.plan(), m_messages));

        QCOMPARE(defines(skinnedTextured), QString("SKINNING;SKINNING_JOINT_COUNT 34;DIFFUSE_TEXTURE;LINEAR_LIGHTING"));
        // The texture carries the colour; the material's own colour is not multiplied in.
        QCOMPARE(value(skinnedTextured, "u_diffuseColor"), QString("1,1,1,1"));
        // A texture on a mesh without coordinates cannot be drawn: no sampler, one warning.
        QCOMPARE(defines(noCoordinates), QString("VERTEX_COLOR;LINEAR_LIGHTING"));
        QCOMPARE(value(noCoordinates, "path", "sampler"), QString("<missing>"));
        QCOMPARE(countOf(m_messages, 2055), 1);
        QCOMPARE(value(noCoordinates, "u_diffuseColor"), QString("0.8,0.1,0.1,1"));
        QCOMPARE(defines(shiny), QString("SPECULAR;LINEAR_LIGHTING"));
        QCOMPARE(value(shiny, "u_specularExponent") + " " + value(shiny, "u_specularColor"),
                 QString("25 0.25,0.25,0.25"));
        QCOMPARE(defines(matte) + value(matte, "u_specularExponent"), QString("LINEAR_LIGHTING"));
        // Lambert shading has no highlight, whatever specular colour sits beside it.
        QCOMPARE(defines(lambert) + value(lambert, "u_specularExponent"), QString("LINEAR_LIGHTING"));
        // A skin too big for older cards is converted, with one warning per size.
        QCOMPARE(countOf(m_messages, 2054), 1);
        QVERIFY(defines(big).contains(QString("SKINNING_JOINT_COUNT %1").arg(bigSkin)));
    }

    void renderStateFollowsOptionAndOpacity_data()
    {
        QTest::addColumn<int>("culling");
        QTest::addColumn<bool>("twoSided");
        QTest::addColumn<QString>("faces"); // cullFace, frontFace
        QTest::newRow("off") << int(BackfaceCulling::Off) << false << "false ";
        QTest::newRow("ccw") << int(BackfaceCulling::Ccw) << true << "true CCW";
        QTest::newRow("cw") << int(BackfaceCulling::Cw) << false << "true CW";
        QTest::newRow("material, one-sided") << int(BackfaceCulling::Material) << false << "true CCW";
        QTest::newRow("material, two-sided") << int(BackfaceCulling::Material) << true << "false ";
    }

    void renderStateFollowsOptionAndOpacity()
    {
        QFETCH(int, culling);
        QFETCH(bool, twoSided);
        QFETCH(QString, faces);
        writePng(m_source + "/leaves.png", 4, 4, 4, 0);
        writePng(m_source + "/solid.png", 4, 4, 4, 255);
        aiMaterial* masked = makeMaterial("Masked", {{"twoSided", twoSided}});
        const aiString mask("mask.png");
        masked->AddProperty(&mask, AI_MATKEY_TEXTURE_OPACITY(0));
        setMaterials({makeMaterial("Glass", {{"opacity", 0.5f}, {"twoSided", twoSided}}),
                      makeMaterial("Solid", {{"opacity", 1}, {"twoSided", twoSided}}), masked,
                      makeMaterial("Leaves", {{"twoSided", twoSided}}, "leaves.png"),
                      makeMaterial("SolidTexture", {{"twoSided", twoSided}}, "solid.png"),
                      makeMaterial("Invisible", {{"opacity", 0}, {"twoSided", twoSided}})});
        m_options.culling = BackfaceCulling(culling);
        MaterialPlanner writer = planner();
        std::vector<std::string> ids;
        for (unsigned i = 0; i < 6; ++i)
            ids.push_back(writer.materialFor(i, MaterialUsage {0, false, true, false, {1, 0, 0}}));
        QVERIFY(MaterialWriter::write(writer.plan(), m_messages));
        const bool blended[6] = {true, false, true, true, false, false};
        for (unsigned i = 0; i < 6; ++i) {
            // Blended materials need what lies behind them, which a light pass over the picture has not drawn.
            QCOMPARE(defines(ids[i]).contains("DEFERRED_LIGHTING"), !blended[i]);
            QCOMPARE(value(ids[i], "cullFace", "renderState") + " " + value(ids[i], "frontFace", "renderState"), faces);
            QCOMPARE(value(ids[i], "blend", "renderState") == "true", blended[i]);
            QCOMPARE(value(ids[i], "blendDst", "renderState"), QString(blended[i] ? "ONE_MINUS_SRC_ALPHA" : ""));
        }
        QVERIFY(value(ids[0], "u_diffuseColor").endsWith(",0.5"));
        // A material with opacity 0 is drawn opaque, and the user is told.
        QVERIFY(value(ids[5], "u_diffuseColor").endsWith(",1"));
        QCOMPARE(countOf(m_messages, 2056), 1);
    }

    void samplersFollowTheImage()
    {
        writePng(m_source + "/npot.png", 30, 20, 3);
        writePng(m_source + "/pot.png", 64, 32, 3);
        aiMaterial* pot = makeMaterial("Pot", {}, "pot.png");
        const int clamp = aiTextureMapMode_Clamp;
        pot->AddProperty(&clamp, 1, AI_MATKEY_MAPPINGMODE_U_DIFFUSE(0));
        setMaterials({makeMaterial("Npot", {}, "npot.png"), pot, makeMaterial("Missing", {}, "D:\\work\\gone.png")});
        MaterialPlanner writer = planner();
        const std::string npot = writer.materialFor(0, usage(0, false, true));
        const std::string potId = writer.materialFor(1, usage(0, false, true));
        const std::string missing = writer.materialFor(2, usage(0, false, true));
        QVERIFY(MaterialWriter::write(writer.plan(), m_messages));
        const auto sampler = [this](const std::string& id) {
            QStringList values;
            for (const char* key : {"mipmap", "minFilter", "wrapS", "wrapT"})
                values << value(id, key, "sampler");
            return values.join(' ');
        };
        // Without power-of-two sizes mipmaps would sample black: none, and no mipmap filter either.
        QCOMPARE(sampler(npot), QString("false LINEAR REPEAT REPEAT"));
        QCOMPARE(sampler(potId), QString("true LINEAR_MIPMAP_LINEAR CLAMP REPEAT"));
        QCOMPARE(value(missing, "path", "sampler"), QString("<missing>"));
        QVERIFY(!defines(missing).contains("DIFFUSE_TEXTURE"));
        QCOMPARE(countOf(m_messages, 2050), 1);
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
        setMaterials({makeMaterial("Hot", {}, nullptr, aiColor3D(std::nanf(""), 1e30f, -4.0f))});
        MaterialPlanner writer = planner();
        const std::string id = writer.materialFor(0, usage());
        QVERIFY(MaterialWriter::write(writer.plan(), m_messages));
        QCOMPARE(value(id, "u_diffuseColor"), QString("0,1,0,1"));
    }

    void diffuseFactorsAreReadFromTheFile_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("factors");
        const QByteArray ascii
            = "Material: 1, \"Material::Wood\", \"\" {\n P: \"DiffuseFactor\", \"Number\", \"\", \"A\",0.5\n";
        const QByteArray binary = fbxMaterialName("Wood") + fbxDiffuseFactor('D', 0.5);
        QTest::newRow("ASCII") << false << ascii << "Wood=0.5";
        QTest::newRow("ASCII template before any material")
            << false << "P: \"DiffuseFactor\", \"Number\", \"\", \"A\",0.25\n" + ascii << "Wood=0.5";
        QTest::newRow("binary double") << true << binary << "Wood=0.5";
        QTest::newRow("binary float, two materials")
            << true << binary + fbxMaterialName("Iron") + fbxDiffuseFactor('F', 0.25f) << "Iron=0.25 Wood=0.5";
        QTest::newRow("binary cut short") << true << binary.left(binary.size() - 4) << "";
        QTest::newRow("binary string lengths past the end")
            << true << fbxMaterialName("Wood") + fbxString("DiffuseFactor") + "S\xff\xff\xff\x7f"
            << "";
    }

    void diffuseFactorsAreReadFromTheFile()
    {
        QFETCH(bool, binary);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, factors);
        QFile file(m_source + "/factors.fbx");
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        QStringList found;
        for (const auto& [name, factor] : SourceProbe::diffuseFactors(file.fileName().toStdString(), binary))
            found << QString::fromStdString(name) + "=" + QString::number(double(factor));
        QCOMPARE(found.join(' '), factors);
    }

    void fileIsReplacedWholeOrNotAtAll()
    {
        setMaterials({makeMaterial("M")});
        QFile old(m_model + "/model.material");
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(100000, 'x')) == 100000);
        old.close();
        // The file is named after the bundle, as the engine looks it up; a folder that does not exist
        // gives one error line and nothing written.
        const QString gone = m_root->filePath("missing/deeper");
        for (const QString& bundle : {m_model + "/robot.gpb", gone + "/model.gpb", m_model + "/model.gpb"}) {
            m_options.outputPath = bundle.toStdString();
            m_messages = Messages();
            MaterialPlanner writer(*m_scene, m_options, QFileInfo(bundle).path().toStdString(), m_messages);
            writer.materialFor(0, usage());
            const bool written = MaterialWriter::write(writer.plan(), m_messages);
            QCOMPARE(written, !bundle.startsWith(gone));
            const QString line
                = written ? "" : QString::fromStdString(Messages::formatLine(m_messages.entries().at(0)));
            QVERIFY2(written
                         || (m_messages.entries().size() == 1
                             && line.contains(QRegularExpression(R"(^Error \(GP#1050\|[^|)]+\): [^\n]+$)"))),
                     qPrintable(line));
        }
        std::unique_ptr<Properties> file(Properties::create(qPrintable(m_model + "/model.material")));
        QVERIFY(file && QString(file->getNamespace()) == "material"); // one material, nothing of the old bytes
        QCOMPARE(encodertest::filesBelow(m_root->path()),
                 QStringList({"out/model/model.material", "out/model/robot.material"}));
    }
};

QTEST_APPLESS_MAIN(MaterialTest)
#include "tst_material.moc"
