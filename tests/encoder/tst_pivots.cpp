// FBX pivots, offsets, pre- and post-rotations and object offsets: the bundle shows the nodes the
// artist made, and lights shine the way the artist pointed them.

#include "EncoderTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace encodertest;

class TestPivots : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QString m_fixtures;
    int m_runs = 0;

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        m_fixtures = m_work.path() + "/fixtures";
        QVERIFY(makeFixtures(m_fixtures));
    }

    void nodesStayWhereTheChainsPutThem_data()
    {
        // The source and the helpers an animation keeps. Where the nodes land against the exporters' own
        // geometry is the fidelity test's part; checkConversion holds them to the importer's exact chains.
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("keptHelpers");
        const QString reference = sharedModels() + "/../fbx-reference/";
        QTest::newRow("Maya post-rotation with a rotation order")
            << reference + "maya_post_rotate_order_7500_binary.fbx" << 0;
        QTest::newRow("pre- and post-rotation on a hierarchy")
            << reference + "synthetic_pre_post_rotate_7500_ascii.fbx" << 0;
        // Object offsets (one mirroring, with a child drawing the same mesh; one on a skinned mesh) and an
        // animated rotation about a pivot.
        QTest::newRow("object offsets, animated pivot") << "object_offsets.fbx" << 2;
    }

    void nodesStayWhereTheChainsPutThem()
    {
        QFETCH(QString, source);
        QFETCH(int, keptHelpers);
        if (!source.contains('/'))
            source = m_fixtures + "/" + source;
        if (!QFile::exists(source))
            QSKIP("shared model absent");
        BundleData b;
        Run run;
        checkConversion(source, m_work.path() + QString("/model%1").arg(++m_runs), b, run);
        if (QTest::currentTestFailed())
            return;
        int helpers = 0;
        for (const BundleData::Node& node : b.nodes)
            helpers += node.id.find("$AssimpFbx$") != std::string::npos;
        QCOMPARE(helpers, keptHelpers);
        QCOMPARE(codes(run).contains("2018"), keptHelpers > 0);
    }

    // Maya writes its directional light with PostRotation -90,0,0 and its camera with 0,-90,0: with
    // them both look at the chart.
    void lightAndCameraLookAtTheChart()
    {
        const QString source = sharedModels() + "/ufbx/data/maya_material_chart_7700_ascii.fbx";
        if (!QFile::exists(source))
            QSKIP("shared model absent");
        BundleData b;
        Run run;
        QVERIFY(convertAndRead(source, m_work.path() + QString("/model%1").arg(++m_runs), "take", b, run));
        aiVector3D chart; // the mean of the cells' origins
        int cells = 0;
        std::vector<const BundleData::Node*> lookers;
        for (const BundleData::Node& node : b.nodes) {
            if (node.hasModel)
                chart += worldOf(b, node) * aiVector3D(0, 0, 0), ++cells;
            if (node.light.type == BundleData::DIRECTIONAL || node.camera.type != BundleData::NO_CAMERA)
                lookers.push_back(&node);
        }
        QCOMPARE(lookers.size(), size_t(2));
        for (const BundleData::Node* node : lookers) {
            // Lights and cameras look down their node's -Z axis.
            const aiMatrix4x4 world = worldOf(b, *node);
            const aiVector3D looks = aiVector3D(-world.a3, -world.b3, -world.c3).Normalize();
            const aiVector3D toChart = (chart / float(cells) - aiVector3D(world.a4, world.b4, world.c4)).Normalize();
            QVERIFY2(looks * toChart > std::cos(0.5f), node->id.c_str());
        }
    }
};

QTEST_GUILESS_MAIN(TestPivots)
#include "tst_pivots.moc"
