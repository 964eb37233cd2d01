// FBX pivots, offsets, pre- and post-rotations and object offsets: the bundle shows the nodes the
// artist made, where the exporter placed them, and lights shine the way the artist pointed them.

#include "EncoderTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <map>

using namespace encodertest;

namespace {

struct Box {
    aiVector3D lo {1e30f, 1e30f, 1e30f}, hi {-1e30f, -1e30f, -1e30f};
    void add(const aiVector3D& p)
    {
        lo = aiVector3D(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
        hi = aiVector3D(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    }
    aiVector3D centre() const { return (lo + hi) * 0.5f; }
};

// Per object ("g" line before its faces) of a reference .obj, the box of the corners its faces use.
std::map<std::string, Box> objectBoxes(const QString& path)
{
    std::map<std::string, Box> boxes;
    QFile file(path);
    file.open(QIODevice::ReadOnly | QIODevice::Text);
    std::vector<aiVector3D> points;
    std::string group;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        const QStringList words = line.simplified().split(' ');
        if (words[0] == "v" && words.size() >= 4)
            points.emplace_back(words[1].toFloat(), words[2].toFloat(), words[3].toFloat());
        else if (words[0] == "g" && words.size() >= 2)
            group = words[1].toStdString();
        for (int i = 1; words[0] == "f" && i < words.size(); ++i)
            boxes[group].add(points.at(size_t(words[i].section('/', 0, 0).toInt() - 1)));
    }
    return boxes;
}

// The box of a node's vertices in the file's own axes and units: the world without what the root adds.
Box fileSpaceBox(const BundleData& b, const BundleData::Node& node)
{
    aiMatrix4x4 world = worldOf(b, node);
    const BundleData::Node& top = b.nodes[size_t(b.roots.at(0))];
    if (b.roots.size() == 1 && top.id == "RootNode")
        world = worldOf(b, top).Inverse() * world;
    Box box;
    const std::vector<float> vertices = vertexFloats(meshOf(b, node));
    for (size_t v = 0; v < vertices.size(); v += floatsPerVertex(meshOf(b, node)))
        box.add(world * aiVector3D(vertices[v], vertices[v + 1], vertices[v + 2]));
    return box;
}

} // namespace

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
        // The source, its exporter's world-space geometry (or none), helpers an animation keeps.
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<int>("keptHelpers");
        const QString reference = sharedModels() + "/../fbx-reference/";
        QTest::newRow("Maya post-rotation with a rotation order")
            << reference + "maya_post_rotate_order_7500_binary.fbx" << reference + "maya_post_rotate_order.obj" << 0;
        QTest::newRow("pre- and post-rotation on a hierarchy") << reference + "synthetic_pre_post_rotate_7500_ascii.fbx"
                                                               << reference + "synthetic_pre_post_rotate.obj" << 0;
        QTest::newRow("pivots and offsets, mirrored")
            << sharedModels() + "/assimp/test/models/FBX/cubes_with_mirroring_and_pivot.fbx" << QString() << 0;
        // Object offsets (one mirroring, with a child drawing the same mesh; one on a skinned mesh) and an
        // animated rotation about a pivot.
        QTest::newRow("object offsets, animated pivot") << "object_offsets.fbx" << QString() << 2;
    }

    void nodesStayWhereTheChainsPutThem()
    {
        QFETCH(QString, source);
        QFETCH(QString, reference);
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
        if (reference.isEmpty())
            return;
        const std::map<std::string, Box> boxes = objectBoxes(reference);
        Box all;
        for (const auto& object : boxes)
            all.add(object.second.lo), all.add(object.second.hi);
        const float tolerance = 0.005f * (all.hi - all.lo).Length();
        for (const auto& [name, want] : boxes) {
            const BundleData::Node* node = nodeNamed(b, name);
            QVERIFY2(node && node->hasModel, name.c_str());
            const Box got = fileSpaceBox(b, *node);
            QVERIFY2((got.lo - want.lo).Length() <= tolerance && (got.hi - want.hi).Length() <= tolerance,
                     name.c_str());
        }
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
        Box chart;
        std::vector<const BundleData::Node*> lookers;
        for (const BundleData::Node& node : b.nodes) {
            if (node.hasModel)
                chart.add(worldOf(b, node) * aiVector3D(0, 0, 0));
            if (node.light.type == BundleData::DIRECTIONAL || node.camera.type != BundleData::NO_CAMERA)
                lookers.push_back(&node);
        }
        QCOMPARE(lookers.size(), size_t(2));
        for (const BundleData::Node* node : lookers) {
            // Lights and cameras look down their node's -Z axis.
            const aiMatrix4x4 world = worldOf(b, *node);
            const aiVector3D looks = aiVector3D(-world.a3, -world.b3, -world.c3).Normalize();
            const aiVector3D toChart = (chart.centre() - aiVector3D(world.a4, world.b4, world.c4)).Normalize();
            QVERIFY2(looks * toChart > std::cos(0.5f), node->id.c_str());
        }
    }
};

QTEST_GUILESS_MAIN(TestPivots)
#include "tst_pivots.moc"
