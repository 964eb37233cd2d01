// Texture export: finding referenced files, extracting embedded data,
// converting to PNG, and never writing outside "tex/" of the model folder.

#include "EncoderTestSupport.h"
#include "TextureExporter.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

using encodertest::countOf;
using encodertest::filesBelow;
using encodertest::setArray;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// Uncompressed true-colour TGA header, top row first (descriptor bit 5).
QByteArray tgaHeader(int width, int height)
{
    QByteArray header(18, 0);
    header[2] = 2;
    header[12] = char(width & 0xFF), header[13] = char(width >> 8);
    header[14] = char(height & 0xFF), header[15] = char(height >> 8);
    header[16] = 24, header[17] = 0x20;
    return header;
}

// A w x h image whose pixel (x, y) is (x * 16, y * 16, 200), as "PNG", "JPG" or "TGA".
QByteArray image(int width, int height, const char* format)
{
    QImage image(width, height, QImage::Format_RGB888);
    QByteArray tga = tgaHeader(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x * 16, y * 16, 200));
            tga.append(char(200)).append(char(y * 16)).append(char(x * 16));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 60);
    return QByteArray(format) == "TGA" ? tga : bytes;
}

aiTexture* compressedTexture(const std::string& fileName, const QByteArray& bytes, const char* hint)
{
    auto* texture = new aiTexture;
    texture->mWidth = unsigned(bytes.size());
    texture->pcData = new aiTexel[(size_t(bytes.size()) + sizeof(aiTexel) - 1) / sizeof(aiTexel)];
    std::memcpy(texture->pcData, bytes.constData(), size_t(bytes.size()));
    std::strncpy(texture->achFormatHint, hint, HINTMAXTEXTURELEN - 1);
    texture->mFilename = aiString(fileName);
    return texture;
}

// A real PNG file (whatever a reader would guess from its name) of that size.
bool isPng(const QString& path, int width, int height)
{
    return readFile(path).startsWith("\x89PNG\r\n\x1a\n") && QImage(path, "PNG").size() == QSize(width, height);
}

} // namespace

class TextureTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_source; // folder of the (imaginary) source model
    QString m_model; // model folder the exporter writes into
    std::unique_ptr<aiScene> m_scene;
    Messages m_messages;
    std::unique_ptr<TextureExporter> m_exporter;

    QString exported(const char* reference)
    {
        return QString::fromStdString(m_exporter->exportTexture(reference, "m").path);
    }
    // The exporter for m_scene, once the test has set it up.
    void start()
    {
        m_exporter
            = std::make_unique<TextureExporter>(*m_scene, m_source.toStdString(), m_model.toStdString(), m_messages);
    }

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        m_source = m_root->filePath("src/models");
        m_model = m_root->filePath("out/model");
        QVERIFY(QDir().mkpath(m_source) && QDir().mkpath(m_model));
        m_exporter.reset();
        m_scene = std::make_unique<aiScene>();
        m_messages = Messages();
    }

    void plainNamesStayInOneFolder_data()
    {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("expected");
        QTest::newRow("climbing backslash") << "..\\..\\x.png"
                                            << "x.png";
        QTest::newRow("only dots") << ".."
                                   << "texture.png";
        QTest::newRow("reserved device") << "con.jpg"
                                         << "_con.png";
        QTest::newRow("control and grammar characters") << "a\nb\tc=d{e}#f;g h.png"
                                                        << "a_b_c_d_e__f_g_h.png";
    }

    void plainNamesStayInOneFolder()
    {
        QFETCH(QString, reference);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(TextureExporter::plainPngName(reference.toStdString())), expected);
    }

    void namesStayInsideTexAndApart()
    {
        // The referenced file really exists two folders up, so a careless copy would land beside it.
        writeFile(m_root->filePath("x.png"), image(4, 4, "PNG"));
        writeFile(m_source + "/b/X.PNG", image(4, 4, "PNG"));
        writeFile(m_source + "/c/x.jpg", image(4, 4, "JPG"));
        const QByteArray png = image(8, 4, "PNG");
        setArray(m_scene->mTextures, m_scene->mNumTextures,
                 std::vector<aiTexture*> {compressedTexture("../../../evil.png", png, "png"),
                                          compressedTexture("..\\..\\Desktop\\uv_test.png", png, "png")});
        start();
        // Embedded: by index and by the dangling path the material carries; one copy per image, names kept
        // apart whatever their case; the same file by another path is copied once.
        QStringList paths;
        for (const char* reference : {"../../x.png", "*0", "..\\..\\Desktop\\uv_test.png", "*1", "b/X.PNG", "c/x.jpg",
                                      "a\\..\\b\\X.PNG", "D:\\art\\c\\x.jpg"})
            paths << exported(reference);
        QCOMPARE(paths,
                 QStringList({"tex/x.png", "tex/evil.png", "tex/uv_test.png", "tex/uv_test.png", "tex/X_2.png",
                              "tex/x_3.png", "tex/X_2.png", "tex/x_3.png"}));
        QVERIFY(m_messages.entries().empty());
        QCOMPARE(filesBelow(m_root->filePath("out")),
                 QStringList({"model/tex/X_2.png", "model/tex/evil.png", "model/tex/uv_test.png", "model/tex/x.png",
                              "model/tex/x_3.png"}));
        // PNG is copied byte for byte.
        QCOMPARE(readFile(m_model + "/tex/x.png"), readFile(m_root->filePath("x.png")));
        QCOMPARE(readFile(m_model + "/tex/evil.png"), png);
        QVERIFY(isPng(m_model + "/tex/x_3.png", 4, 4));
    }

    void jpegTgaAndRawTexelsBecomePng()
    {
        writeFile(m_source + "/wood.jpg", image(12, 10, "JPG"));
        writeFile(m_source + "/stone.tga", image(7, 5, "TGA"));
        auto* raw = new aiTexture;
        raw->mWidth = 2;
        raw->mHeight = 1;
        raw->pcData = new aiTexel[2] {aiTexel {10, 20, 30, 255}, aiTexel {40, 50, 60, 128}}; // b, g, r, a
        setArray(m_scene->mTextures, m_scene->mNumTextures,
                 std::vector<aiTexture*> {compressedTexture("inner.tga", image(3, 2, "TGA"), "tga"), raw});
        start();
        const ExportedTexture jpeg = m_exporter->exportTexture("wood.jpg", "m");
        QVERIFY(jpeg.path == "tex/wood.png" && jpeg.width == 12 && jpeg.height == 10 && !jpeg.translucent);
        QVERIFY(isPng(m_model + "/tex/wood.png", 12, 10));
        QCOMPARE(exported("stone.tga"), QString("tex/stone.png"));
        // Pixel (6, 4): red 96, green 64, blue 200; the top row stays on top.
        QVERIFY(isPng(m_model + "/tex/stone.png", 7, 5));
        QCOMPARE(QImage(m_model + "/tex/stone.png").pixel(6, 4), qRgb(96, 64, 200));
        QCOMPARE(exported("inner.tga"), QString("tex/inner.png"));
        QVERIFY(isPng(m_model + "/tex/inner.png", 3, 2));

        const ExportedTexture texels = m_exporter->exportTexture("*1", "m");
        QVERIFY(texels.path == "tex/embedded1.png" && texels.translucent);
        const QImage written = QImage(m_model + "/tex/embedded1.png").convertToFormat(QImage::Format_ARGB32);
        QVERIFY(written.pixel(0, 0) == qRgba(30, 20, 10, 255) && written.pixel(1, 0) == qRgba(60, 50, 40, 128));
        QVERIFY(m_messages.entries().empty());
    }

    void badSourcesAreRefused()
    {
        QByteArray noise("\x89PNG\r\n\x1a\n"); // a PNG signature followed by nonsense
        for (unsigned state = 12345; noise.size() < 4096;)
            noise.append(char((state = state * 1103515245u + 12345u) >> 16));
        writeFile(m_source + "/noise.png", noise);
        writeFile(m_source + "/empty.jpg", {});
        // Headers claiming 100000 x 100000 (PNG) and 16000 x 16000 (TGA) with nothing behind: refused before
        // any allocation.
        writeFile(m_source + "/huge.png",
                  QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000186a0000186a0080600000000000000"));
        writeFile(m_source + "/huge.tga", tgaHeader(16000, 16000));
        auto* raw = new aiTexture;
        raw->mWidth = 70000;
        raw->mHeight = 70000;
        raw->pcData = new aiTexel[1];
        setArray(m_scene->mTextures, m_scene->mNumTextures,
                 std::vector<aiTexture*> {compressedTexture("blob.dat", QByteArray(64, char(0xAB)), ""), raw});
        start();
        // /dev/zero never ends if read.
        for (const char* reference :
             {"/dev/zero", "/dev/null", "noise.png", "empty.jpg", "huge.png", "huge.tga", "*0", "*1"})
            QVERIFY2(exported(reference).isEmpty(), reference);
        QCOMPARE(countOf(m_messages, 2051) + countOf(m_messages, 2050), 8);
        // Embedded indices that do not exist.
        for (const char* reference : {"*7", "*-1", "*99999999999999999999"})
            QVERIFY2(exported(reference).isEmpty(), reference);
        QCOMPARE(countOf(m_messages, 2053), 3);
        // A texture that is not there, asked for twice: one warning that names the path and the material.
        const int missing = countOf(m_messages, 2050);
        QVERIFY(m_exporter->exportTexture("Textures\\albedo.png", "Metal").path.empty());
        QVERIFY(m_exporter->exportTexture("Textures\\albedo.png", "Metal").path.empty());
        QCOMPARE(countOf(m_messages, 2050), missing + 1);
        const QString line = QString::fromStdString(m_messages.entries().back().text);
        QVERIFY2(line.contains("Textures\\albedo.png") && line.contains("Metal"), qPrintable(line));
        QCOMPARE(filesBelow(m_model), QStringList());
    }

    void unwritableTexFolderWarns()
    {
        // "tex" taken by a plain file: the texture is left out with a warning and the file is not touched.
        writeFile(m_model + "/tex", "keep");
        writeFile(m_source + "/a.png", image(2, 2, "PNG"));
        start();
        QVERIFY(exported("a.png").isEmpty());
        QCOMPARE(countOf(m_messages, 2052), 1);
        QCOMPARE(readFile(m_model + "/tex"), QByteArray("keep"));
    }
};

QTEST_GUILESS_MAIN(TextureTest)
#include "tst_texture.moc"
