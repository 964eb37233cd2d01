// The encoder's world-space geometry against the exporting programs' own. Each FBX file of the
// reference folder beside the shared models is converted by model-encoder; its triangles are read
// from the bundle and placed by their nodes, then
// compared with the exporter's OBJ of the same scene after the one global axis and unit change that
// fits best: triangle counts within 2 %, and the mean distance from each surface to the other within
// 0.5 % of the reference's bounding-box diagonal. Files without a reference are held to a count.

#include "EncoderTestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numeric>

using namespace encodertest;

namespace {

using Vec = aiVector3t<double>;
using Matrix = aiMatrix4x4t<double>;
using Triangle = std::array<Vec, 3>;

const double kCountSlack = 0.02, kDistanceSlack = 0.005;
const int kSamples = 3000;

// ---- the bundle: every triangle drawn, in world space, as the engine reads it (the other encoder tests
// hold that reading to the importer's reading of the source) ----

std::vector<Triangle> bundleTriangles(const QString& path, QString& problem)
{
    BundleData data;
    problem = bundleProblem(path, data);
    std::vector<Triangle> triangles;
    for (const BundleData::Node& node : data.nodes) {
        if (!node.hasModel)
            continue;
        const BundleData::Mesh& mesh = meshOf(data, node);
        const std::vector<float> floats = vertexFloats(mesh);
        const aiMatrix4x4 world = worldOf(data, node);
        for (const BundleData::Part& part : mesh.parts) {
            const std::vector<uint32_t> indices = indicesOf(part);
            for (size_t i = 0; i + 2 < indices.size(); i += 3) {
                Triangle t;
                for (size_t k = 0; k < 3; ++k) {
                    const float* p = &floats.at(indices[i + k] * floatsPerVertex(mesh));
                    const aiVector3D placed = world * aiVector3D(p[0], p[1], p[2]);
                    t[k] = Vec(placed.x, placed.y, placed.z);
                }
                triangles.push_back(t);
            }
        }
    }
    return triangles;
}

// ---- the reference: world-space polygons of an OBJ, fanned into triangles ----

struct Reference {
    std::vector<Triangle> triangles;
    double tolerance = 0; // "# ufbx:tolerance=X": a distance the exporter's own comparison allows
};

bool readObj(const QString& path, Reference& reference)
{
    QFile file(path);
    std::vector<Vec> positions;
    std::map<QString, double> settings {{"position_scale", 1.0}}; // from "# ufbx:key=value", ahead of the data
    bool sound = file.open(QIODevice::ReadOnly | QIODevice::Text);
    while (sound && !file.atEnd()) {
        const QStringList words = QString::fromUtf8(file.readLine()).simplified().split(' ', Qt::SkipEmptyParts);
        const QStringList setting = words.value(1).mid(5).split('=');
        if (words.value(0) == "#" && words.value(1).startsWith("ufbx:"))
            settings[setting[0]] = setting.value(1).toDouble();
        else if (words.value(0) == "v" && words.size() >= 4)
            positions.push_back(Vec(words[1].toDouble(), words[2].toDouble(), words[3].toDouble())
                                * settings["position_scale"]);
        std::vector<Vec> corners; // of a polygon, fanned out from its first
        for (int w = 1; words.value(0) == "f" && w < words.size(); ++w) {
            const long index = words[w].section('/', 0, 0).toLong();
            const long at = index < 0 ? long(positions.size()) + index : index - 1;
            sound = sound && at >= 0 && at < long(positions.size());
            corners.push_back(sound ? positions[size_t(at)] : Vec());
        }
        for (size_t k = 2; k < corners.size(); ++k)
            reference.triangles.push_back({corners[0], corners[k - 1], corners[k]});
    }
    reference.tolerance = settings["tolerance"];
    return sound && !reference.triangles.empty();
}

// ---- distances: points spread over one surface against the triangles of the other ----

double pointTriangleDistance(const Vec& p, const Triangle& t)
{
    const Vec n = (t[1] - t[0]) ^ (t[2] - t[0]);
    // Over the triangle's inside: the distance to its plane; elsewhere to the nearest edge.
    bool inside = n.SquareLength() > 0;
    for (size_t e = 0; e < 3; ++e)
        inside = inside && ((t[(e + 1) % 3] - t[e]) ^ (p - t[e])) * n >= 0;
    if (inside)
        return std::fabs((p - t[0]) * n) / n.Length();
    double best = INFINITY;
    for (size_t e = 0; e < 3; ++e) {
        const Vec a = t[e], d = t[(e + 1) % 3] - a;
        const double f = d.SquareLength() > 0 ? std::clamp((p - a) * d / d.SquareLength(), 0.0, 1.0) : 0.0;
        best = std::min(best, (p - (a + d * f)).Length());
    }
    return best;
}

struct Box {
    Vec low {INFINITY, INFINITY, INFINITY}, high {-INFINITY, -INFINITY, -INFINITY};
    void add(const Vec& p)
    {
        for (unsigned i = 0; i < 3; ++i)
            low[i] = std::min(low[i], p[i]), high[i] = std::max(high[i], p[i]);
    }
    double diagonal() const { return (high - low).Length(); }
};

Box boxOf(const std::vector<Triangle>& triangles, size_t first = 0, size_t end = SIZE_MAX)
{
    Box box;
    for (size_t t = first; t < std::min(end, triangles.size()); ++t)
        for (const Vec& p : triangles[t])
            box.add(p);
    return box;
}

// The distance from `p` to the nearest of `triangles`. The references hold a few thousand triangles at
// most, so every one is tried.
double distanceTo(const Vec& p, const std::vector<Triangle>& triangles)
{
    double best = INFINITY;
    for (const Triangle& t : triangles)
        best = std::min(best, pointTriangleDistance(p, t));
    return best;
}

// From points spread over `from` by area (the same points every run) to the nearest of `to`.
double meanDistance(const std::vector<Triangle>& from, const std::vector<Triangle>& to)
{
    std::vector<double> area(from.size());
    for (size_t t = 0; t < from.size(); ++t)
        area[t] = ((from[t][1] - from[t][0]) ^ (from[t][2] - from[t][0])).Length();
    std::partial_sum(area.begin(), area.end(), area.begin());
    if (area.empty() || !(area.back() > 0))
        return INFINITY;
    double sum = 0;
    for (int i = 0; i < kSamples; ++i) {
        const double at = (i + 0.5) / kSamples * area.back();
        const Triangle& t = from[size_t(std::upper_bound(area.begin(), area.end() - 1, at) - area.begin())];
        double a = std::fmod(i * 0.7548776662, 1.0), b = std::fmod(i * 0.5698402910, 1.0);
        if (a + b > 1)
            a = 1 - a, b = 1 - b;
        sum += distanceTo(t[0] + (t[1] - t[0]) * a + (t[2] - t[0]) * b, to);
    }
    return sum / kSamples;
}

// ---- the global change from ours (Y up, metres) to the reference's axes and unit ----

// Reference = `turn` * ours: one of the 24 rotations that permute the axes (no mirror: the encoder
// never mirrors a scene), times the size of a metre in one of the units FBX files name (ours are
// metres; the reference is in the file's unit, and so are we when the file names none).
struct Change {
    Matrix turn;
    QString text() const
    {
        QString s;
        for (unsigned r = 0; r < 3; ++r)
            for (unsigned c = 0; c < 3; ++c)
                s += turn[r][c] == 0 ? QString()
                                     : QString(r ? ", " : "(") + (turn[r][c] < 0 ? '-' : '+') + QChar('x' + c);
        return s + QString(") x %1").arg(std::fabs(turn[0][0] + turn[0][1] + turn[0][2]));
    }
};

std::vector<Change> candidateChanges()
{
    std::vector<Change> changes;
    std::array<unsigned, 3> axis {0, 1, 2};
    do {
        for (int signs = 0; signs < 8; ++signs)
            for (double centimetres : {0.1, 1.0, 2.54, 30.48, 91.44, 100.0, 100000.0}) {
                const double scale = 100 / centimetres;
                Matrix turn;
                for (unsigned i = 0; i < 3; ++i)
                    turn[i][i] = 0, turn[i][axis[i]] = signs & (1 << i) ? -scale : scale;
                if (turn.Determinant() > 0)
                    changes.push_back({turn});
            }
    } while (std::next_permutation(axis.begin(), axis.end()));
    return changes;
}

struct Fit {
    Change change {};
    double there = INFINITY, back = INFINITY; // mean distance ours -> reference, reference -> ours
};

// Boxes shortlist the changes (several fit a cube alike); surface distances choose among those.
Fit bestFit(const std::vector<Triangle>& ours, const std::vector<Triangle>& reference)
{
    const Box target = boxOf(reference), own = boxOf(ours);
    std::vector<std::pair<double, Change>> ranked;
    for (const Change& change : candidateChanges()) {
        Box moved;
        moved.add(change.turn * own.low), moved.add(change.turn * own.high);
        ranked.push_back({(moved.low - target.low).Length() + (moved.high - target.high).Length(), change});
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    Fit best;
    for (const auto& [boxError, change] : ranked) {
        if (boxError > ranked[0].first + 0.02 * target.diagonal())
            break;
        std::vector<Triangle> moved(ours);
        for (Triangle& t : moved)
            for (Vec& p : t)
                p = change.turn * p;
        const Fit fit {change, meanDistance(moved, reference), meanDistance(reference, moved)};
        best = fit.there + fit.back < best.there + best.back ? fit : best;
    }
    return best;
}

} // namespace

class TestFidelity : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;
    int m_runs = 0;

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        QVERIFY2(QFile::exists(encoderPath()), qPrintable(encoderPath()));
    }

    void geometryMatchesExporter_data()
    {
        // Held to the exporter's OBJ `reference` where there is one, else to `triangles` alone.
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<int>("triangles");
        const struct {
            const char* file;
            const char* reference;
            int triangles;
        } rows[] = {{"blender_279_default_6100_ascii.fbx", "blender_279_default.obj", 0},
                    {"max2009_blob_6100_binary.fbx", "max2009_blob.obj", 0},
                    {"maya_pivots_6100_ascii.fbx", "maya_pivots.obj", 0},
                    {"zbrush_d20_6100_binary.fbx", "zbrush_d20.obj", 0},
                    {"max7_cube_5000_binary.fbx", "max7_cube.obj", 0},
                    // Also in the shared models' ufbx/data, byte for byte.
                    {"maya_cube_6100_ascii.fbx", "maya_cube.obj", 0},
                    {"maya_cube_6100_binary.fbx", "maya_cube.obj", 0},
                    {"maya_cube_big_endian_7500_binary.fbx", "maya_cube_big_endian.obj", 0},
                    {"maya_post_rotate_order_7500_binary.fbx", "maya_post_rotate_order.obj", 0},
                    {"synthetic_pre_post_rotate_7500_ascii.fbx", "synthetic_pre_post_rotate.obj", 0},
                    // A circle of edges: nothing to draw, which a warning says.
                    {"blender_279_edge_circle_7400_binary.fbx", "", 0},
                    // 789 polygons, one of them of 25 122 corners, triangulated completely.
                    {"maya_ngon_maze_7700_binary.fbx", "", 41136},
                    // The shared models' one FBX with an OBJ of the same scene.
                    {"../models/assimp/test/models/FBX/spider.fbx", "../models/assimp/test/models/OBJ/spider.obj", 0}};
        const QString folder = sharedModels() + "/../fbx-reference/";
        for (const auto& row : rows)
            QTest::newRow(QFileInfo(row.file).fileName().toUtf8())
                << folder + row.file << (*row.reference ? folder + row.reference : QString()) << row.triangles;
    }

    void geometryMatchesExporter()
    {
        QFETCH(QString, file);
        QFETCH(QString, reference);
        QFETCH(int, triangles);
        if (!QFileInfo::exists(file) || (!reference.isEmpty() && !QFileInfo::exists(reference)))
            QSKIP("reference files not present");
        const QString bundle = m_work.path() + QString("/model%1/model.gpb").arg(++m_runs);
        QDir().mkpath(QFileInfo(bundle).path());
        const Run run = convert(file, bundle);
        QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(QString("exit %1: %2").arg(run.exitCode).arg(run.err)));
        QCOMPARE(badMessageLine(run), QString());
        QString problem;
        const std::vector<Triangle> ours = bundleTriangles(bundle, problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const int count = int(ours.size());
        Reference expected;
        QVERIFY2(reference.isEmpty() || readObj(reference, expected), qPrintable("unreadable " + reference));
        const int want = reference.isEmpty() ? triangles : int(expected.triangles.size());
        // Without a reference the count is the file's own, exactly: every polygon cut whole.
        QVERIFY2(std::abs(count - want) <= (reference.isEmpty() ? 0 : kCountSlack * want),
                 qPrintable(QString("%1 triangles for the reference's %2").arg(count).arg(want)));
        if (want == 0)
            QVERIFY2(run.out.contains("Warning (GP#"), qPrintable("nothing drawn, and no warning says so"));
        if (reference.isEmpty())
            return;
        const Fit fit = bestFit(ours, expected.triangles);
        const double diagonal = boxOf(expected.triangles).diagonal();
        const double allowed = std::max(kDistanceSlack * diagonal, expected.tolerance);
        const QString numbers = QString::asprintf(
            "%d triangles for %d; mean distance %g from ours, %g back, %g allowed (diagonal %g); reference = %s ours",
            count, want, fit.there, fit.back, allowed, diagonal, qPrintable(fit.change.text()));
        qInfo().noquote() << numbers;
        QVERIFY2(fit.there <= allowed && fit.back <= allowed, qPrintable(numbers));
    }
};

QTEST_GUILESS_MAIN(TestFidelity)
#include "tst_fidelity.moc"
