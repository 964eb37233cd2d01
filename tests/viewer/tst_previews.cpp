#include "ZipArchiveReader.h"

#include <QDirIterator>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
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

struct Look {
    int model = 0; // pixels that are not the white background
    int onBorder = 0; // model pixels on the outermost rows and columns: cut off
    int black = 0;
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
            look.black += strongest <= 3 ? 1 : 0;
            look.brightness += strongest / 255.0;
            look.whiteness += weakest / 255.0;
            look.extent |= QRect(x, y, 1, 1);
        }
    }
    look.brightness /= std::max(look.model, 1);
    look.whiteness /= std::max(look.model, 1);
    return look;
}

QString describe(const Look& look)
{
    return QString::asprintf("%d pixels, %d on the border, %d black, %d x %d, brightness %.3f, whiteness %.3f",
                             look.model, look.onBorder, look.black, look.extent.width(), look.extent.height(),
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
    QVERIFY2(std::min(above.brightness, slanted.brightness) >= 0.6 * std::max(above.brightness, slanted.brightness),
             seen);
    // Unless a material is black, or white (or textured, which may be either).
    QFile materials(container + "_/model/model.material");
    QVERIFY(materials.open(QIODevice::ReadOnly));
    const QByteArray colours = materials.readAll();
    if (!colours.contains("u_diffuseColor = 0,0,0,"))
        QVERIFY2(above.black * 2 < above.model && slanted.black * 2 < slanted.model, seen);
    if (!colours.contains("u_diffuseColor = 1,1,1,") && !colours.contains("DIFFUSE_TEXTURE"))
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
