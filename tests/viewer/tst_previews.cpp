#include "ZipArchiveReader.h"

#include <QDirIterator>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

// Every real model we have, converted as a user converts it (the program's
// --convert, which draws the previews off screen), and its two previews
// looked at: the model must be there, whole, big enough, lit alike from
// above and in perspective, and not black or white unless its materials
// are. All previews also go onto a contact sheet in the build folder
// ("previews/contact-sheet.png") for a person to look over.
class PreviewsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void previews_data();
    void previews();
    void reconversionIsByteIdentical();

private:
    QTemporaryDir m_temp;
    QStringList m_files;
    QStringList m_names; // below the models' folder
    std::vector<int> m_exitCodes;
    std::vector<std::pair<QString, QImage>> m_sheet; // name, both previews side by side
};

namespace {

const int kPreviewSize = 300;
const int kConverterFailed = 3; // the program's exit code for a model the converter refuses

// Damaged.
const QStringList kRefusedFiles = {"transparentTest.fbx"};
// No triangles to draw: curves, lights only.
const QStringList kEmptyFiles = {"nurbs.fbx", "lights.dae"};

// Darker than this (strongest channel) is a surface no light reaches: an
// unlit 0.8 grey reads 34, one lit only by the default fill light 70.
const int kTooDark = 48;

// Written into the test's folder and converted with the others: known colours under known lights.
const char* const kGreyUnderSun = "grey_under_sun.gltf";

// A doubly sided 2 x 2 square at y = 0 of 0.8 grey, under a white sun of intensity 1 shining straight down.
QByteArray groundUnderSun()
{
    const float floats[24] = {-1, 0, -1, 1, 0, -1, 1, 0, 1, -1, 0, 1, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0};
    const quint16 indices[6] = {0, 3, 2, 0, 2, 1};
    QByteArray data(reinterpret_cast<const char*>(floats), sizeof(floats));
    data.append(reinterpret_cast<const char*>(indices), sizeof(indices));
    return QString(
               R"({"asset":{"version":"2.0"},"extensionsUsed":["KHR_lights_punctual"],"scene":0,"scenes":[{"nodes":[0,1]}],
"extensions":{"KHR_lights_punctual":{"lights":[{"type":"directional","intensity":1}]}},"nodes":[{"mesh":0},{"rotation":[-0.7071068,0,0,0.7071068],
"translation":[0,2,0],"extensions":{"KHR_lights_punctual":{"light":0}}}],"meshes":[{"primitives":[{"material":0,
"attributes":{"POSITION":0,"NORMAL":1},"indices":2}]}],"materials":[{"doubleSided":true,"pbrMetallicRoughness":
{"baseColorFactor":[0.8,0.8,0.8,1],"metallicFactor":0}}],"buffers":[{"byteLength":108,"uri":
"data:application/octet-stream;base64,%1"}],
"bufferViews":[{"buffer":0,"byteLength":48},{"buffer":0,"byteOffset":48,"byteLength":48},{"buffer":0,"byteOffset":96,
"byteLength":12}],"accessors":[{"bufferView":0,"componentType":5126,"count":4,"type":"VEC3","min":[-1,0,-1],"max":
[1,0,1]},{"bufferView":1,"componentType":5126,"count":4,"type":"VEC3"},{"bufferView":2,"componentType":5123,
"count":6,"type":"SCALAR"}]})")
        .arg(QString(data.toBase64()))
        .toUtf8();
}

double linear(double srgb) { return srgb <= 0.04045 ? srgb / 12.92 : std::pow((srgb + 0.055) / 1.055, 2.4); }

struct Look {
    int model = 0; // pixels that are not the white background
    int onBorder = 0; // model pixels on the outermost rows and columns: cut off
    int dark = 0; // model pixels darker than kTooDark
    std::vector<double> light; // linear light of each model pixel's strongest channel, ascending
    QRect extent;
    double brightness = 0.0; // mean strongest channel of the model pixels, 0 to 1: light whatever the hue
    double whiteness = 0.0; // the same of their weakest channel
};

Look lookAt(const QImage& image)
{
    Look look;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const int strongest = std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)});
            const int weakest = std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)});
            if (weakest == 255)
                continue;
            ++look.model;
            look.onBorder += x == 0 || y == 0 || x == image.width() - 1 || y == image.height() - 1 ? 1 : 0;
            look.dark += strongest < kTooDark ? 1 : 0;
            look.light.push_back(linear(strongest / 255.0));
            look.brightness += strongest / 255.0;
            look.whiteness += weakest / 255.0;
            look.extent |= QRect(x, y, 1, 1);
        }
    }
    std::sort(look.light.begin(), look.light.end());
    look.brightness /= std::max(look.model, 1);
    look.whiteness /= std::max(look.model, 1);
    return look;
}

QString describe(const Look& look)
{
    return QString::asprintf("%d pixels, %d on the border, %d dark, %d x %d, brightness %.3f, whiteness %.3f",
                             look.model, look.onBorder, look.dark, look.extent.width(), look.extent.height(),
                             look.brightness, look.whiteness);
}

} // namespace

void PreviewsTest::initTestCase()
{
    QVERIFY(m_temp.isValid());
    const QString program = qEnvironmentVariable("VELMORA_BUILD_DIR") + "/bin/Velmora3dEncoder";
    for (const QString& folder :
         {qEnvironmentVariable("VELMORA_SHARED_MODELS"), qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/samples"}) {
        const QDir root(folder + "/..");
        QDirIterator files(folder,
                           {"*.fbx", "*.FBX", "*.gltf", "*.glb", "*.obj", "*.dae", "*.DAE", "*.ply", "*.stl", "*.3DS"},
                           QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            m_files << files.next();
            m_names << root.relativeFilePath(m_files.last());
        }
    }
    QFile sun(m_temp.filePath(kGreyUnderSun));
    QVERIFY(sun.open(QIODevice::WriteOnly) && sun.write(groundUnderSun()) > 0 && sun.flush());
    m_files << sun.fileName();
    m_names << QString("written by the test/") + kGreyUnderSun;
    m_exitCodes.resize(size_t(m_files.size()));
    // Two at a time: each is a program start, a conversion and an off-screen draw.
    std::atomic<int> next {0};
    auto convert = [&] {
        for (int i = next++; i < m_files.size(); i = next++)
            m_exitCodes[size_t(i)]
                = QProcess::execute(program, {"--convert", m_files[i], m_temp.filePath(QString::number(i) + ".vm3")});
    };
    std::thread helper(convert);
    convert();
    helper.join();
}

void PreviewsTest::cleanupTestCase()
{
    const int columns = 3, cell = kPreviewSize / 2, label = 16;
    QImage sheet(columns * 2 * cell, int(m_sheet.size() + columns - 1) / columns * (cell + label),
                 QImage::Format_RGB32);
    sheet.fill(Qt::lightGray);
    QPainter painter(&sheet);
    for (size_t i = 0; i < m_sheet.size(); ++i) {
        const QRect place(int(i % columns) * 2 * cell, int(i / columns) * (cell + label), 2 * cell, cell);
        painter.drawImage(place, m_sheet[i].second);
        painter.drawText(place.translated(2, cell).adjusted(0, 0, -4, label - cell), Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(m_sheet[i].first, Qt::ElideLeft, place.width() - 4));
    }
    painter.end();
    const QString folder = qEnvironmentVariable("VELMORA_BUILD_DIR") + "/previews";
    QVERIFY(m_sheet.empty() || (QDir().mkpath(folder) && sheet.save(folder + "/contact-sheet.png")));
}

void PreviewsTest::previews_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < m_files.size(); ++i)
        QTest::newRow(qPrintable(m_names[i])) << i;
}

void PreviewsTest::previews()
{
    QFETCH(int, index);
    const QString name = QFileInfo(m_files[index]).fileName();
    const QString container = m_temp.filePath(QString::number(index) + ".vm3");
    if (kRefusedFiles.contains(name)) {
        QCOMPARE(m_exitCodes[size_t(index)], kConverterFailed);
        QVERIFY(!QFileInfo::exists(container));
        return;
    }
    QCOMPARE(m_exitCodes[size_t(index)], 0);
    ZipArchiveReader reader;
    QVERIFY(reader.open(container) && reader.extractAll(container + "_"));
    const QImage top(container + "_/model/.meta/topdown.png");
    const QImage perspective(container + "_/model/.meta/perspective.png");
    QCOMPARE(top.size(), QSize(kPreviewSize, kPreviewSize));
    QCOMPARE(perspective.size(), QSize(kPreviewSize, kPreviewSize));
    QImage pair(2 * kPreviewSize, kPreviewSize, QImage::Format_RGB32);
    QPainter painter(&pair);
    painter.drawImage(0, 0, top);
    painter.drawImage(kPreviewSize, 0, perspective);
    painter.end();
    m_sheet.emplace_back(m_names[index], pair);

    const Look above = lookAt(top), slanted = lookAt(perspective);
    const QByteArray text = ("top: " + describe(above) + "; perspective: " + describe(slanted)).toUtf8();
    const char* seen = text.constData();
    if (kEmptyFiles.contains(name)) {
        QVERIFY2(above.model + slanted.model == 0, seen);
        return;
    }
    QVERIFY2(std::min(above.model, slanted.model) > kPreviewSize * kPreviewSize / 500, seen);
    QVERIFY2(above.onBorder + slanted.onBorder == 0, seen);
    QVERIFY2(std::max(slanted.extent.width(), slanted.extent.height()) >= kPreviewSize * 3 / 10, seen);
    QFile materials(container + "_/model/model.material");
    QVERIFY(materials.open(QIODevice::ReadOnly));
    const QByteArray colours = materials.readAll();
    // The default lights show every side; the model's own lights may leave sides dark, as its author saw it.
    const bool ownLights = colours.contains("_LIGHT_COUNT");
    if (!ownLights)
        QVERIFY2(std::min(above.brightness, slanted.brightness)
                     >= 0.55 * std::max(above.brightness, slanted.brightness),
                 seen);
    // Unless a material is black, or white (or textured, which may be either, or glowing).
    if (!colours.contains("u_diffuseColor = 0,0,0,") && !colours.contains("DIFFUSE_TEXTURE") && !ownLights)
        QVERIFY2(above.dark * 2 < above.model && slanted.dark * 2 < slanted.model, seen);
    // Every cell of the chart is lit: none of the eleven is dark, and seen from the front the 4 x 3 cells make
    // one sheet, each the blue its material asks for in its own way: linear (0.125, 0.25, 0.5) lit head-on, in sRGB.
    if (name == "maya_material_chart_7700_ascii.fbx")
        QVERIFY2(above.dark * 22 < above.model && slanted.dark * 22 < slanted.model
                     && std::abs(above.extent.width() * 3 - above.extent.height() * 4) <= 8,
                 seen);
    for (int cell = 0; name == "maya_material_chart_7700_ascii.fbx" && cell < 12; ++cell) {
        const QRgb c = top.pixel(above.extent.x() + above.extent.width() * (cell % 4 * 2 + 1) / 8,
                                 above.extent.y() + above.extent.height() * (cell / 4 * 2 + 1) / 6);
        QVERIFY2(std::abs(qRed(c) - 100) + std::abs(qGreen(c) - 137) + std::abs(qBlue(c) - 188) <= 9, seen);
    }
    // A 0.8 grey lit head-on by a white sun, plus the 0.02 floor, in sRGB: 233.
    if (name == kGreyUnderSun)
        QVERIFY2(std::abs(qRed(top.pixel(150, 150)) - 233) <= 6, qPrintable(QString::number(top.pixel(150, 150), 16)));
    // The pool of light under a spot is at least half as bright again as the ground outside its cone.
    if (name == "c_lights_camera.fbx")
        QVERIFY2(above.light[above.light.size() * 99 / 100] >= 1.5 * above.light[above.light.size() / 10], seen);
    // A round model looks as large in perspective as from above.
    if (name == "e_highpoly_200k.fbx" || name == "global_settings.fbx")
        QVERIFY2(slanted.extent.width() * 10 >= above.extent.width() * 9, seen);
    // A standing tube seen from above fills the view with its footprint.
    if (name == "a_skinned_two_takes.fbx")
        QVERIFY2(std::min(above.extent.width(), above.extent.height()) >= kPreviewSize / 3, seen);
    if (!colours.contains("u_diffuseColor = 1,1,1,") && !colours.contains("DIFFUSE_TEXTURE")
        && !colours.contains("EMISSIVE"))
        QVERIFY2(std::max(above.whiteness, slanted.whiteness) < 0.92, seen);
}

// Converted again later, from a copy with other file times in another
// folder, in another time zone, a model gives the same bytes, previews and all.
void PreviewsTest::reconversionIsByteIdentical()
{
    const int index = int(m_names.indexOf("models/generated/b_three_materials.fbx"));
    if (index < 0)
        QSKIP("generated/b_three_materials.fbx is absent");
    const QString copy = m_temp.filePath("elsewhere"), again = copy + "/out/again.vm3";
    QCOMPARE(QProcess::execute("sh",
                               {"-c",
                                "cp -r \"$0\" \"$1\" && chmod -R u+w \"$1\" && mkdir \"$1/out\" && "
                                "find \"$1\" -type f -exec touch -d 2001-02-03 {} +",
                                QFileInfo(m_files[index]).path(), copy}),
             0);
    qputenv("TZ", "Pacific/Auckland");
    QCOMPARE(QProcess::execute(qEnvironmentVariable("VELMORA_BUILD_DIR") + "/bin/Velmora3dEncoder",
                               {"--convert", copy + "/b_three_materials.fbx", again}),
             0);
    QFile first(m_temp.filePath(QString::number(index) + ".vm3")), second(again);
    QVERIFY(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly) && first.readAll() == second.readAll());
}

QTEST_MAIN(PreviewsTest)
#include "tst_previews.moc"
