// Texture export: finding referenced files, extracting embedded data,
// converting to PNG, and never writing outside "tex/" of the model folder.

#include "EncoderTestSupport.h"
#include "TextureExporter.h"

#include <assimp/scene.h>

#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

using encodertest::countOf;
using encodertest::relativeFilesBelow;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readBytes(const QString& path)
{
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return Bytes(bytes.begin(), bytes.end());
}

void writeBytes(const QString& path, const Bytes& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

// A w x h image whose pixel (x, y) is (x * 16, y * 16, 200).
Bytes gradient(int width, int height)
{
    Bytes pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            pixels.insert(pixels.end(), {(unsigned char)(x * 16), (unsigned char)(y * 16), 200});
    }
    return pixels;
}

Bytes pngBytes(int width, int height)
{
    Bytes bytes;
    const Bytes pixels = gradient(width, height);
    stbi_write_png_to_func(
        [](void* to, void* data, int size) {
            static_cast<Bytes*>(to)->insert(static_cast<Bytes*>(to)->end(), (unsigned char*)data,
                                            (unsigned char*)data + size);
        },
        &bytes, width, height, 3, pixels.data(), width * 3);
    return bytes;
}

// Written by Qt: stb's JPEG writer shifts negative values, which the sanitizer build rejects.
Bytes jpegBytes(int width, int height)
{
    const Bytes pixels = gradient(width, height);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImage(pixels.data(), width, height, width * 3, QImage::Format_RGB888).save(&buffer, "JPG", 60);
    return Bytes(bytes.begin(), bytes.end());
}

// Uncompressed true-colour TGA: 18-byte header, then BGR pixels, top row first (descriptor bit 5).
Bytes tgaBytes(int width, int height, bool withPixels = true)
{
    Bytes bytes(18, 0);
    bytes[2] = 2; // uncompressed true colour
    bytes[12] = (unsigned char)(width & 0xFF), bytes[13] = (unsigned char)(width >> 8);
    bytes[14] = (unsigned char)(height & 0xFF), bytes[15] = (unsigned char)(height >> 8);
    bytes[16] = 24, bytes[17] = 0x20;
    const Bytes pixels = withPixels ? gradient(width, height) : Bytes();
    for (size_t i = 0; i < pixels.size(); i += 3)
        bytes.insert(bytes.end(), {pixels[i + 2], pixels[i + 1], pixels[i]});
    return bytes;
}

aiTexture* compressedTexture(const std::string& fileName, const Bytes& bytes, const char* hint)
{
    auto* texture = new aiTexture;
    texture->mWidth = unsigned(bytes.size());
    texture->pcData = new aiTexel[(bytes.size() + sizeof(aiTexel) - 1) / sizeof(aiTexel)];
    std::memcpy(texture->pcData, bytes.data(), bytes.size());
    std::strncpy(texture->achFormatHint, hint, HINTMAXTEXTURELEN - 1);
    texture->mFilename = aiString(fileName);
    return texture;
}

void addTextures(aiScene& scene, std::vector<aiTexture*> textures)
{
    scene.mNumTextures = unsigned(textures.size());
    scene.mTextures = new aiTexture*[textures.size()];
    std::copy(textures.begin(), textures.end(), scene.mTextures);
}

bool isPngFile(const QString& path, int expectedWidth, int expectedHeight)
{
    const Bytes bytes = readBytes(path);
    int width = 0, height = 0, channels = 0;
    return bytes.size() > 8 && std::memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) == 0
        && stbi_info_from_memory(bytes.data(), int(bytes.size()), &width, &height, &channels) && width == expectedWidth
        && height == expectedHeight;
}

} // namespace

class TextureTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_source; // folder of the (imaginary) source model
    QString m_model; // model folder the exporter writes into

    QString exported(TextureExporter& exporter, const char* reference)
    {
        return QString::fromStdString(exporter.exportTexture(reference, "m").path);
    }

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        m_source = m_root->filePath("src/models");
        m_model = m_root->filePath("out/model");
        QVERIFY(QDir().mkpath(m_source) && QDir().mkpath(m_model));
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
        QTest::newRow("control and grammar characters") << QString("a\nb\tc=d{e}#f;g h.png") << "a_b_c_d_e__f_g_h.png";
        QTest::newRow("utf8 kept") << QString::fromUtf8("t\xC3\xA9xture_\xE7\xBA\xB9.jpg")
                                   << QString::fromUtf8("t\xC3\xA9xture_\xE7\xBA\xB9.png");
        QTest::newRow("url") << "file:///home/u/a.png"
                             << "a.png";
    }

    void plainNamesStayInOneFolder()
    {
        QFETCH(QString, reference);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(TextureExporter::plainPngName(reference.toStdString())), expected);
    }

    void climbingNamesLandInsideTex()
    {
        // Referenced: the file really exists two folders up, so a careless copy would land beside it.
        writeBytes(m_root->filePath("x.png"), pngBytes(4, 4));
        const Bytes png = pngBytes(8, 4);
        aiScene scene;
        addTextures(scene,
                    {compressedTexture("../../../evil.png", png, "png"),
                     compressedTexture("..\\..\\Desktop\\uv_test.png", png, "png")});
        Messages messages;
        TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
        QCOMPARE(exported(exporter, "../../x.png"), QString("tex/x.png"));
        // Embedded: by index and by the dangling path the material carries.
        QCOMPARE(exported(exporter, "*0"), QString("tex/evil.png"));
        QCOMPARE(exported(exporter, "..\\..\\Desktop\\uv_test.png"), QString("tex/uv_test.png"));
        QCOMPARE(exported(exporter, "*1"), QString("tex/uv_test.png"));
        QVERIFY(messages.entries().empty());
        QCOMPARE(relativeFilesBelow(m_root->path()),
                 QStringList({"out/model/tex/evil.png", "out/model/tex/uv_test.png", "out/model/tex/x.png", "x.png"}));
        // PNG is copied byte for byte.
        QCOMPARE(readBytes(m_model + "/tex/x.png"), readBytes(m_root->filePath("x.png")));
        QCOMPARE(readBytes(m_model + "/tex/evil.png"), png);
    }

    void jpegTgaAndRawTexelsBecomePng()
    {
        writeBytes(m_source + "/wood.jpg", jpegBytes(12, 10));
        writeBytes(m_source + "/stone.tga", tgaBytes(7, 5));
        auto* raw = new aiTexture;
        raw->mWidth = 2;
        raw->mHeight = 1;
        raw->pcData = new aiTexel[2] {aiTexel {10, 20, 30, 255}, aiTexel {40, 50, 60, 128}}; // b, g, r, a
        aiScene scene;
        addTextures(scene, {compressedTexture("inner.tga", tgaBytes(3, 2), "tga"), raw});
        Messages messages;
        TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);

        const ExportedTexture jpeg = exporter.exportTexture("wood.jpg", "m");
        QCOMPARE(QString::fromStdString(jpeg.path), QString("tex/wood.png"));
        QVERIFY(jpeg.width == 12 && jpeg.height == 10 && !jpeg.translucent);
        QVERIFY(isPngFile(m_model + "/tex/wood.png", 12, 10));
        QCOMPARE(exported(exporter, "stone.tga"), QString("tex/stone.png"));
        int width = 0, height = 0, channels = 0;
        unsigned char* pixels
            = stbi_load((m_model + "/tex/stone.png").toUtf8().constData(), &width, &height, &channels, 3);
        QVERIFY(pixels && width == 7 && height == 5);
        // Pixel (6, 4): red 96, green 64, blue 200; the top row stays on top.
        QCOMPARE(Bytes(pixels + (4 * 7 + 6) * 3, pixels + (4 * 7 + 6) * 3 + 3), Bytes({96, 64, 200}));
        stbi_image_free(pixels);
        QCOMPARE(exported(exporter, "inner.tga"), QString("tex/inner.png"));
        QVERIFY(isPngFile(m_model + "/tex/inner.png", 3, 2));

        const ExportedTexture texels = exporter.exportTexture("*1", "m");
        QCOMPARE(QString::fromStdString(texels.path), QString("tex/embedded1.png"));
        QVERIFY(texels.translucent);
        pixels = stbi_load((m_model + "/tex/embedded1.png").toUtf8().constData(), &width, &height, &channels, 4);
        QVERIFY(pixels && width == 2);
        QCOMPARE(Bytes(pixels, pixels + 8), Bytes({30, 20, 10, 255, 60, 50, 40, 128}));
        stbi_image_free(pixels);
        QVERIFY(messages.entries().empty());
    }

    void missingTextureWarnsNamingThePath()
    {
        aiScene scene;
        Messages messages;
        TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
        QVERIFY(exporter.exportTexture("Textures\\albedo.png", "Metal").path.empty());
        QVERIFY(exporter.exportTexture("Textures\\albedo.png", "Metal").path.empty());
        QCOMPARE(messages.entries().size(), size_t(1)); // asked twice, told once
        const QString line = QString::fromStdString(Messages::formatLine(messages.entries().front()));
        QVERIFY2(QRegularExpression(R"(^Warning \(GP#2050\|[^|)\n]+\): [^\n]*Textures\\albedo\.png[^\n]*$)")
                     .match(line)
                     .hasMatch(),
                 qPrintable(line));
        QVERIFY(line.contains("Metal"));
        QVERIFY(relativeFilesBelow(m_model).isEmpty());
    }

    void authorsPathsFallBackToFileName()
    {
        writeBytes(m_source + "/SpiderTex.jpg", jpegBytes(4, 4));
        writeBytes(m_source + "/textures/chart_blue.png", pngBytes(2, 2));
        writeBytes(m_source + "/Model.fbm/deep/Skin.PNG", pngBytes(2, 2));
        aiScene scene;
        Messages messages;
        TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
        QCOMPARE(QString::fromStdString(exporter.locate("D:\\projects\\assimp_int\\OBJ\\SpiderTex.jpg")),
                 m_source + "/SpiderTex.jpg");
        QCOMPARE(QString::fromStdString(exporter.locate("C:/Users/me/Textures/CHART_BLUE.png")),
                 m_source + "/textures/chart_blue.png");
        QCOMPARE(QString::fromStdString(exporter.locate("/home/someone/skin.png")),
                 m_source + "/Model.fbm/deep/Skin.PNG");
        // A folder link back to the source folder must not make the search loop.
        QVERIFY(QFile::link(m_source, m_source + "/loop"));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(exporter.locate("nowhere.png").empty());
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(exporter.locate("..").empty());
    }

    void hostileSourcesAreRefused()
    {
        Bytes noise(4096);
        unsigned state = 12345;
        for (auto& byte : noise)
            byte = (unsigned char)((state = state * 1103515245u + 12345u) >> 16);
        std::memcpy(noise.data(), "\x89PNG\r\n\x1a\n", 8); // a PNG signature followed by nonsense
        writeBytes(m_source + "/noise.png", noise);
        writeBytes(m_source + "/empty.jpg", {});
        // Headers claiming 100000 x 100000 (PNG) and 16000 x 16000 (TGA) with nothing behind: refused before any
        // allocation.
        writeBytes(m_source + "/huge.png",
                   {0x89, 'P',  'N',  'G',  '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0x00,
                    0x01, 0x86, 0xA0, 0x00, 0x01, 0x86, 0xA0, 8,    6, 0, 0, 0,  0,   0,   0,   0});
        writeBytes(m_source + "/huge.tga", tgaBytes(16000, 16000, false));
        auto* raw = new aiTexture;
        raw->mWidth = 70000;
        raw->mHeight = 70000;
        raw->pcData = new aiTexel[1];
        aiScene scene;
        addTextures(scene, {compressedTexture("blob.dat", Bytes(64, 0xAB), ""), raw});
        Messages messages;
        TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
        QElapsedTimer timer;
        timer.start();
        for (const char* reference :
             {"/dev/zero", "/dev/null", "noise.png", "empty.jpg", "huge.png", "huge.tga", "*0", "*1"})
            QVERIFY2(exporter.exportTexture(reference, "m").path.empty(), reference);
        QVERIFY(timer.elapsed() < 20000); // /dev/zero never ends if read
        QCOMPARE(countOf(messages, 2051) + countOf(messages, 2050), 8);
        // Embedded indices that do not exist.
        for (const char* reference : {"*7", "*-1", "*99999999999999999999"})
            QVERIFY2(exporter.exportTexture(reference, "m").path.empty(), reference);
        QCOMPARE(countOf(messages, 2053), 3);
        QCOMPARE(relativeFilesBelow(m_model), QStringList());
    }

    void oneCopyPerImageAndNamesKeptApart()
    {
        writeBytes(m_source + "/a/x.png", pngBytes(2, 2));
        writeBytes(m_source + "/b/X.PNG", pngBytes(4, 4));
        writeBytes(m_source + "/c/x.jpg", jpegBytes(4, 4));
        aiScene scene;
        Messages messages;
        TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
        QCOMPARE(exported(exporter, "a/x.png"), QString("tex/x.png"));
        QCOMPARE(exported(exporter, "b/X.PNG"), QString("tex/X_2.png"));
        QCOMPARE(exported(exporter, "c/x.jpg"), QString("tex/x_3.png"));
        // The same file by another path is copied once.
        QCOMPARE(exported(exporter, "a\\..\\a\\x.png"), QString("tex/x.png"));
        QCOMPARE(exported(exporter, "D:\\art\\c\\x.jpg"), QString("tex/x_3.png"));
        QCOMPARE(relativeFilesBelow(m_model), QStringList({"tex/X_2.png", "tex/x.png", "tex/x_3.png"}));
        QVERIFY(isPngFile(m_model + "/tex/X_2.png", 4, 4));
    }

    void unwritableTexFolderWarns()
    {
        // "tex" taken by a plain file: the texture is left out with a warning and the file is not touched.
        writeBytes(m_model + "/tex", {'k', 'e', 'e', 'p'});
        writeBytes(m_source + "/a.png", pngBytes(2, 2));
        aiScene scene;
        Messages messages;
        TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
        QVERIFY(exporter.exportTexture("a.png", "m").path.empty());
        QCOMPARE(countOf(messages, 2052), 1);
        QCOMPARE(readBytes(m_model + "/tex"), Bytes({'k', 'e', 'e', 'p'}));
    }
};

QTEST_GUILESS_MAIN(TextureTest)
#include "tst_texture.moc"
