// Compiles and runs the shaders in res/shaders the way the engine builds them
// (defines in front of the text, no #version line), for every combination of
// defines the material writer emits, and checks what they draw.

#include "EncoderOptions.h"
#include "MaterialWriter.h"
#include "Messages.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <QtTest>

#include <QFile>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QTemporaryDir>

namespace {

QString shaderFolder()
{
    return QStringLiteral(VELMORA_SOURCE_DIR "/res/shaders/");
}

QByteArray readShader(const QString& name)
{
    QFile file(shaderFolder() + name);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// The define block as the engine writes it: "#define " before the first name,
// every ";" turned into a new "#define " line, a line break at the end; then
// a line break of its own before the source.
QByteArray withDefines(const QByteArray& source, const QStringList& defines)
{
    QByteArray block;
    if (!defines.isEmpty())
        block = "#define " + defines.join(QLatin1Char(';')).toUtf8().replace(";", "\n#define ") + "\n";
    return block + "\n" + source + "\n";
}

const char* const kPickingFragment = "#ifdef OPENGL_ES\nprecision highp float;\n#endif\n"
                                     "uniform vec4 u_diffuseColor;\n"
                                     "void main()\n{\n    gl_FragColor = u_diffuseColor;\n}\n";

struct Variant {
    QStringList defines;
    QString label;
};

QVector<Variant> modelVariants()
{
    QVector<Variant> variants;
    const QStringList lights = {QString(), "DIRECTIONAL_LIGHT", "POINT_LIGHT", "SPOT_LIGHT"};
    for (int mask = 0; mask < 16; ++mask) {
        for (const QString& light : lights) {
            QStringList defines;
            if (mask & 1)
                defines << "SKINNING" << "SKINNING_JOINT_COUNT 34";
            if (mask & 2)
                defines << "DIFFUSE_TEXTURE";
            if (mask & 4)
                defines << "VERTEX_COLOR";
            if (!light.isEmpty())
                defines << light;
            if (mask & 8)
                defines << "SPECULAR";
            variants.push_back({defines, defines.isEmpty() ? QString("plain") : defines.join(';')});
        }
    }
    return variants;
}

} // namespace

class ShaderTest : public QObject, protected QOpenGLFunctions {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyMaterialVariantCompilesAndLinks();
    void variantsDeclareWhatTheirMaterialsBind();
    void versionedGlsl120AcceptsTheSameText();
    void pickingFragmentLinksWithModelVertexStage();
    void gridMaterialShadersDrawPositionAndColour();
    void modelWithoutLightsIsShadedNotBlack();
    void boundSceneLightReplacesCameraLight();
    void paletteRowsMoveSkinnedVertices();
    void writtenMaterialsMatchTheirPrograms();

private:
    bool build(QOpenGLShaderProgram& program, const QByteArray& vertex, const QByteArray& fragment);
    QImage drawQuad(QOpenGLShaderProgram& program, const QVector<float>& positions, const QVector<float>& normals,
                    const std::function<void(QOpenGLShaderProgram&)>& setUniforms,
                    const QVector<float>& blendIndices = {}, const QVector<float>& blendWeights = {});

    QOpenGLContext* m_context = nullptr;
    QOffscreenSurface* m_surface = nullptr;
};

void ShaderTest::initTestCase()
{
    m_surface = new QOffscreenSurface;
    m_surface->create();
    m_context = new QOpenGLContext;
    QVERIFY2(m_context->create(), "no OpenGL context (run under Xvfb with Mesa)");
    QVERIFY(m_context->makeCurrent(m_surface));
    initializeOpenGLFunctions();
    const QSurfaceFormat format = m_context->format();
    QVERIFY2(format.majorVersion() > 2 || (format.majorVersion() == 2 && format.minorVersion() >= 1),
             "OpenGL 2.1 or newer needed");
}

void ShaderTest::cleanupTestCase()
{
    if (m_context)
        m_context->doneCurrent();
    delete m_context;
    delete m_surface;
}

bool ShaderTest::build(QOpenGLShaderProgram& program, const QByteArray& vertex, const QByteArray& fragment)
{
    if (!program.addShaderFromSourceCode(QOpenGLShader::Vertex, vertex)) {
        qWarning().noquote() << program.log();
        return false;
    }
    if (!program.addShaderFromSourceCode(QOpenGLShader::Fragment, fragment)) {
        qWarning().noquote() << program.log();
        return false;
    }
    if (!program.link()) {
        qWarning().noquote() << program.log();
        return false;
    }
    return true;
}

void ShaderTest::everyMaterialVariantCompilesAndLinks()
{
    const QByteArray vertex = readShader("model.vert");
    const QByteArray fragment = readShader("model.frag");
    QVERIFY(!vertex.isEmpty() && !fragment.isEmpty());
    for (const Variant& variant : modelVariants()) {
        QOpenGLShaderProgram program;
        QVERIFY2(build(program, withDefines(vertex, variant.defines), withDefines(fragment, variant.defines)),
                 qPrintable(variant.label));
    }
}

void ShaderTest::variantsDeclareWhatTheirMaterialsBind()
{
    const QByteArray vertex = readShader("model.vert");
    const QByteArray fragment = readShader("model.frag");
    for (const Variant& variant : modelVariants()) {
        QOpenGLShaderProgram program;
        QVERIFY(build(program, withDefines(vertex, variant.defines), withDefines(fragment, variant.defines)));
        const auto has = [&](const char* name) { return program.uniformLocation(name) >= 0; };
        const auto hasAttribute = [&](const char* name) { return program.attributeLocation(name) >= 0; };
        const QString label = variant.label;
        QVERIFY2(hasAttribute("a_position") && hasAttribute("a_normal"), qPrintable(label));
        QVERIFY2(has("u_worldViewProjectionMatrix") && has("u_inverseTransposeWorldViewMatrix"), qPrintable(label));
        QVERIFY2(has("u_diffuseColor") && has("u_ambientColor"), qPrintable(label));
        const bool skinned = variant.defines.contains("SKINNING");
        QCOMPARE(has("u_matrixPalette") || has("u_matrixPalette[0]"), skinned);
        QCOMPARE(hasAttribute("a_blendWeights") && hasAttribute("a_blendIndices"), skinned);
        const bool textured = variant.defines.contains("DIFFUSE_TEXTURE");
        QCOMPARE(has("u_diffuseTexture"), textured);
        QCOMPARE(hasAttribute("a_texCoord"), textured);
        QCOMPARE(hasAttribute("a_color"), variant.defines.contains("VERTEX_COLOR"));
        const bool specular = variant.defines.contains("SPECULAR");
        QCOMPARE(has("u_specularExponent") && has("u_specularColor"), specular);
        const bool anyLight = specular || variant.defines.contains("DIRECTIONAL_LIGHT")
            || variant.defines.contains("POINT_LIGHT") || variant.defines.contains("SPOT_LIGHT");
        QCOMPARE(has("u_lightColor"), anyLight);
        if (variant.defines.contains("SPOT_LIGHT")) {
            QVERIFY(has("u_spotLightPosition") && has("u_spotLightDirection") && has("u_spotLightRangeInverse")
                    && has("u_spotLightInnerAngleCos") && has("u_spotLightOuterAngleCos"));
        } else if (variant.defines.contains("POINT_LIGHT")) {
            QVERIFY(has("u_pointLightPosition") && has("u_pointLightRangeInverse"));
        } else if (anyLight) {
            // SPECULAR alone makes the viewer bind a directional light.
            QVERIFY2(has("u_lightDirection"), qPrintable(label));
        }
    }
}

void ShaderTest::versionedGlsl120AcceptsTheSameText()
{
    const QByteArray vertex = readShader("model.vert");
    const QByteArray fragment = readShader("model.frag");
    const QStringList all = {"SKINNING", "SKINNING_JOINT_COUNT 60", "DIFFUSE_TEXTURE", "VERTEX_COLOR",
                             "SPOT_LIGHT", "SPECULAR"};
    QOpenGLShaderProgram program;
    QVERIFY(build(program, "#version 120\n" + withDefines(vertex, all), "#version 120\n" + withDefines(fragment, all)));
    for (const char* name : {"colored.vert", "colored.frag"})
        QVERIFY2(!readShader(name).isEmpty(), name);
    QOpenGLShaderProgram grid;
    QVERIFY(build(grid, "#version 120\n" + readShader("colored.vert"), "#version 120\n" + readShader("colored.frag")));
}

void ShaderTest::pickingFragmentLinksWithModelVertexStage()
{
    // The engine links every pass's vertex stage with its own one-colour
    // fragment program for picking; the varyings left unused must not break it.
    const QByteArray vertex = readShader("model.vert");
    for (const Variant& variant : modelVariants()) {
        QOpenGLShaderProgram program;
        QVERIFY2(build(program, withDefines(vertex, variant.defines), withDefines(kPickingFragment, variant.defines)),
                 qPrintable(variant.label));
    }
}

void ShaderTest::gridMaterialShadersDrawPositionAndColour()
{
    QFile file(QStringLiteral(VELMORA_SOURCE_DIR "/res/grid.material"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString vertexPath, fragmentPath, wvp;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const int equals = line.indexOf('=');
        if (line.startsWith("//") || equals < 0)
            continue;
        const QString name = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (name == "vertexShader")
            vertexPath = value;
        else if (name == "fragmentShader")
            fragmentPath = value;
        else if (name == "u_worldViewProjectionMatrix")
            wvp = value;
    }
    QCOMPARE(wvp, QString("WORLD_VIEW_PROJECTION_MATRIX"));
    QVERIFY(vertexPath.startsWith("shaders/") && fragmentPath.startsWith("shaders/"));
    QOpenGLShaderProgram program;
    QVERIFY(build(program, withDefines(readShader(vertexPath.mid(8)), {}),
                  withDefines(readShader(fragmentPath.mid(8)), {})));
    QVERIFY(program.attributeLocation("a_position") >= 0);
    QVERIFY(program.attributeLocation("a_color") >= 0);
    QVERIFY(program.uniformLocation("u_worldViewProjectionMatrix") >= 0);
}

QImage ShaderTest::drawQuad(QOpenGLShaderProgram& program, const QVector<float>& positions,
                            const QVector<float>& normals,
                            const std::function<void(QOpenGLShaderProgram&)>& setUniforms,
                            const QVector<float>& blendIndices, const QVector<float>& blendWeights)
{
    QOpenGLFramebufferObject target(16, 16);
    target.bind();
    glViewport(0, 0, 16, 16);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    program.bind();
    QMatrix4x4 identity;
    program.setUniformValue("u_worldViewProjectionMatrix", identity);
    program.setUniformValue("u_worldViewMatrix", identity);
    program.setUniformValue("u_inverseTransposeWorldViewMatrix", identity);
    program.setUniformValue("u_diffuseColor", QVector4D(1, 1, 1, 1));
    program.setUniformValue("u_ambientColor", QVector3D(0, 0, 0));
    setUniforms(program);
    program.enableAttributeArray("a_position");
    program.setAttributeArray("a_position", positions.constData(), 3);
    program.enableAttributeArray("a_normal");
    program.setAttributeArray("a_normal", normals.constData(), 3);
    if (!blendIndices.isEmpty()) {
        program.enableAttributeArray("a_blendIndices");
        program.setAttributeArray("a_blendIndices", blendIndices.constData(), 4);
        program.enableAttributeArray("a_blendWeights");
        program.setAttributeArray("a_blendWeights", blendWeights.constData(), 4);
    }
    glDrawArrays(GL_TRIANGLE_FAN, 0, positions.size() / 3);
    program.disableAttributeArray("a_position");
    program.disableAttributeArray("a_normal");
    if (!blendIndices.isEmpty()) {
        program.disableAttributeArray("a_blendIndices");
        program.disableAttributeArray("a_blendWeights");
    }
    program.release();
    QImage image = target.toImage();
    target.release();
    return image;
}

namespace {

const QVector<float> kFullQuad = {-1, -1, -0.5f, 1, -1, -0.5f, 1, 1, -0.5f, -1, 1, -0.5f};

QVector<float> repeated(const QVector<float>& one, int times)
{
    QVector<float> all;
    for (int i = 0; i < times; ++i)
        all += one;
    return all;
}

int brightness(QRgb pixel)
{
    return qRed(pixel) + qGreen(pixel) + qBlue(pixel);
}

} // namespace

void ShaderTest::modelWithoutLightsIsShadedNotBlack()
{
    const QByteArray vertex = readShader("model.vert");
    const QByteArray fragment = readShader("model.frag");
    // Without a light define, and with a light define whose light the viewer
    // did not find (u_lightColor left black, as the material file writes it).
    for (const QStringList& defines : {QStringList(), QStringList{"DIRECTIONAL_LIGHT"}, QStringList{"SPECULAR"},
                                       QStringList{"POINT_LIGHT"}, QStringList{"SPOT_LIGHT"}}) {
        QOpenGLShaderProgram program;
        QVERIFY(build(program, withDefines(vertex, defines), withDefines(fragment, defines)));
        const auto noLight = [](QOpenGLShaderProgram& p) {
            p.setUniformValue("u_lightColor", QVector3D(0, 0, 0));
            p.setUniformValue("u_specularColor", QVector3D(0.2f, 0.2f, 0.2f));
            p.setUniformValue("u_specularExponent", 20.0f);
        };
        const QImage facing = drawQuad(program, kFullQuad, repeated({0, 0, 1}, 4), noLight);
        const QImage sideways = drawQuad(program, kFullQuad, repeated({-1, 0, 0}, 4), noLight);
        const QImage tilted = drawQuad(program, kFullQuad, repeated({0, 0.7071f, 0.7071f}, 4), noLight);
        const int a = brightness(facing.pixel(8, 8));
        const int b = brightness(sideways.pixel(8, 8));
        const int c = brightness(tilted.pixel(8, 8));
        const QString label = defines.join(';');
        QVERIFY2(b > 60, qPrintable(label + ": a surface turned away from the light is black"));
        QVERIFY2(a > b + 150 && c != a, qPrintable(label + ": surfaces facing different ways look the same"));
    }
}

void ShaderTest::boundSceneLightReplacesCameraLight()
{
    const QStringList defines = {"DIRECTIONAL_LIGHT"};
    QOpenGLShaderProgram program;
    QVERIFY(build(program, withDefines(readShader("model.vert"), defines),
                  withDefines(readShader("model.frag"), defines)));
    // A red light shining straight down the view axis (its forward vector).
    const QImage lit = drawQuad(program, kFullQuad, repeated({0, 0, 1}, 4), [](QOpenGLShaderProgram& p) {
        p.setUniformValue("u_lightColor", QVector3D(1, 0, 0));
        p.setUniformValue("u_lightDirection", QVector3D(0, 0, -1));
    });
    const QRgb pixel = lit.pixel(8, 8);
    QVERIFY2(qRed(pixel) > 240 && qGreen(pixel) < 10 && qBlue(pixel) < 10, "the bound light's colour is not used");
    // Intensity folded into the colour by the importer keeps the hue instead
    // of washing the model out to white.
    const QImage strong = drawQuad(program, kFullQuad, repeated({0, 0, 1}, 4), [](QOpenGLShaderProgram& p) {
        p.setUniformValue("u_lightColor", QVector3D(400, 340, 240));
        p.setUniformValue("u_lightDirection", QVector3D(0, 0, -1));
    });
    const QRgb warm = strong.pixel(8, 8);
    QVERIFY2(qRed(warm) > 250 && qAbs(qGreen(warm) - 217) <= 3 && qAbs(qBlue(warm) - 153) <= 3,
             qPrintable(QString("got %1,%2,%3").arg(qRed(warm)).arg(qGreen(warm)).arg(qBlue(warm))));
    // The same light from behind the surface leaves only the ambient colour.
    const QImage behind = drawQuad(program, kFullQuad, repeated({0, 0, 1}, 4), [](QOpenGLShaderProgram& p) {
        p.setUniformValue("u_lightColor", QVector3D(1, 0, 0));
        p.setUniformValue("u_lightDirection", QVector3D(0, 0, 1));
        p.setUniformValue("u_ambientColor", QVector3D(0.2f, 0.2f, 0.2f));
    });
    QVERIFY(qAbs(qRed(behind.pixel(8, 8)) - 51) <= 2);
}

void ShaderTest::paletteRowsMoveSkinnedVertices()
{
    const QStringList defines = {"SKINNING", "SKINNING_JOINT_COUNT 2"};
    QOpenGLShaderProgram program;
    QVERIFY(build(program, withDefines(readShader("model.vert"), defines),
                  withDefines(readShader("model.frag"), defines)));
    // A quad in the left half, bound fully to joint 1.
    const QVector<float> leftQuad = {-1, -1, -0.5f, 0, -1, -0.5f, 0, 1, -0.5f, -1, 1, -0.5f};
    const QVector<float> indices = repeated({1, 0, 0, 0}, 4);
    const QVector<float> weights = repeated({1, 0, 0, 0}, 4);
    const auto palette = [](float shiftX) {
        return [shiftX](QOpenGLShaderProgram& p) {
            // Rows of each joint matrix: (m0, m4, m8, m12), (m1, m5, m9, m13), (m2, m6, m10, m14).
            const QVector4D rows[6] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0},
                                       {1, 0, 0, shiftX}, {0, 1, 0, 0}, {0, 0, 1, 0}};
            p.setUniformValueArray("u_matrixPalette", rows, 6);
        };
    };
    const QImage still = drawQuad(program, leftQuad, repeated({0, 0, 1}, 4), palette(0.0f), indices, weights);
    const QImage moved = drawQuad(program, leftQuad, repeated({0, 0, 1}, 4), palette(1.0f), indices, weights);
    QVERIFY(brightness(still.pixel(3, 8)) > 0);
    QCOMPARE(brightness(still.pixel(12, 8)), 0);
    QCOMPARE(brightness(moved.pixel(3, 8)), 0);
    QVERIFY(brightness(moved.pixel(12, 8)) > 0);
}

namespace {

struct WrittenPass {
    QString vertexShader;
    QString fragmentShader;
    QStringList defines;
    QStringList parameters;   // uniform names the material sets or binds
};

// Reads the material file line by line: parameters at material level, the
// pass's shaders and defines, and the sampler's uniform name.
QVector<WrittenPass> readMaterialFile(const QString& path)
{
    QVector<WrittenPass> passes;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return passes;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith("material "))
            passes.push_back(WrittenPass());
        if (passes.isEmpty() || line.startsWith("//"))
            continue;
        WrittenPass& pass = passes.back();
        if (line.startsWith("sampler "))
            pass.parameters << line.section(' ', 1, 1);
        const int equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == "vertexShader")
            pass.vertexShader = value;
        else if (key == "fragmentShader")
            pass.fragmentShader = value;
        else if (key == "defines")
            pass.defines = value.split(';', Qt::SkipEmptyParts);
        else if (key.startsWith("u_"))
            pass.parameters << key;
    }
    return passes;
}

// Uniforms the viewer binds from the scene's lights, by the light define.
QStringList lightUniforms(const QStringList& defines)
{
    if (defines.contains("SPOT_LIGHT"))
        return {"u_spotLightPosition", "u_spotLightDirection", "u_spotLightRangeInverse", "u_spotLightInnerAngleCos",
                "u_spotLightOuterAngleCos"};
    if (defines.contains("POINT_LIGHT"))
        return {"u_pointLightPosition", "u_pointLightRangeInverse"};
    if (defines.contains("DIRECTIONAL_LIGHT") || defines.contains("SPECULAR"))
        return {"u_lightDirection"};
    return {};
}

} // namespace

void ShaderTest::writtenMaterialsMatchTheirPrograms()
{
    // The writer's define names and parameter names against the shaders
    // themselves: every parameter a material sets is a uniform its program
    // uses, and every uniform the program uses is set by the material or by
    // the viewer's light binding.
    QTemporaryDir folder;
    const QString model = folder.filePath("model");
    QVERIFY(QDir().mkpath(model + "/tex"));
    QImage(8, 8, QImage::Format_RGB888).save(folder.filePath("wood.png"));

    aiScene scene;
    auto* textured = new aiMaterial;
    const aiString name("Wood"), texture("wood.png");
    textured->AddProperty(&name, AI_MATKEY_NAME);
    textured->AddProperty(&texture, AI_MATKEY_TEXTURE_DIFFUSE(0));
    auto* shiny = new aiMaterial;
    const aiString shinyName("Shiny");
    shiny->AddProperty(&shinyName, AI_MATKEY_NAME);
    const aiColor3D white(1, 1, 1);
    shiny->AddProperty(&white, 1, AI_MATKEY_COLOR_SPECULAR);
    const float exponent = 30.0f;
    shiny->AddProperty(&exponent, 1, AI_MATKEY_SHININESS);
    scene.mNumMaterials = 2;
    scene.mMaterials = new aiMaterial*[2]{textured, shiny};

    const unsigned lightCounts[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    int checked = 0;
    for (const auto& lights : lightCounts) {
        EncoderOptions options;
        options.inputPath = folder.filePath("scene.fbx").toStdString();
        options.outputPath = (model + "/model.gpb").toStdString();
        Messages messages;
        MaterialWriter writer(scene, options, model.toStdString(), messages);
        writer.setLightCounts(lights[0], lights[1], lights[2]);
        for (unsigned material = 0; material < 2; ++material) {
            for (int mask = 0; mask < 8; ++mask) {
                MaterialUsage usage;
                usage.jointCount = (mask & 1) ? 21 : 0;
                usage.vertexColors = (mask & 2) != 0;
                usage.texCoords = (mask & 4) != 0;
                writer.materialFor(material, usage);
            }
        }
        QVERIFY(writer.write());
        for (const WrittenPass& pass : readMaterialFile(model + "/model.material")) {
            QVERIFY(pass.vertexShader.startsWith("shaders/") && pass.fragmentShader.startsWith("shaders/"));
            QOpenGLShaderProgram program;
            const QString label = pass.defines.join(';');
            QVERIFY2(build(program, withDefines(readShader(pass.vertexShader.mid(8)), pass.defines),
                           withDefines(readShader(pass.fragmentShader.mid(8)), pass.defines)),
                     qPrintable(label));
            const QStringList bound = pass.parameters + lightUniforms(pass.defines);
            for (const QString& parameter : pass.parameters) {
                QVERIFY2(program.uniformLocation(parameter) >= 0 || program.uniformLocation(parameter + "[0]") >= 0,
                         qPrintable(label + ": the material sets " + parameter + ", which the program lacks"));
            }
            GLint count = 0;
            glGetProgramiv(program.programId(), GL_ACTIVE_UNIFORMS, &count);
            for (GLint i = 0; i < count; ++i) {
                char uniformName[256] = {};
                GLint size = 0;
                GLenum type = 0;
                glGetActiveUniform(program.programId(), GLuint(i), sizeof(uniformName), nullptr, &size, &type,
                                   uniformName);
                const QString uniform = QString(uniformName).section('[', 0, 0);
                QVERIFY2(bound.contains(uniform), qPrintable(label + ": nothing sets " + uniform));
            }
            ++checked;
        }
    }
    QCOMPARE(checked, 4 * 16);
}

QTEST_MAIN(ShaderTest)
#include "tst_shaders.moc"
