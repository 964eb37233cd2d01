// Converted models loaded into drawable scene graphs: our samples and, when
// present, files of the shared models folder, each checked against what the
// bundle reader read from the same file, then drawn in a real context.
#include "GlTestContext.h"

#include "EngineTestSupport.h"

#include "Animation.h"
#include "AnimationClip.h"
#include "Bundle.h"
#include "BundleReader.h"
#include "Camera.h"
#include "FileSystem.h"
#include "Light.h"
#include "LightParameterBinder.h"
#include "Material.h"
#include "MaterialParameter.h"
#include "Mesh.h"
#include "MeshSkin.h"
#include "Model.h"
#include "ModelLoader.h"
#include "Node.h"
#include "Scene.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

using namespace engine;
using enginetest::GlTestContext;

namespace {

struct Totals {
    int nodes = 0, cameras = 0, lights = 0, skins = 0, parts = 0, unboundParts = 0;
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
        t.parts += int(model->getMeshPartCount());
        for (unsigned int i = 0; i < model->getMeshPartCount(); ++i)
            t.unboundParts += !model->getMaterial(int(i));
        if (MeshSkin* skin = model->getSkin()) {
            ++t.skins;
            t.maxJoints = std::max(t.maxJoints, skin->getJointCount());
            for (unsigned int j = 0; j < skin->getJointCount(); ++j)
                t.jointsResolved = t.jointsResolved && skin->getJoint(j);
        }
    }
    for (Node* child = node->getFirstChild(); child; child = child->getNextSibling())
        addUp(child, t);
}

unsigned int vertexCount(const BundleData& data)
{
    unsigned int count = 0;
    for (const BundleData::Node& node : data.nodes)
        count += node.hasModel && node.model.mesh >= 0 ? data.meshes[size_t(node.model.mesh)].vertexCount : 0;
    return count;
}

unsigned int maxJointCount(const BundleData& data)
{
    size_t count = 0;
    for (const BundleData::Node& node : data.nodes)
        count = std::max(count, node.model.hasSkin ? node.model.skin.jointIds.size() : 0);
    return unsigned(count);
}

} // namespace

class TestBundleScene : public QObject {
    Q_OBJECT

private:
    GlTestContext m_gl;
    QTemporaryDir m_work;
    int m_runs = 0;

    // A workspace-like model folder with the shaders its materials name.
    QString convert(const QString& source)
    {
        const QString folder = m_work.path() + QString("/m%1").arg(++m_runs);
        QDir().mkpath(folder);
        QProcess encoder;
        encoder.start(qEnvironmentVariable("VELMORA_BUILD_DIR") + "/tools/linux/model-encoder",
                      {"-group:take", "-cull:off", "-m", "-options", source, folder + "/model.gpb"});
        if (!encoder.waitForFinished(300000) || encoder.exitStatus() != QProcess::NormalExit || encoder.exitCode())
            return QString();
        QFile::link(qEnvironmentVariable("VELMORA_BUILD_DIR") + "/res/shaders", folder + "/shaders");
        return folder;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_gl.create());
        QVERIFY(m_gl.bindTarget(64, 64));
        QVERIFY(m_work.isValid());
    }

    void loadsConvertedModel_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("cameras");
        QTest::addColumn<int>("lights");
        QTest::addColumn<int>("skins");
        QTest::addColumn<int>("minJoints"); // the bones the source file has
        const QString samples = qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/samples/";
        const QString shared = qEnvironmentVariable("VELMORA_SHARED_MODELS") + "/assimp/test/models/FBX/";
        QTest::newRow("sample") << samples + "velmora-sample.fbx" << 0 << 0 << 1 << 3;
        QTest::newRow("stage") << samples + "velmora-stage.fbx" << 1 << 3 << 0 << 0;
        QTest::newRow("spider") << shared + "spider.fbx" << 1 << 1 << 0 << 0;
        QTest::newRow("skeleton") << shared + "animation_with_skeleton.fbx" << 1 << 1 << 1 << 13;
        QTest::newRow("settings") << shared + "global_settings.fbx" << 2 << 2 << 0 << 0;
    }

    void loadsConvertedModel()
    {
        QFETCH(QString, source);
        QFETCH(int, cameras);
        QFETCH(int, lights);
        QFETCH(int, skins);
        QFETCH(int, minJoints);
        if (!QFile::exists(source))
            QSKIP("model file not present");
        const QString folder = convert(source);
        QVERIFY(!folder.isEmpty());
        BundleReader reader;
        BundleData data;
        QVERIFY(reader.openFile((folder + "/model.gpb").toUtf8().constData()) && reader.readScene(nullptr, &data));

        Node* root = loadModelRoot(folder.toUtf8().constData());
        QVERIFY(root);
        QCOMPARE(root->getId(), "_ROOT_NODE_");
        Totals t;
        for (Node* node = root->getFirstChild(); node; node = node->getNextSibling())
            addUp(node, t);
        QCOMPARE(t.nodes, int(data.nodes.size()));
        QCOMPARE(t.vertices, vertexCount(data));
        QVERIFY(t.parts > 0);
        QCOMPARE(t.unboundParts, 0);
        QCOMPARE(t.cameras, cameras);
        QCOMPARE(t.lights, lights);
        QCOMPARE(t.skins, skins);
        QCOMPARE(t.maxJoints, maxJointCount(data));
        QVERIFY(int(t.maxJoints) >= minJoints);
        QVERIFY(t.jointsResolved);
        QCOMPARE(t.animations.size(), data.animations.size());

        Scene* scene = Scene::create();
        scene->addNode(root);
        root->release();
        GlTestContext::clear();
        scene->visit([](Node* node) {
            if (node->getDrawable())
                node->getDrawable()->draw();
            return true;
        });
        QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
        scene->release();
    }

    // A scene file, an animation file and another root id, on the sample.
    void folderOverrides()
    {
        const QString folder = convert(qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/samples/velmora-sample.fbx");
        QVERIFY(!folder.isEmpty());
        BundleReader reader;
        BundleData data;
        QVERIFY(reader.openFile((folder + "/model.gpb").toUtf8().constData()) && reader.readScene(nullptr, &data));
        QVERIFY(!data.animations.empty());
        const std::string animation = data.animations.front().id;
        enginetest::writeFile((folder + "/model.animation").toStdString(),
                              "animation " + animation
                                  + "\n{\n frameCount = 100\n clip first\n {\n begin = 0\n"
                                    " end = 50\n }\n}\n");
        enginetest::writeFile((folder + "/model.scene").toStdString(),
                              "scene\n{\n path = model.gpb\n ambientColor = 0.25, 0.5, 0.75\n}\n");

        Vector3 ambient;
        Node* root = loadModelRoot((folder + "/").toUtf8().constData(), "figure", &ambient);
        QVERIFY(root);
        QCOMPARE(root->getId(), "figure");
        QVERIFY(enginetest::near(ambient, Vector3(0.25f, 0.5f, 0.75f)));
        Totals t;
        addUp(root, t);
        QVERIFY(!t.animations.empty());
        QVERIFY(t.animations.front()->findClip("first"));
        root->release();
    }

    // A name the material file lacks leaves its part undrawn and is listed.
    void missingMaterialIsListed()
    {
        const QString folder = convert(qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/samples/velmora-sample.fbx");
        QFile file(folder + "/model.material");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll().replace("material Band", "material Other");
        enginetest::writeFile(file.fileName().toStdString(), text.toStdString());
        FileSystem::setResourcePath((folder + "/").toUtf8().constData());

        Bundle* bundle = Bundle::create("model.gpb");
        QVERIFY(bundle);
        Scene* scene = bundle->loadScene();
        QVERIFY(scene);
        QCOMPARE(bundle->getMissingMaterials(), std::vector<std::string> {"Band"});
        Totals t;
        for (Node* node = scene->getFirstNode(); node; node = node->getNextSibling())
            addUp(node, t);
        QCOMPARE(t.unboundParts, 1);
        scene->release();
        bundle->release();
    }

    void lightsReachMaterials()
    {
        const QString folder = convert(qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/samples/velmora-stage.fbx");
        // The stage's spot light sits on a child node, out of the search's
        // reach; its point light sits beside the models.
        QFile file(folder + "/model.material");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll().replace("SPOT_LIGHT", "POINT_LIGHT");
        enginetest::writeFile(file.fileName().toStdString(), text.toStdString());
        Node* root = loadModelRoot((folder + "/model.gpb").toUtf8().constData());
        QVERIFY(root);
        Scene* scene = Scene::create();
        scene->addNode(root);
        root->release();
        std::vector<std::pair<float, float>> bound; // as set, as the light has it
        scene->visit([&bound](Node* node) {
            Model* model = dynamic_cast<Model*>(node->getDrawable());
            Light* point = model ? LightParameterBinder::findLight(node, Light::POINT) : nullptr;
            for (unsigned int i = 0; point && i < model->getMeshPartCount(); ++i)
                bound.emplace_back(model->getMaterial(int(i))->getParameter("u_pointLightRangeInverse")->getFloat(),
                                   point->getRangeInverse());
            return true;
        });
        QVERIFY(!bound.empty());
        for (const auto& pair : bound)
            QVERIFY(pair.first > 0 && enginetest::near(pair.first, pair.second));
        scene->release();
    }

    void refusesWhatIsNoModel_data()
    {
        QTest::addColumn<QString>("file"); // made in the folder
        QTest::addColumn<QString>("load"); // relative to the folder
        QTest::newRow("scene file without bundle") << "model.scene"
                                                   << "";
        QTest::newRow("other extension") << "model.fbx"
                                         << "model.fbx";
        QTest::newRow("missing file") << ""
                                      << "gone.gpb";
        QTest::newRow("bundle that is no bundle") << "model.gpb"
                                                  << "model.gpb";
        QTest::newRow("folder with a broken bundle") << "model.gpb"
                                                     << "";
    }

    void refusesWhatIsNoModel()
    {
        QFETCH(QString, file);
        QFETCH(QString, load);
        const QString folder = m_work.path() + QString("/bad%1").arg(++m_runs);
        QDir().mkpath(folder);
        if (!file.isEmpty())
            enginetest::writeFile((folder + "/" + file).toStdString(), "scene\n{\n path = model.gpb\n}\n");
        QVERIFY(!loadModelRoot((folder + "/" + load).toUtf8().constData()));
    }
};

QTEST_MAIN(TestBundleScene)
#include "tst_bundlescene.moc"
