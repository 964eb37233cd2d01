// Converted models loaded into drawable scene graphs: our samples and, when
// present, files of the shared models folder, each checked against what the
// bundle reader read from the same file, then drawn in a real context.
#include "GlTestContext.h"

#include "EngineTestSupport.h"

#include "Animation.h"
#include "AnimationClip.h"
#include "Bundle.h"
#include "BundleReader.h"
#include "FileSystem.h"
#include "LightParameterBinder.h"
#include "Material.h"
#include "Mesh.h"
#include "MeshSkin.h"
#include "Model.h"
#include "ModelLoader.h"
#include "Node.h"
#include "Scene.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace engine;

namespace {

struct Totals {
    int nodes = 0, cameras = 0, lights = 0, skins = 0, unboundParts = 0, unlitParts = 0;
    unsigned int vertices = 0, maxJoints = 0;
    bool jointsResolved = true;
    std::vector<Animation*> animations;
};

void addUp(Node* node, Totals& t)
{
    ++t.nodes;
    t.cameras += node->getCamera() != nullptr;
    t.lights += node->getLight() != nullptr;
    node->collectAnimations(t.animations);
    if (Model* model = dynamic_cast<Model*>(node->getDrawable())) {
        t.vertices += model->getMesh()->getVertexCount();
        for (unsigned int i = 0; i < model->getMeshPartCount(); ++i) {
            Material* material = model->getMaterial(int(i));
            t.unboundParts += !material;
            const int wanted = LightParameterBinder::wantedLightType(material);
            t.unlitParts += wanted && !LightParameterBinder::findLight(node, Light::Type(wanted));
        }
        MeshSkin* skin = model->getSkin();
        t.skins += skin != nullptr;
        for (unsigned int j = 0; skin && j < skin->getJointCount(); ++j)
            t.jointsResolved = t.jointsResolved && skin->getJoint(j);
        t.maxJoints = std::max(t.maxJoints, skin ? skin->getJointCount() : 0);
    }
    for (Node* child = node->getFirstChild(); child; child = child->getNextSibling())
        addUp(child, t);
}

QString source(const char* sample) { return qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/samples/" + sample; }

} // namespace

class TestBundleScene : public QObject {
    Q_OBJECT

private:
    enginetest::GlTestContext m_gl;
    QTemporaryDir m_work;
    int m_runs = 0;

    // A workspace-like model folder with the shaders its materials name;
    // 'from' replaced by 'to' in "model.material".
    QString convert(const QString& source, const QByteArray& from = "", const QByteArray& to = "")
    {
        const QString folder = m_work.path() + QString("/m%1").arg(++m_runs);
        QDir().mkpath(folder);
        QProcess encoder;
        encoder.start(qEnvironmentVariable("VELMORA_BUILD_DIR") + "/tools/linux/model-encoder",
                      {"-group:take", "-cull:off", "-m", "-options", source, folder + "/model.gpb"});
        if (!encoder.waitForFinished(300000) || encoder.exitStatus() != QProcess::NormalExit || encoder.exitCode())
            return QString();
        QFile::link(qEnvironmentVariable("VELMORA_BUILD_DIR") + "/res/shaders", folder + "/shaders");
        QFile material(folder + "/model.material");
        if (!from.isEmpty() && material.open(QIODevice::ReadOnly))
            enginetest::writeFile(material.fileName().toStdString(),
                                  material.readAll().replace(from, to).toStdString());
        return folder;
    }

    static bool read(const QString& folder, BundleData* data)
    {
        BundleReader reader;
        return reader.openFile((folder + "/model.gpb").toUtf8().constData()) && reader.readScene(nullptr, data);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_gl.create());
        QVERIFY(m_gl.bindTarget(64, 64));
        QVERIFY(m_work.isValid());
        // The models' shaders are links to the program's.
        FileSystem::setSharedFolder(QFile::encodeName(qEnvironmentVariable("VELMORA_BUILD_DIR") + "/res").constData());
    }

    void loadsConvertedModel_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("cameras");
        QTest::addColumn<int>("lights");
        QTest::addColumn<int>("skins");
        QTest::addColumn<int>("minJoints"); // the bones the source file has
        QTest::addColumn<int>("unlit"); // parts whose material asks for a light the scene has none of
        const QString shared = qEnvironmentVariable("VELMORA_SHARED_MODELS") + "/assimp/test/models/FBX/";
        QTest::newRow("sample") << source("velmora-sample.fbx") << 0 << 0 << 1 << 3 << 0;
        QTest::newRow("stage") << source("velmora-stage.fbx") << 1 << 3 << 0 << 0 << 0;
        QTest::newRow("spider") << shared + "spider.fbx" << 1 << 1 << 0 << 0 << 0;
        QTest::newRow("skeleton") << shared + "animation_with_skeleton.fbx" << 1 << 1 << 1 << 13 << 0;
        QTest::newRow("settings") << shared + "global_settings.fbx" << 2 << 2 << 0 << 0 << 0;
    }

    void loadsConvertedModel()
    {
        QFETCH(QString, file);
        QFETCH(int, cameras);
        QFETCH(int, lights);
        QFETCH(int, skins);
        QFETCH(int, minJoints);
        QFETCH(int, unlit);
        // Only a shared model may be missing; the samples are part of the project.
        if (!file.startsWith(qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/samples/") && !QFile::exists(file))
            QSKIP("shared model not present");
        const QString folder = convert(file);
        BundleData data;
        QVERIFY(read(folder, &data));
        unsigned int vertices = 0, maxJoints = 0;
        for (const BundleData::Node& node : data.nodes) {
            vertices += node.hasModel ? data.meshes[size_t(node.model.mesh)].vertexCount : 0;
            maxJoints = std::max(maxJoints, node.model.hasSkin ? unsigned(node.model.skin.jointIds.size()) : 0);
        }

        Node* root = loadModelRoot(folder.toUtf8().constData());
        QVERIFY(root);
        QCOMPARE(root->getId(), "_ROOT_NODE_");
        Totals t;
        addUp(root, t);
        QCOMPARE(t.nodes, int(data.nodes.size()) + 1);
        QCOMPARE(t.vertices, vertices);
        QCOMPARE(t.unboundParts, 0);
        QCOMPARE(t.unlitParts, unlit);
        QCOMPARE(QVector<int>({t.cameras, t.lights, t.skins}), QVector<int>({cameras, lights, skins}));
        QCOMPARE(t.maxJoints, maxJoints);
        QVERIFY(int(t.maxJoints) >= minJoints && t.jointsResolved);
        QCOMPARE(t.animations.size(), data.animations.size());

        Scene* scene = Scene::create();
        scene->addNode(root);
        root->release();
        enginetest::GlTestContext::clear();
        scene->visit([](Node* node) {
            if (node->getDrawable())
                node->getDrawable()->draw();
            return true;
        });
        QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
        scene->release();
    }

    // A scene file (with settings for one node), an animation file and
    // another root id.
    void folderOverrides()
    {
        const QString folder = convert(source("velmora-sample.fbx"));
        BundleData data;
        QVERIFY(read(folder, &data) && !data.animations.empty());
        enginetest::writeFile((folder + "/model.animation").toStdString(),
                              "animation " + data.animations[0].id
                                  + " {\n frameCount = 100\n clip first {\n begin = 0\n"
                                    " end = 50\n }\n}\n");
        const std::string id = data.nodes[size_t(data.roots[0])].id;
        enginetest::writeFile((folder + "/model.scene").toStdString(),
                              "scene {\n path = model.gpb\n ambientColor = 0.25, 0.5, 0.75\n node " + id
                                  + " {\n translate = 1, 2, 3\n tags {\n kind = prop\n }\n }\n}\n");
        Vector3 ambient;
        Node* root = loadModelRoot((folder + "/").toUtf8().constData(), "figure", &ambient);
        QVERIFY(root);
        QCOMPARE(root->getId(), "figure");
        QVERIFY(enginetest::near(ambient, Vector3(0.25f, 0.5f, 0.75f)));
        Totals t;
        addUp(root, t);
        QVERIFY(!t.animations.empty() && t.animations[0]->findClip("first"));
        Node* adjusted = root->findNode(id.c_str());
        QVERIFY(enginetest::near(adjusted->getTranslation(), Vector3(1, 2, 3)));
        QCOMPARE(adjusted->getTag("kind"), "prop");
        root->release();
    }

    // A name the material file lacks leaves its part undrawn and is listed;
    // one node read on its own keeps the bones its skin needs below it.
    void missingMaterialAndLoneNode()
    {
        const QString folder = convert(source("velmora-sample.fbx"), "material Band", "material Other");
        Bundle* bundle = Bundle::create(QFile::encodeName(folder + "/").toStdString(), "model.gpb");
        QVERIFY(bundle);
        Scene* scene = bundle->loadScene();
        QVERIFY(scene);
        QCOMPARE(bundle->getMissingMaterials(), std::vector<std::string> {"Band"});
        Totals t;
        for (Node* node = scene->getFirstNode(); node; node = node->getNextSibling())
            addUp(node, t);
        QCOMPARE(t.unboundParts, 1);
        scene->release();
        Node* figure = bundle->loadNode("Figure");
        bundle->release();
        QVERIFY(figure && !figure->getParent());
        MeshSkin* skin = static_cast<Model*>(figure->getDrawable())->getSkin();
        QVERIFY(skin && skin->getJointCount() == 3);
        for (unsigned int j = 0; j < skin->getJointCount(); ++j)
            QVERIFY(skin->getJoint(j) && skin->getJoint(j)->getRootNode() == figure);
        figure->release();
    }

    void refusesWhatIsNoModel_data()
    {
        QTest::addColumn<QString>("file"); // made in the folder
        QTest::addColumn<QString>("load"); // relative to the folder
        const auto row
            = [](const char* name, const char* file, const char* load) { QTest::newRow(name) << file << load; };
        row("scene file without bundle", "model.scene", "");
        row("other extension", "model.fbx", "model.fbx");
        row("missing file", "", "gone.gpb");
        row("bundle that is no bundle", "model.gpb", "model.gpb");
        row("folder with a broken bundle", "model.gpb", "");
    }

    void refusesWhatIsNoModel()
    {
        QFETCH(QString, file);
        QFETCH(QString, load);
        const QString folder = m_work.path() + QString("/bad%1").arg(++m_runs);
        QDir().mkpath(folder);
        if (!file.isEmpty())
            enginetest::writeFile((folder + "/" + file).toStdString(), "scene {\n path = model.gpb\n}\n");
        QVERIFY(!loadModelRoot((folder + "/" + load).toUtf8().constData()));
    }
};

QTEST_MAIN(TestBundleScene)
#include "tst_bundlescene.moc"
