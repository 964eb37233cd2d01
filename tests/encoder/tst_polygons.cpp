// Polygons are cut into triangles whole: concave, with holes joined to their outline (corners on one
// line, corners repeated), touching themselves or of tens of thousands of corners, their triangles
// add up to the polygon's area, n - 2 of them. A polygon without area or crossing itself is reported.
// The many-cornered maze is the fidelity test's part.

#include "EncoderTestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace encodertest;

namespace {

using Outline = std::vector<std::pair<double, double>>;

// The outline, then a hole in it (corners the other way round) joined to the outline's first corner by
// a seam walked out and back: how modellers store a polygon with a hole.
Outline withHole(Outline outline, const Outline& hole)
{
    outline.push_back(outline[0]);
    outline.insert(outline.end(), hole.rbegin(), hole.rend());
    outline.push_back(hole.back());
    return outline;
}

// An OBJ of the outline tilted by `tilt` degrees about the x axis, so that it lies in no coordinate plane.
QByteArray objOf(const Outline& outline, double tilt, const QString& face = QString())
{
    const double c = std::cos(tilt * M_PI / 180), s = std::sin(tilt * M_PI / 180);
    QString text, corners;
    for (const auto& [x, y] : outline) {
        text += QString("v %1 %2 %3\n").arg(x, 0, 'g', 17).arg(y * c, 0, 'g', 17).arg(y * s, 0, 'g', 17);
        corners += QString(" %1").arg(corners.count(' ') + 1);
    }
    return (text + "f" + (face.isEmpty() ? corners : " " + face) + "\n").toUtf8();
}

// The number of triangles drawn and their summed area in world space.
std::pair<int, double> trianglesOf(const BundleData& data)
{
    std::pair<int, double> sum {0, 0};
    for (const BundleData::Node& node : data.nodes) {
        const BundleData::Mesh* mesh = node.hasModel ? &meshOf(data, node) : nullptr;
        const std::vector<float> floats = mesh ? vertexFloats(*mesh) : std::vector<float>();
        const auto at = [&](uint32_t i) {
            const float* p = floats.data() + size_t(i) * floatsPerVertex(*mesh);
            return worldOf(data, node) * aiVector3D(p[0], p[1], p[2]);
        };
        for (size_t part = 0; mesh && part < mesh->parts.size(); ++part) {
            const std::vector<uint32_t> i = indicesOf(mesh->parts[part]);
            for (size_t t = 0; t + 2 < i.size(); t += 3, ++sum.first)
                sum.second += 0.5 * double(((at(i[t + 1]) - at(i[t])) ^ (at(i[t + 2]) - at(i[t]))).Length());
        }
    }
    return sum;
}

} // namespace

class TestPolygons : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;

private slots:
    void polygonKeepsItsArea_data()
    {
        QTest::addColumn<QByteArray>("obj");
        QTest::addColumn<int>("triangles");
        QTest::addColumn<double>("area");
        QTest::addColumn<bool>("reported");
        // C and U of area 7, less holes of 1.25.
        const Outline c {{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 2}, {3, 2}, {3, 3}, {0, 3}};
        const Outline u {{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}};
        const Outline cHole = withHole(c, {{0.25, 0.25}, {0.75, 0.25}, {0.75, 2.75}, {0.25, 2.75}});
        const Outline uHole = withHole(u, {{0.25, 0.25}, {2.75, 0.25}, {2.75, 0.75}, {0.25, 0.75}});
        const Outline touching {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}, {0, 1}};
        QTest::newRow("concave C with a hole") << objOf(cHole, 0) << 12 << 5.75 << false;
        QTest::newRow("concave U with a hole, tilted") << objOf(uHole, 35) << 12 << 5.75 << false;
        QTest::newRow("touching itself") << objOf(touching, 20, "1 2 3 4 5 6 3 8") << 6 << 2.0 << false;
        QTest::newRow("no area: reported") << objOf({{0, 0}, {1, 0}, {2, 0}, {3, 0}}, 0) << 0 << 0.0 << true;
        QTest::newRow("crossing itself: reported") << objOf({{0, 0}, {3, 3}, {3, 0}, {0, 1}}, 0) << 0 << 0.0 << true;
    }

    void polygonKeepsItsArea()
    {
        QFETCH(QByteArray, obj);
        QFETCH(int, triangles);
        QFETCH(double, area);
        QFETCH(bool, reported);
        const QString input = m_work.filePath(QString(QTest::currentDataTag()) + ".obj");
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(obj) == obj.size());
        file.close();
        BundleData data;
        Run run;
        QVERIFY(convertAndRead(input, m_work.filePath(QTest::currentDataTag()), "take", data, run));
        QCOMPARE(badMessageLine(run), QString());
        QCOMPARE(codes(run).contains("2014"), reported);
        const auto [count, sum] = trianglesOf(data);
        QCOMPARE(count, triangles);
        QVERIFY2(std::fabs(sum - area) <= 1e-5 * area, qPrintable(QString("%1 of %2").arg(sum).arg(area)));
    }
};

QTEST_GUILESS_MAIN(TestPolygons)
#include "tst_polygons.moc"
