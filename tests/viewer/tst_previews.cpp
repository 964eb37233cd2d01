#include "ZipArchiveReader.h"

#include <QDirIterator>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
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
// are. A contact sheet of all previews lands in the build folder
// ("previews/contact-sheet.png") for a person to look over.
class PreviewsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void previews_data();
    void previews();

private:
    struct Conversion {
        QString file;
        int exitCode = -1;
    };
    struct SheetEntry {
        QString label;
        QImage top;
        QImage perspective;
    };

    QTemporaryDir m_temp;
    std::vector<Conversion> m_conversions;
    std::vector<SheetEntry> m_sheet;
};

namespace {

const int previewSize = 300;
const int converterFailed = 3; // the program's exit code for a model the converter refuses

// Files that must not convert: damaged, or in versions and byte orders the
// converter does not read. Paths below the shared models folder.
const char* const refusedFiles[] = {
    "assimp/test/models/FBX/transparentTest.fbx",
    "ufbx/data/maya_cube_6100_ascii.fbx",
    "ufbx/data/maya_cube_6100_binary.fbx",
    "ufbx/data/maya_cube_big_endian_7500_binary.fbx",
};
// Files that convert but hold no triangles to draw: curves, lights only.
const char* const emptyFiles[] = {"threejs/examples/models/fbx/nurbs.fbx", "assimp/test/models/Collada/lights.dae"};

struct Look {
    int model = 0; // pixels that are not the white background
    int onBorder = 0; // model pixels on the outermost rows and columns: cut off
    int black = 0; // pure black model pixels
    QRect extent;
    // Mean of the model pixels' strongest channel, 0 to 1: how much light
    // they show, whatever their hue.
    double brightness = 0.0;
    double whiteness = 0.0; // the same of their weakest channel
};

Look lookAt(const QImage& image)
{
    Look look;
    double light = 0.0, white = 0.0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if ((pixel | 0xff000000u) == 0xffffffffu)
                continue;
            ++look.model;
            look.onBorder += x == 0 || y == 0 || x == image.width() - 1 || y == image.height() - 1 ? 1 : 0;
            const int strongest = std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)});
            look.black += strongest <= 3 ? 1 : 0;
            light += strongest / 255.0;
            white += std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)}) / 255.0;
            look.extent |= QRect(x, y, 1, 1);
        }
    }
    look.brightness = look.model ? light / look.model : 0.0;
    look.whiteness = look.model ? white / look.model : 0.0;
    return look;
}

// What the converted materials say about the model's colour: the diffuse
// colours the converter wrote, and whether a texture may paint over them.
struct MaterialColours {
    bool black = false; // some part is meant to be black
    bool white = false; // some part is white, or textured
};

MaterialColours materialColours(const QString& materialFile)
{
    QFile file(materialFile);
    MaterialColours colours;
    if (!file.open(QIODevice::ReadOnly))
        return colours;
    const QString text = QString::fromUtf8(file.readAll());
    static const QRegularExpression diffuse(QStringLiteral("u_diffuseColor = ([0-9.e-]+),([0-9.e-]+),([0-9.e-]+)"));
    for (auto match = diffuse.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch colour = match.next();
        const double r = colour.captured(1).toDouble(), g = colour.captured(2).toDouble(),
                     b = colour.captured(3).toDouble();
        colours.black = colours.black || std::max({r, g, b}) < 0.05;
        colours.white = colours.white || std::min({r, g, b}) > 0.95;
    }
    colours.white = colours.white || text.contains(QStringLiteral("DIFFUSE_TEXTURE"));
    return colours;
}

QString describe(const char* view, const Look& look)
{
    return QStringLiteral(
               "%1: %2 model pixels, %3 on the border, %4 black, extent %5 x %6, brightness %7, whiteness %8")
        .arg(QLatin1String(view))
        .arg(look.model)
        .arg(look.onBorder)
        .arg(look.black)
        .arg(look.extent.width())
        .arg(look.extent.height())
        .arg(look.brightness, 0, 'f', 3)
        .arg(look.whiteness, 0, 'f', 3);
}

} // namespace

void PreviewsTest::initTestCase()
{
    QVERIFY(m_temp.isValid());
    const QString shared = qEnvironmentVariable("VELMORA_SHARED_MODELS");
    const QString program = qEnvironmentVariable("VELMORA_BUILD_DIR") + "/bin/Velmora3dEncoder";
    QDirIterator files(shared,
                       {"*.fbx", "*.FBX", "*.gltf", "*.glb", "*.obj", "*.dae", "*.DAE", "*.ply", "*.stl", "*.3DS"},
                       QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        m_conversions.push_back({QDir(shared).relativeFilePath(files.next())});
    std::sort(m_conversions.begin(), m_conversions.end(),
              [](const Conversion& a, const Conversion& b) { return a.file < b.file; });

    // Two conversions at a time: each is a whole program start, converter
    // run and off-screen draw, and most of them wait on the disk.
    std::atomic<size_t> next {0};
    auto convert = [&] {
        for (size_t i = next++; i < m_conversions.size(); i = next++) {
            m_conversions[i].exitCode = QProcess::execute(
                program,
                {"--convert", shared + "/" + m_conversions[i].file, m_temp.filePath(QString::number(i) + ".vm3")});
        }
    };
    std::thread helper(convert);
    convert();
    helper.join();
}

void PreviewsTest::cleanupTestCase()
{
    // Three models to a row, each as its top view, its perspective view and
    // its name underneath.
    const int cell = previewSize / 2, label = 16, columns = 3;
    const int rows = int(m_sheet.size() + columns - 1) / columns;
    QImage sheet(columns * 2 * cell, rows * (cell + label), QImage::Format_RGB32);
    sheet.fill(Qt::lightGray);
    QPainter painter(&sheet);
    for (size_t i = 0; i < m_sheet.size(); ++i) {
        const QPoint corner(int(i % columns) * 2 * cell, int(i / columns) * (cell + label));
        painter.drawImage(QRect(corner, QSize(cell, cell)), m_sheet[i].top);
        painter.drawImage(QRect(corner + QPoint(cell, 0), QSize(cell, cell)), m_sheet[i].perspective);
        painter.drawText(QRect(corner + QPoint(2, cell), QSize(2 * cell - 4, label)), Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(m_sheet[i].label, Qt::ElideLeft, 2 * cell - 4));
    }
    painter.end();
    const QString folder = qEnvironmentVariable("VELMORA_BUILD_DIR") + "/previews";
    if (!m_sheet.empty() && QDir().mkpath(folder))
        sheet.save(folder + "/contact-sheet.png");
}

void PreviewsTest::previews_data()
{
    QTest::addColumn<int>("index");
    if (m_conversions.empty())
        QSKIP("no shared models");
    for (size_t i = 0; i < m_conversions.size(); ++i)
        QTest::newRow(qPrintable(m_conversions[i].file)) << int(i);
}

void PreviewsTest::previews()
{
    QFETCH(int, index);
    const Conversion& conversion = m_conversions[size_t(index)];
    const auto listed = [&](const auto& list) {
        return std::any_of(std::begin(list), std::end(list),
                           [&](const char* file) { return conversion.file == QLatin1String(file); });
    };
    if (listed(refusedFiles)) {
        QCOMPARE(conversion.exitCode, converterFailed);
        QVERIFY(!QFileInfo::exists(m_temp.filePath(QString::number(index) + ".vm3")));
        return;
    }
    QCOMPARE(conversion.exitCode, 0);
    const QString unpacked = m_temp.filePath(QString::number(index));
    ZipArchiveReader reader;
    QVERIFY(reader.open(m_temp.filePath(QString::number(index) + ".vm3")));
    QVERIFY2(reader.extractAll(unpacked), qPrintable(reader.errorString()));
    const QImage top(unpacked + "/model/.meta/topdown.png");
    const QImage perspective(unpacked + "/model/.meta/perspective.png");
    QCOMPARE(top.size(), QSize(previewSize, previewSize));
    QCOMPARE(perspective.size(), QSize(previewSize, previewSize));
    m_sheet.push_back({conversion.file, top, perspective});
    if (listed(emptyFiles)) {
        QCOMPARE(lookAt(top).model + lookAt(perspective).model, 0);
        return;
    }

    const Look above = lookAt(top);
    const Look slanted = lookAt(perspective);
    const QString seen = describe("top", above) + "; " + describe("perspective", slanted);
    const int blank = previewSize * previewSize / 500;
    QVERIFY2(above.model > blank && slanted.model > blank, qPrintable("blank: " + seen));
    QVERIFY2(above.onBorder == 0 && slanted.onBorder == 0, qPrintable("cut off: " + seen));
    QVERIFY2(std::max(slanted.extent.width(), slanted.extent.height()) >= previewSize * 3 / 10,
             qPrintable("too small: " + seen));
    QVERIFY2(std::min(above.brightness, slanted.brightness) >= 0.6 * std::max(above.brightness, slanted.brightness),
             qPrintable("lit unlike: " + seen));
    const MaterialColours colours = materialColours(unpacked + "/model/model.material");
    if (!colours.black) {
        QVERIFY2(above.black * 2 < above.model && slanted.black * 2 < slanted.model, qPrintable("black: " + seen));
    }
    if (!colours.white) {
        QVERIFY2(above.whiteness < 0.92 && slanted.whiteness < 0.92, qPrintable("white: " + seen));
    }
}

QTEST_MAIN(PreviewsTest)
#include "tst_previews.moc"
