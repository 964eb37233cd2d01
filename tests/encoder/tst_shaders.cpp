// Compiles and runs the shaders in res/shaders the way the engine builds them
// (defines in front of the text, no #version line), for every combination of
// defines the material writer emits, and checks what they draw.

#include "EncoderOptions.h"
#include "EncoderTestSupport.h"
#include "MaterialPlanner.h"
#include "MaterialWriter.h"
#include "Properties.h"

#include <QtTest>

#include <QFile>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QTemporaryDir>

namespace {

QByteArray readShader(const QString& name)
{
    QFile file(QStringLiteral(VELMORA_SOURCE_DIR "/res/shaders/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The define block as the engine writes it: one "#define" line per ";"-separated
// name, then a line break of its own before the source.
QByteArray withDefines(const QByteArray& source, const QStringList& defines)
{
    QByteArray block;
    for (const QString& define : defines)
        block += "#define " + define.toUtf8() + "\n";
    return block + "\n" + source + "\n";
}

// The engine links every pass's vertex stage with this one-colour program for picking.
const char* const kPickingFragment
    = "uniform vec4 u_diffuseColor;\nvoid main()\n{\n    gl_FragColor = u_diffuseColor;\n}\n";

QVector<float> repeated(const QVector<float>& one, int times)
{
    QVector<float> all;
    for (int i = 0; i < times; ++i)
        all += one;
    return all;
}

int brightness(QRgb pixel) { return qRed(pixel) + qGreen(pixel) + qBlue(pixel); }

using Uniforms = std::function<void(QOpenGLShaderProgram&)>;

} // namespace

class ShaderTest : public QObject, protected QOpenGLFunctions {
    Q_OBJECT

private:
    QOffscreenSurface m_surface;
    QOpenGLContext m_context;

    static bool build(QOpenGLShaderProgram& program, const QByteArray& vertex, const QByteArray& fragment)
    {
        const bool ok = program.addShaderFromSourceCode(QOpenGLShader::Vertex, vertex)
            && program.addShaderFromSourceCode(QOpenGLShader::Fragment, fragment) && program.link();
        if (!ok)
            qWarning().noquote() << program.log();
        return ok;
    }
    static bool buildModel(QOpenGLShaderProgram& program, const QStringList& defines)
    {
        return build(program, withDefines(readShader("model.vert"), defines),
                     withDefines(readShader("model.frag"), defines));
    }

    // Draws a triangle fan into a 16 x 16 target; extra attributes by name with 4 components each.
    QImage draw(QOpenGLShaderProgram& program, const QVector<float>& positions, const QVector<float>& normals,
                const Uniforms& setUniforms, const QMap<QString, QVector<float>>& extra = {})
    {
        QOpenGLFramebufferObject target(16, 16);
        target.bind();
        glViewport(0, 0, 16, 16);
        glDisable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        drawFan(program, positions, normals, setUniforms, extra);
        return target.toImage();
    }

    // The same into whatever target is bound.
    void drawFan(QOpenGLShaderProgram& program, const QVector<float>& positions, const QVector<float>& normals,
                 const Uniforms& setUniforms, const QMap<QString, QVector<float>>& extra = {})
    {
        program.bind();
        for (const char* matrix :
             {"u_worldViewProjectionMatrix", "u_worldViewMatrix", "u_inverseTransposeWorldViewMatrix"})
            program.setUniformValue(matrix, QMatrix4x4());
        program.setUniformValue("u_diffuseColor", QVector4D(1, 1, 1, 1));
        program.setUniformValue("u_ambientColor", QVector3D(0, 0, 0));
        setUniforms(program);
        QMap<QString, QVector<float>> attributes = extra;
        attributes["a_position"] = positions;
        attributes["a_normal"] = normals;
        for (auto it = attributes.constBegin(); it != attributes.constEnd(); ++it) {
            program.enableAttributeArray(qPrintable(it.key()));
            program.setAttributeArray(qPrintable(it.key()), it.value().constData(),
                                      it.value().size() / (positions.size() / 3));
        }
        glDrawArrays(GL_TRIANGLE_FAN, 0, positions.size() / 3);
        for (const QString& name : attributes.keys())
            program.disableAttributeArray(qPrintable(name));
        program.release();
    }

    // The fan drawn in two steps, as the viewer lights a DEFERRED_LIGHTING
    // material: its surface into four byte targets and a depth
    // texture, then the light pass over the view.
    QImage drawDeferred(const QStringList& defines, const QVector<float>& positions, const QVector<float>& normals,
                        const Uniforms& setUniforms, const QMatrix4x4& projection)
    {
        QOpenGLShaderProgram surface, light;
        const QStringList counts = defines.filter("_LIGHT_COUNT ");
        if (!buildModel(surface, defines + QStringList {"GBUFFER"})
            || !buildModel(light, counts + QStringList {"LINEAR_LIGHTING", "SPECULAR", "LIGHT_PASS"}))
            return QImage();
        QOpenGLExtraFunctions* gl = m_context.extraFunctions();
        GLuint frameBuffer = 0, textures[5] = {};
        gl->glGenFramebuffers(1, &frameBuffer);
        gl->glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer);
        glGenTextures(5, textures);
        for (int i = 0; i < 5; ++i) {
            glBindTexture(GL_TEXTURE_2D, textures[i]);
            if (i < 4)
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 16, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            else
                glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH24_STENCIL8, 16, 16, 0, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8,
                             nullptr);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            gl->glFramebufferTexture2D(GL_FRAMEBUFFER,
                                       i < 4 ? GL_COLOR_ATTACHMENT0 + GLenum(i) : GL_DEPTH_STENCIL_ATTACHMENT,
                                       GL_TEXTURE_2D, textures[i], 0);
        }
        const GLenum buffers[4]
            = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2, GL_COLOR_ATTACHMENT3};
        gl->glDrawBuffers(4, buffers);
        glViewport(0, 0, 16, 16);
        glClearColor(0, 0, 0, 0);
        glEnable(GL_DEPTH_TEST);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawFan(surface, positions, normals, setUniforms);
        glDisable(GL_DEPTH_TEST);

        QOpenGLFramebufferObject target(16, 16);
        target.bind();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        for (int i = 4; i >= 0; --i) {
            glActiveTexture(GL_TEXTURE0 + GLenum(i));
            glBindTexture(GL_TEXTURE_2D, textures[i]);
        }
        const char* const samplers[5]
            = {"u_surfaceColor", "u_surfaceNormal", "u_surfaceSpecular", "u_surfaceUnlit", "u_surfaceDepth"};
        const QVector<float> view = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
        drawFan(light, view, repeated({0, 0, 1}, 4), [&](QOpenGLShaderProgram& p) {
            setUniforms(p);
            for (int i = 0; i < 5; ++i)
                p.setUniformValue(samplers[i], i);
            p.setUniformValue("u_inverseProjectionMatrix", projection.inverted());
        });
        const QImage image = target.toImage();
        glDeleteTextures(5, textures);
        gl->glDeleteFramebuffers(1, &frameBuffer);
        return image;
    }

private slots:
    void initTestCase()
    {
        m_surface.create();
        QVERIFY2(m_context.create(), "no OpenGL context (run under Xvfb with Mesa)");
        QVERIFY(m_context.makeCurrent(&m_surface));
        initializeOpenGLFunctions();
        const QSurfaceFormat format = m_context.format();
        QVERIFY2(format.majorVersion() > 2 || (format.majorVersion() == 2 && format.minorVersion() >= 1),
                 "OpenGL 2.1 or newer needed");
    }

    void writtenMaterialsMatchTheirPrograms()
    {
        // Every combination of defines the writer emits (all materials textured, one specular, one emissive
        // with an emissive map, under each light kind) builds, also under a strict GLSL 1.20 compiler and with the
        // engine's picking stage. Every parameter a material sets is a uniform its program uses, every uniform the
        // program uses is set by the material or by the viewer's light binding, and the attributes follow the defines.
        QTemporaryDir folder;
        const QString model = folder.filePath("model");
        QVERIFY(QDir().mkpath(model + "/tex"));
        QImage(8, 8, QImage::Format_RGB888).save(folder.filePath("wood.png"));
        aiScene scene;
        encodertest::setArray(
            scene.mMaterials, scene.mNumMaterials,
            std::vector<aiMaterial*> {
                encodertest::makeMaterial("Wood", {}, "wood.png"),
                encodertest::makeMaterial("Shiny", {{"specular", 1}, {"shininess", 30}}, "wood.png"),
                encodertest::makeMaterial("Glow", {{"emissive", 0.5f}, {"emissiveMap", 1}}, "wood.png")});
        const QMap<QString, QStringList> lightUniforms
            = {{"SPOT_LIGHT_COUNT",
                {"u_spotLightColors", "u_spotLightPositions", "u_spotLightDirections", "u_spotLightRangeInverses",
                 "u_spotLightInnerAngleCoses", "u_spotLightOuterAngleCoses"}},
               {"POINT_LIGHT_COUNT", {"u_pointLightColors", "u_pointLightPositions", "u_pointLightRangeInverses"}},
               {"DIRECTIONAL_LIGHT_COUNT", {"u_directionalLightColors", "u_directionalLightDirections"}}};
        QSet<QString> combinations;
        for (const std::array<unsigned, 3>& lights :
             std::vector<std::array<unsigned, 3>> {{0, 0, 0}, {1, 0, 0}, {0, 2, 1}, {4, 4, 4}}) {
            EncoderOptions options;
            options.inputPath = folder.filePath("scene.fbx").toStdString();
            options.outputPath = (model + "/model.gpb").toStdString();
            Messages messages;
            MaterialPlanner writer(scene, options, model.toStdString(), messages);
            for (int mask = 0; mask < 24; ++mask)
                writer.materialFor(
                    mask / 8, MaterialUsage {(mask & 1) ? 21u : 0u, (mask & 2) != 0, (mask & 4) != 0, false, lights});
            QVERIFY(MaterialWriter::write(writer.plan(), messages));
            // Read with the engine's reader: parameters and sampler names per material, the pass's shaders and defines.
            std::unique_ptr<engine::Properties> file(engine::Properties::create(qPrintable(model + "/model.material")));
            for (size_t m = 0; file && m < file->namespaceCount(); ++m) {
                engine::Properties* material = file->namespaceAt(m);
                const engine::Properties* pass = material->getNamespace("pass", true);
                const QStringList defines = QString(pass->getString("defines", "")).split(';', Qt::SkipEmptyParts);
                const QString label = defines.join(';');
                const QByteArray vertex
                    = withDefines(readShader(QString(pass->getString("vertexShader")).mid(8)), defines);
                const QByteArray fragment
                    = withDefines(readShader(QString(pass->getString("fragmentShader")).mid(8)), defines);
                QOpenGLShaderProgram program, strict, picking;
                QVERIFY2(build(program, vertex, fragment)
                             && build(strict, "#version 120\n" + vertex, "#version 120\n" + fragment),
                         qPrintable(label));
                // Varyings the picking stage leaves unused must not break the link.
                QVERIFY2(build(picking, vertex, withDefines(kPickingFragment, defines)), qPrintable(label));
                // Opaque materials under scene lights also build the surface and light pass of deferred lighting.
                QCOMPARE(defines.contains("DEFERRED_LIGHTING"), defines.join(';').contains("_LIGHT_COUNT"));
                QOpenGLShaderProgram surface, light;
                const QStringList lightDefines
                    = defines.filter("_LIGHT_COUNT ") + QStringList {"LINEAR_LIGHTING", "SPECULAR", "LIGHT_PASS"};
                QVERIFY2(!defines.contains("DEFERRED_LIGHTING")
                             || (build(surface, "#version 120\n" + vertex,
                                       "#version 120\n" + withDefines(fragment, {"GBUFFER"}))
                                 && buildModel(light, lightDefines)),
                         qPrintable(label));
                QStringList parameters;
                while (const char* name = material->getNextProperty())
                    parameters << name;
                for (size_t n = 0; n < material->namespaceCount(); ++n) {
                    if (QString(material->namespaceAt(n)->getNamespace()) == "sampler")
                        parameters << material->namespaceAt(n)->getId();
                }
                QStringList bound = parameters;
                for (const QString& define : defines)
                    bound += lightUniforms.value(define.section(' ', 0, 0));
                for (const QString& parameter : parameters) {
                    QVERIFY2(program.uniformLocation(parameter) >= 0 || program.uniformLocation(parameter + "[0]") >= 0,
                             qPrintable(label + ": the material sets " + parameter + ", which the program lacks"));
                }
                GLint count = 0;
                glGetProgramiv(program.programId(), GL_ACTIVE_UNIFORMS, &count);
                for (GLint i = 0; i < count; ++i) {
                    char uniform[256] = {};
                    GLint size = 0;
                    GLenum type = 0;
                    glGetActiveUniform(program.programId(), GLuint(i), sizeof(uniform), nullptr, &size, &type, uniform);
                    QVERIFY2(bound.contains(QString(uniform).section('[', 0, 0)),
                             qPrintable(label + ": nothing sets " + uniform));
                }
                const auto has = [&](const char* a) { return program.attributeLocation(a) >= 0; };
                QVERIFY2(has("a_position") && has("a_normal"), qPrintable(label));
                QCOMPARE(has("a_blendWeights") && has("a_blendIndices"), defines.contains("SKINNING"));
                QCOMPARE(has("a_texCoord"),
                         defines.contains("DIFFUSE_TEXTURE") || defines.contains("EMISSIVE_TEXTURE"));
                QCOMPARE(has("a_color"), defines.contains("VERTEX_COLOR"));
                combinations.insert(label);
            }
        }
        QCOMPARE(combinations.size(), 4 * 24);
    }

    void lightTermsReachTheColour_data()
    {
        QTest::addColumn<QStringList>("defines");
        QTest::addColumn<QVector3D>("diffuse");
        QTest::addColumn<QVector3D>("emissive");
        QTest::addColumn<QMatrix4x4>("view");
        QTest::addColumn<QRgb>("expected"); // each channel within 3
        QMatrix4x4 fromAbove, none;
        fromAbove.rotate(90, 1, 0, 0); // the world's up is the view's +Z
        none.fill(0); // a bundle that does not bind the view matrix
        // The quad faces +Z; the sun shines along +Z, so it lights only the back.
        QTest::newRow("emissive on black") << QStringList {"EMISSIVE"} << QVector3D(0, 0, 0)
                                           << QVector3D(0.5f, 0.25f, 0) << QMatrix4x4() << qRgb(128, 64, 0);
        QTest::newRow("side the sun misses keeps the ambient floor")
            << QStringList {"DIRECTIONAL_LIGHT"} << QVector3D(1, 1, 1) << QVector3D() << QMatrix4x4()
            << qRgb(20, 20, 20);
        QTest::newRow("emissive adds to the ambient floor")
            << QStringList {"DIRECTIONAL_LIGHT", "EMISSIVE"} << QVector3D(1, 0, 0) << QVector3D(0, 0.5f, 0)
            << QMatrix4x4() << qRgb(20, 128, 0);
        // Without a scene light the key light stands in the world: the same face is brighter turned up to it.
        QTest::newRow("default light, face towards the world's front")
            << QStringList() << QVector3D(1, 1, 1) << QVector3D() << QMatrix4x4() << qRgb(114, 114, 114);
        QTest::newRow("default light, face up")
            << QStringList() << QVector3D(1, 1, 1) << QVector3D() << fromAbove << qRgb(173, 173, 173);
        QTest::newRow("default light without a view matrix follows the camera")
            << QStringList {"SPECULAR"} << QVector3D(1, 1, 1) << QVector3D() << none << qRgb(181, 181, 183);
        // Lit in linear space, shown in sRGB: a white sun of intensity 1 head-on (below, each sun
        // shines straight onto the face) plus the 0.02 floor, encoded: 0.8 * 1.02 reads 233, 0.2 * 1.02 reads 125.
        const QStringList sun = {"LINEAR_LIGHTING", "DIRECTIONAL_LIGHT_COUNT 1"};
        QTest::newRow("linear: grey head-on under a sun")
            << sun << QVector3D(0.8f, 0.8f, 0.8f) << QVector3D() << QMatrix4x4() << qRgb(233, 233, 233);
        QTest::newRow("linear: red head-on under a sun")
            << sun << QVector3D(0.8f, 0.2f, 0.2f) << QVector3D() << QMatrix4x4() << qRgb(233, 125, 125);
        // Unlit, only the floor is left: 0.8 * 0.02 reads 34, under the previews' "too dark" line.
        QTest::newRow("linear: beyond a point light's range")
            << QStringList {"LINEAR_LIGHTING", "POINT_LIGHT_COUNT 1"} << QVector3D(0.8f, 0.8f, 0.8f) << QVector3D()
            << QMatrix4x4() << qRgb(34, 34, 34);
    }

    void lightTermsReachTheColour()
    {
        QFETCH(QStringList, defines);
        QFETCH(QVector3D, diffuse);
        QFETCH(QVector3D, emissive);
        QFETCH(QMatrix4x4, view);
        QFETCH(QRgb, expected);
        QOpenGLShaderProgram program;
        QVERIFY(buildModel(program, defines));
        const QVector<float> quad = {-1, -1, -0.5f, 1, -1, -0.5f, 1, 1, -0.5f, -1, 1, -0.5f};
        const QImage image = draw(program, quad, repeated({0, 0, 1}, 4), [&](QOpenGLShaderProgram& p) {
            p.setUniformValue("u_diffuseColor", QVector4D(diffuse, 1));
            p.setUniformValue("u_emissiveColor", emissive);
            p.setUniformValue("u_lightColor", defines.contains("SPECULAR") ? QVector3D() : QVector3D(1, 1, 1));
            p.setUniformValue("u_lightDirection", QVector3D(0, 0, 1));
            p.setUniformValue("u_viewMatrix", view);
            // Suns shine straight onto the face; a point light 0.5 in front of it reaches 0.5 units.
            const QVector3D white[2] = {{1, 1, 1}, {1, 1, 1}}, onto[2] = {{0, 0, -1}, {0, 0, -1}};
            p.setUniformValueArray("u_directionalLightColors", white, 2);
            p.setUniformValueArray("u_directionalLightDirections", onto, 2);
            p.setUniformValueArray("u_pointLightColors", white, 1);
            p.setUniformValue("u_pointLightPositions[0]", QVector3D(0, 0, 0.5f));
            p.setUniformValue("u_pointLightRangeInverses[0]", 2.0f);
        });
        const QRgb pixel = image.pixel(8, 8);
        QVERIFY2(std::abs(qRed(pixel) - qRed(expected)) <= 3 && std::abs(qGreen(pixel) - qGreen(expected)) <= 3
                     && std::abs(qBlue(pixel) - qBlue(expected)) <= 3,
                 qPrintable(QString::number(pixel, 16)));
    }

    void lightPassGivesTheLitPicture_data()
    {
        QTest::addColumn<QStringList>("defines");
        QTest::addColumn<QMatrix4x4>("projection");
        QMatrix4x4 orthographic, perspective;
        orthographic.ortho(-1.5f, 1.5f, -1.5f, 1.5f, 0.5f, 10.0f);
        perspective.perspective(60.0f, 1.0f, 0.5f, 10.0f);
        QTest::newRow("two suns, specular, orthographic")
            << QStringList {"DIRECTIONAL_LIGHT_COUNT 2", "SPECULAR", "LINEAR_LIGHTING"} << orthographic;
        QTest::newRow("point and spot, specular, emissive, perspective")
            << QStringList {"POINT_LIGHT_COUNT 2", "SPOT_LIGHT_COUNT 1", "SPECULAR", "EMISSIVE", "LINEAR_LIGHTING"}
            << perspective;
        QTest::newRow("every kind, matte, perspective")
            << QStringList {"DIRECTIONAL_LIGHT_COUNT 1", "POINT_LIGHT_COUNT 1", "SPOT_LIGHT_COUNT 1", "LINEAR_LIGHTING"}
            << perspective;
    }

    // Lit in two steps, a material looks as it does lit in one: the light
    // pass takes the lights at full strength and the surface its share.
    void lightPassGivesTheLitPicture()
    {
        QFETCH(QStringList, defines);
        QFETCH(QMatrix4x4, projection);
        // Two units in front of the eye, normals fanned out: every pixel is lit another way.
        const QVector<float> quad = {-1, -1, -2, 1, -1, -2, 1, 1, -2, -1, 1, -2};
        const QVector<float> normals = {-0.6f, -0.3f, 1, 0.6f, -0.3f, 1, 0.4f, 0.5f, 1, -0.4f, 0.5f, 1};
        const float exposure = 0.6f;
        const auto material = [&](float lightScale) {
            return [=](QOpenGLShaderProgram& p) {
                p.setUniformValue("u_worldViewProjectionMatrix", projection);
                p.setUniformValue("u_projectionMatrix", projection);
                p.setUniformValue("u_diffuseColor", QVector4D(0.8f, 0.5f, 0.3f, 1));
                p.setUniformValue("u_ambientColor", QVector3D(0.05f, 0.05f, 0.05f));
                p.setUniformValue("u_emissiveColor", QVector3D(0.1f, 0, 0.2f));
                p.setUniformValue("u_specularColor", QVector3D(1, 1, 1));
                p.setUniformValue("u_specularExponent", 20.0f);
                p.setUniformValue("u_sceneLightExposure", exposure);
                const QVector3D colors[2]
                    = {QVector3D(1, 0.9f, 0.8f) * lightScale, QVector3D(0.3f, 0.5f, 1) * lightScale};
                const QVector3D directions[2]
                    = {QVector3D(0.3f, -0.2f, -1).normalized(), QVector3D(0, 0.1f, -1).normalized()};
                const QVector3D positions[2] = {{0.5f, 0.5f, -1.2f}, {-0.6f, 0, -1.5f}};
                const GLfloat rangeInverses[2] = {0.8f, 1.2f}, inner[1] = {0.97f}, outer[1] = {0.9f};
                p.setUniformValueArray("u_directionalLightColors", colors, 2);
                p.setUniformValueArray("u_directionalLightDirections", directions, 2);
                p.setUniformValueArray("u_pointLightColors", colors, 2);
                p.setUniformValueArray("u_pointLightPositions", positions, 2);
                p.setUniformValueArray("u_pointLightRangeInverses", rangeInverses, 2, 1);
                p.setUniformValueArray("u_spotLightColors", colors, 1);
                p.setUniformValueArray("u_spotLightPositions", positions, 1);
                p.setUniformValueArray("u_spotLightDirections", directions + 1, 1);
                p.setUniformValueArray("u_spotLightRangeInverses", rangeInverses, 1, 1);
                p.setUniformValueArray("u_spotLightInnerAngleCoses", inner, 1, 1);
                p.setUniformValueArray("u_spotLightOuterAngleCoses", outer, 1, 1);
            };
        };
        QOpenGLShaderProgram forward;
        QVERIFY(buildModel(forward, defines));
        const QImage lit = draw(forward, quad, normals, material(exposure));
        const QImage deferred = drawDeferred(defines, quad, normals, material(1.0f), projection);
        QVERIFY2(!deferred.isNull(), "the surface or light pass does not build");
        QSet<QRgb> shades;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QRgb a = lit.pixel(x, y), b = deferred.pixel(x, y);
                QVERIFY2(
                    std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2
                        && std::abs(qBlue(a) - qBlue(b)) <= 2,
                    qPrintable(QString("(%1, %2): %3 lit, %4 in two steps").arg(x).arg(y).arg(a, 0, 16).arg(b, 0, 16)));
                shades.insert(a);
            }
        }
        QVERIFY2(shades.size() > 32, "the lights leave the quad flat");
    }

    void paletteRowsMoveSkinnedVertices()
    {
        QOpenGLShaderProgram program;
        QVERIFY(buildModel(program, {"SKINNING", "SKINNING_JOINT_COUNT 2"}));
        // A quad in the left half, bound fully to joint 1.
        const QVector<float> leftQuad = {-1, -1, -0.5f, 0, -1, -0.5f, 0, 1, -0.5f, -1, 1, -0.5f};
        const QMap<QString, QVector<float>> skin
            = {{"a_blendIndices", repeated({1, 0, 0, 0}, 4)}, {"a_blendWeights", repeated({1, 0, 0, 0}, 4)}};
        const auto palette = [](float shiftX) {
            return [shiftX](QOpenGLShaderProgram& p) {
                // Three rows per joint: (m0, m4, m8, m12), (m1, m5, m9, m13), (m2, m6, m10, m14).
                const QVector4D rows[6]
                    = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 0, 0, shiftX}, {0, 1, 0, 0}, {0, 0, 1, 0}};
                p.setUniformValueArray("u_matrixPalette", rows, 6);
            };
        };
        const QImage still = draw(program, leftQuad, repeated({0, 0, 1}, 4), palette(0.0f), skin);
        const QImage moved = draw(program, leftQuad, repeated({0, 0, 1}, 4), palette(1.0f), skin);
        QVERIFY(brightness(still.pixel(3, 8)) > 0 && brightness(still.pixel(12, 8)) == 0);
        QVERIFY(brightness(moved.pixel(3, 8)) == 0 && brightness(moved.pixel(12, 8)) > 0);
    }
};

QTEST_MAIN(ShaderTest)
#include "tst_shaders.moc"
