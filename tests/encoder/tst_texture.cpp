// Texture export: finding referenced files, extracting embedded data,
// converting to PNG, and never writing outside "tex/" of the model folder.

#include "Messages.h"
#include "TextureExporter.h"

#include <assimp/scene.h>

#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <fstream>
#include <memory>

namespace {

std::vector<unsigned char> readBytes(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const QString& path, const std::vector<unsigned char>& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::ofstream out(path.toStdString(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void appendToVector(void* context, void* data, int size)
{
    auto* bytes = static_cast<std::vector<unsigned char>*>(context);
    bytes->insert(bytes->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
}

// A w x h image whose pixel (x, y) is (x * 16, y * 16, 200) plus alpha.
std::vector<unsigned char> gradient(int width, int height, int channels, unsigned char alpha = 255)
{
    std::vector<unsigned char> pixels(static_cast<size_t>(width * height * channels));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &pixels[static_cast<size_t>((y * width + x) * channels)];
            p[0] = static_cast<unsigned char>(x * 16);
            p[1] = static_cast<unsigned char>(y * 16);
            p[2] = 200;
            if (channels == 4)
                p[3] = alpha;
        }
    }
    return pixels;
}

std::vector<unsigned char> pngBytes(int width, int height, int channels, unsigned char alpha = 255)
{
    std::vector<unsigned char> bytes;
    const auto pixels = gradient(width, height, channels, alpha);
    stbi_write_png_to_func(appendToVector, &bytes, width, height, channels, pixels.data(), width * channels);
    return bytes;
}

// A 12 x 10 baseline JPEG of the gradient above (quality 60), stored as bytes:
// stb's JPEG writer shifts negative values, which the sanitizer build rejects.
const unsigned char kJpeg12x10[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x84, 0x00, 0x0d, 0x09, 0x0a, 0x0b, 0x0a, 0x08, 0x0d,
    0x0b, 0x0a, 0x0b, 0x0e, 0x0e, 0x0d, 0x0f, 0x13, 0x20, 0x15, 0x13, 0x12, 0x12, 0x13, 0x27, 0x1c,
    0x1e, 0x17, 0x20, 0x2e, 0x29, 0x31, 0x30, 0x2e, 0x29, 0x2d, 0x2c, 0x33, 0x3a, 0x4a, 0x3e, 0x33,
    0x36, 0x46, 0x37, 0x2c, 0x2d, 0x40, 0x57, 0x41, 0x46, 0x4c, 0x4e, 0x52, 0x53, 0x52, 0x32, 0x3e,
    0x5a, 0x61, 0x5a, 0x50, 0x60, 0x4a, 0x51, 0x52, 0x4f, 0x01, 0x0e, 0x0e, 0x0e, 0x13, 0x11, 0x13,
    0x26, 0x15, 0x15, 0x26, 0x4f, 0x35, 0x2d, 0x35, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f,
    0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f,
    0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f,
    0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0x4f, 0xff, 0xc0, 0x00, 0x11, 0x08, 0x00,
    0x0a, 0x00, 0x0c, 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xff, 0xc4, 0x01,
    0xa2, 0x00, 0x00, 0x01, 0x05, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x10, 0x00,
    0x02, 0x01, 0x03, 0x03, 0x02, 0x04, 0x03, 0x05, 0x05, 0x04, 0x04, 0x00, 0x00, 0x01, 0x7d, 0x01,
    0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22,
    0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24,
    0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29,
    0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a,
    0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a,
    0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a,
    0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8,
    0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6,
    0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3,
    0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9,
    0xfa, 0x01, 0x00, 0x03, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x11, 0x00,
    0x02, 0x01, 0x02, 0x04, 0x04, 0x03, 0x04, 0x07, 0x05, 0x04, 0x04, 0x00, 0x01, 0x02, 0x77, 0x00,
    0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13,
    0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15,
    0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27,
    0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
    0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
    0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88,
    0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6,
    0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4,
    0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2,
    0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9,
    0xfa, 0xff, 0xda, 0x00, 0x0c, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0xe7,
    0x6d, 0x74, 0xee, 0x9f, 0x2d, 0x6a, 0x47, 0xa7, 0x7c, 0x83, 0xe5, 0xab, 0x76, 0xa0, 0x71, 0xc0,
    0xad, 0x48, 0xc0, 0xd8, 0x38, 0x15, 0xee, 0x56, 0xc4, 0xca, 0xe4, 0xe5, 0xd8, 0xb9, 0xf2, 0x9f,
    0xff, 0xd9
};

std::vector<unsigned char> jpegBytes()
{
    return std::vector<unsigned char>(std::begin(kJpeg12x10), std::end(kJpeg12x10));
}

// Uncompressed true-colour TGA, written by hand: 18-byte header, then BGR
// pixels, top row first (descriptor bit 5).
std::vector<unsigned char> tgaBytes(int width, int height, bool withPixels = true)
{
    std::vector<unsigned char> bytes(18, 0);
    bytes[2] = 2;
    bytes[12] = static_cast<unsigned char>(width & 0xFF);
    bytes[13] = static_cast<unsigned char>(width >> 8);
    bytes[14] = static_cast<unsigned char>(height & 0xFF);
    bytes[15] = static_cast<unsigned char>(height >> 8);
    bytes[16] = 24;
    bytes[17] = 0x20;
    if (withPixels) {
        const auto pixels = gradient(width, height, 3);
        for (size_t i = 0; i < pixels.size(); i += 3) {
            bytes.push_back(pixels[i + 2]);
            bytes.push_back(pixels[i + 1]);
            bytes.push_back(pixels[i]);
        }
    }
    return bytes;
}

aiTexture* compressedTexture(const std::string& fileName, const std::vector<unsigned char>& bytes, const char* hint)
{
    auto* texture = new aiTexture;
    texture->mWidth = static_cast<unsigned>(bytes.size());
    texture->mHeight = 0;
    texture->pcData = new aiTexel[(bytes.size() + sizeof(aiTexel) - 1) / sizeof(aiTexel)];
    std::memcpy(texture->pcData, bytes.data(), bytes.size());
    std::strncpy(texture->achFormatHint, hint, HINTMAXTEXTURELEN - 1);
    texture->mFilename = aiString(fileName);
    return texture;
}

void addTextures(aiScene& scene, std::vector<aiTexture*> textures)
{
    scene.mNumTextures = static_cast<unsigned>(textures.size());
    scene.mTextures = new aiTexture*[textures.size()];
    for (size_t i = 0; i < textures.size(); ++i)
        scene.mTextures[i] = textures[i];
}

QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

bool isPngFile(const QString& path, int expectedWidth, int expectedHeight)
{
    const auto bytes = readBytes(path);
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() < 8 || std::memcmp(bytes.data(), signature, 8) != 0)
        return false;
    int width = 0, height = 0, channels = 0;
    return stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels)
        && width == expectedWidth && height == expectedHeight;
}

int warningCount(const Messages& messages, int code)
{
    int count = 0;
    for (const auto& entry : messages.entries())
        count += (!entry.error && entry.code == code) ? 1 : 0;
    return count;
}

} // namespace

class TextureTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void plainNamesStayInOneFolder_data();
    void plainNamesStayInOneFolder();
    void climbingReferenceLandsInsideTex();
    void embeddedNamesThatClimbLandInsideTex();
    void embeddedIndexOutOfRangeWarns();
    void jpegAndTgaBecomePng();
    void rawTexelsKeepChannelOrder();
    void translucencyIsDetected();
    void missingTextureWarnsNamingThePath();
    void authorsPathsFallBackToFileName();
    void devicesAndGarbageAreRefused();
    void hostileDimensionsAreRefused();
    void sameNameFromTwoFoldersStaysApart();
    void unwritableTexFolderWarns();

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_source;   // folder of the (imaginary) source model
    QString m_model;    // model folder the exporter writes into
};

void TextureTest::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_source = m_root->filePath("src/models");
    m_model = m_root->filePath("out/model");
    QVERIFY(QDir().mkpath(m_source) && QDir().mkpath(m_model));
}

void TextureTest::plainNamesStayInOneFolder_data()
{
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QString>("expected");
    QTest::newRow("climbing") << "../../x.png" << "x.png";
    QTest::newRow("climbing backslash") << "..\\..\\x.png" << "x.png";
    QTest::newRow("windows absolute") << "D:\\projects\\tex\\SpiderTex.jpg" << "SpiderTex.png";
    QTest::newRow("drive without folder") << "C:wood.tga" << "wood.png";
    QTest::newRow("only dots") << ".." << "texture.png";
    QTest::newRow("trailing separator") << "textures/" << "texture.png";
    QTest::newRow("empty") << "" << "texture.png";
    QTest::newRow("hidden") << ".secret.png" << "secret.png";
    QTest::newRow("reserved device") << "con.jpg" << "_con.png";
    QTest::newRow("control characters") << QString("a\nb\tc\x01.png") << "a_b_c_.png";
    QTest::newRow("grammar characters") << "a=b{c}#d;e f.png" << "a_b_c__d_e_f.png";
    QTest::newRow("utf8 kept") << QString::fromUtf8("t\xC3\xA9xture_\xE7\xBA\xB9.jpg")
                               << QString::fromUtf8("t\xC3\xA9xture_\xE7\xBA\xB9.png");
    QTest::newRow("url") << "file:///home/u/a.png" << "a.png";
}

void TextureTest::plainNamesStayInOneFolder()
{
    QFETCH(QString, reference);
    QFETCH(QString, expected);
    const std::string name = TextureExporter::plainPngName(reference.toStdString());
    QCOMPARE(QString::fromStdString(name), expected);
    QVERIFY(name.find('/') == std::string::npos && name.find('\\') == std::string::npos);
}

void TextureTest::climbingReferenceLandsInsideTex()
{
    writeBytes(m_root->filePath("x.png"), pngBytes(4, 4, 3));
    const QStringList before = filesBelow(m_root->path());
    aiScene scene;
    Messages messages;
    TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
    const ExportedTexture texture = exporter.exportTexture("../../x.png", "m");
    QCOMPARE(QString::fromStdString(texture.path), QString("tex/x.png"));
    QVERIFY(messages.entries().empty());
    QStringList expected = before;
    expected << "out/model/tex/x.png";
    expected.sort();
    QCOMPARE(filesBelow(m_root->path()), expected);
    QCOMPARE(readBytes(m_model + "/tex/x.png"), readBytes(m_root->filePath("x.png")));
}

void TextureTest::embeddedNamesThatClimbLandInsideTex()
{
    const auto png = pngBytes(8, 4, 3);
    aiScene scene;
    addTextures(scene, {compressedTexture("../../../evil.png", png, "png"),
                        compressedTexture("..\\..\\Desktop\\uv_test.png", png, "png")});
    Messages messages;
    TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
    // Referenced by index and by the dangling path the material carries.
    QCOMPARE(QString::fromStdString(exporter.exportTexture("*0", "m").path), QString("tex/evil.png"));
    QCOMPARE(QString::fromStdString(exporter.exportTexture("..\\..\\Desktop\\uv_test.png", "m").path),
             QString("tex/uv_test.png"));
    QVERIFY(messages.entries().empty());
    QCOMPARE(QString::fromStdString(exporter.exportTexture("*1", "m").path), QString("tex/uv_test.png"));
    QCOMPARE(filesBelow(m_root->path()), QStringList({"out/model/tex/evil.png", "out/model/tex/uv_test.png"}));
    // A PNG is copied byte for byte.
    QCOMPARE(readBytes(m_model + "/tex/evil.png"), png);
}

void TextureTest::embeddedIndexOutOfRangeWarns()
{
    aiScene scene;
    addTextures(scene, {compressedTexture("a.png", pngBytes(2, 2, 3), "png")});
    Messages messages;
    TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
    QVERIFY(exporter.exportTexture("*7", "m").path.empty());
    QVERIFY(exporter.exportTexture("*-1", "m").path.empty());
    QVERIFY(exporter.exportTexture("*99999999999999999999", "m").path.empty());
    QCOMPARE(warningCount(messages, 2053), 3);
    QVERIFY(filesBelow(m_model).isEmpty());
}

void TextureTest::jpegAndTgaBecomePng()
{
    writeBytes(m_source + "/wood.jpg", jpegBytes());
    writeBytes(m_source + "/stone.tga", tgaBytes(7, 5));
    aiScene scene;
    addTextures(scene, {compressedTexture("inner.tga", tgaBytes(3, 2), "tga")});
    Messages messages;
    TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);

    const ExportedTexture jpeg = exporter.exportTexture("wood.jpg", "m");
    QCOMPARE(QString::fromStdString(jpeg.path), QString("tex/wood.png"));
    QCOMPARE(jpeg.width, 12u);
    QCOMPARE(jpeg.height, 10u);
    QVERIFY(isPngFile(m_model + "/tex/wood.png", 12, 10));

    const ExportedTexture tga = exporter.exportTexture("stone.tga", "m");
    QCOMPARE(QString::fromStdString(tga.path), QString("tex/stone.png"));
    QVERIFY(isPngFile(m_model + "/tex/stone.png", 7, 5));
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load((m_model + "/tex/stone.png").toUtf8().constData(), &width, &height, &channels, 3);
    QVERIFY(pixels);
    // Pixel (6, 4): red 96, green 64, blue 200; top row stays on top.
    const unsigned char* p = pixels + (4 * 7 + 6) * 3;
    QCOMPARE(int(p[0]), 96);
    QCOMPARE(int(p[1]), 64);
    QCOMPARE(int(p[2]), 200);
    stbi_image_free(pixels);

    QCOMPARE(QString::fromStdString(exporter.exportTexture("inner.tga", "m").path), QString("tex/inner.png"));
    QVERIFY(isPngFile(m_model + "/tex/inner.png", 3, 2));
    QVERIFY(messages.entries().empty());
}

void TextureTest::rawTexelsKeepChannelOrder()
{
    auto* raw = new aiTexture;
    raw->mWidth = 2;
    raw->mHeight = 1;
    raw->pcData = new aiTexel[2];
    raw->pcData[0] = aiTexel{10, 20, 30, 255};   // b, g, r, a
    raw->pcData[1] = aiTexel{40, 50, 60, 128};
    aiScene scene;
    addTextures(scene, {raw});
    Messages messages;
    TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
    const ExportedTexture texture = exporter.exportTexture("*0", "m");
    QCOMPARE(QString::fromStdString(texture.path), QString("tex/embedded0.png"));
    QVERIFY(texture.translucent);
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load((m_model + "/tex/embedded0.png").toUtf8().constData(), &width, &height,
                                      &channels, 4);
    QVERIFY(pixels);
    QCOMPARE(width, 2);
    const unsigned char expected[8] = {30, 20, 10, 255, 60, 50, 40, 128};
    QVERIFY(std::memcmp(pixels, expected, 8) == 0);
    stbi_image_free(pixels);
}

void TextureTest::translucencyIsDetected()
{
    writeBytes(m_source + "/glass.png", pngBytes(4, 4, 4, 100));
    writeBytes(m_source + "/opaque_rgba.png", pngBytes(4, 4, 4, 255));
    writeBytes(m_source + "/rgb.png", pngBytes(4, 4, 3));
    aiScene scene;
    Messages messages;
    TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
    QVERIFY(exporter.exportTexture("glass.png", "m").translucent);
    QVERIFY(!exporter.exportTexture("opaque_rgba.png", "m").translucent);
    QVERIFY(!exporter.exportTexture("rgb.png", "m").translucent);
    QCOMPARE(readBytes(m_model + "/tex/glass.png"), readBytes(m_source + "/glass.png"));
}

void TextureTest::missingTextureWarnsNamingThePath()
{
    aiScene scene;
    Messages messages;
    TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
    QVERIFY(exporter.exportTexture("Textures\\albedo.png", "Metal").path.empty());
    QVERIFY(exporter.exportTexture("Textures\\albedo.png", "Metal").path.empty());
    QCOMPARE(messages.entries().size(), size_t(1));   // asked twice, told once
    const auto& entry = messages.entries().front();
    QCOMPARE(entry.code, 2050);
    const QString line = QString::fromStdString(Messages::formatLine(entry));
    QVERIFY2(QRegularExpression(R"(^Warning \(GP#2050\|[^|)]+\): .+$)").match(line).hasMatch(), qPrintable(line));
    QVERIFY(line.contains("Textures\\albedo.png"));
    QVERIFY(line.contains("Metal"));
    QVERIFY(!line.contains('\n'));
    QVERIFY(filesBelow(m_model).isEmpty());
}

void TextureTest::authorsPathsFallBackToFileName()
{
    writeBytes(m_source + "/SpiderTex.jpg", jpegBytes());
    writeBytes(m_source + "/textures/chart_blue.png", pngBytes(2, 2, 3));
    writeBytes(m_source + "/Model.fbm/deep/Skin.PNG", pngBytes(2, 2, 3));
    aiScene scene;
    Messages messages;
    TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
    QCOMPARE(QString::fromStdString(exporter.locate("D:\\projects\\assimp_int\\OBJ\\SpiderTex.jpg")),
             m_source + "/SpiderTex.jpg");
    QCOMPARE(QString::fromStdString(exporter.locate("textures\\chart_blue.png")), m_source + "/textures/chart_blue.png");
    QCOMPARE(QString::fromStdString(exporter.locate("C:/Users/me/Textures/CHART_BLUE.png")),
             m_source + "/textures/chart_blue.png");
    QCOMPARE(QString::fromStdString(exporter.locate("/home/someone/skin.png")), m_source + "/Model.fbm/deep/Skin.PNG");
    // A folder link back to the source folder must not make the search loop.
    QVERIFY(QFile::link(m_source, m_source + "/loop"));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(exporter.locate("nowhere.png").empty());
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(exporter.locate("..").empty());
    QVERIFY(exporter.locate("").empty());
}

void TextureTest::devicesAndGarbageAreRefused()
{
    std::vector<unsigned char> noise(4096);
    unsigned state = 12345;
    for (auto& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    noise[0] = 0x89;   // a PNG signature followed by nonsense
    std::memcpy(noise.data() + 1, "PNG\r\n\x1a\n", 7);
    writeBytes(m_source + "/noise.png", noise);
    writeBytes(m_source + "/empty.jpg", {});
    aiScene scene;
    addTextures(scene, {compressedTexture("blob.dat", std::vector<unsigned char>(64, 0xAB), "")});
    Messages messages;
    TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(exporter.exportTexture("/dev/zero", "m").path.empty());   // never ends if read
    QVERIFY(exporter.exportTexture("/dev/null", "m").path.empty());
    QVERIFY(exporter.exportTexture("noise.png", "m").path.empty());
    QVERIFY(exporter.exportTexture("empty.jpg", "m").path.empty());
    QVERIFY(exporter.exportTexture("*0", "m").path.empty());
    QVERIFY(timer.elapsed() < 20000);
    QCOMPARE(warningCount(messages, 2051) + warningCount(messages, 2050), 5);
    QCOMPARE(filesBelow(m_model), QStringList());
}

void TextureTest::hostileDimensionsAreRefused()
{
    // A PNG header claiming 100000 x 100000 pixels, and a TGA header claiming
    // 16000 x 16000 with no pixels behind it: refused before any allocation.
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                      0x00, 0x01, 0x86, 0xA0, 0x00, 0x01, 0x86, 0xA0, 8, 6, 0, 0, 0, 0, 0, 0, 0};
    writeBytes(m_source + "/huge.png", png);
    writeBytes(m_source + "/huge.tga", tgaBytes(16000, 16000, false));
    aiScene scene;
    auto* raw = new aiTexture;
    raw->mWidth = 70000;
    raw->mHeight = 70000;
    raw->pcData = new aiTexel[1];
    addTextures(scene, {raw});
    Messages messages;
    TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
    QVERIFY(exporter.exportTexture("huge.png", "m").path.empty());
    QVERIFY(exporter.exportTexture("huge.tga", "m").path.empty());
    QVERIFY(exporter.exportTexture("*0", "m").path.empty());
    QCOMPARE(warningCount(messages, 2051), 3);
    QCOMPARE(filesBelow(m_model), QStringList());
}

void TextureTest::sameNameFromTwoFoldersStaysApart()
{
    writeBytes(m_source + "/a/x.png", pngBytes(2, 2, 3));
    writeBytes(m_source + "/b/X.PNG", pngBytes(4, 4, 3));
    writeBytes(m_source + "/c/x.jpg", jpegBytes());
    aiScene scene;
    Messages messages;
    TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
    QCOMPARE(QString::fromStdString(exporter.exportTexture("a/x.png", "m").path), QString("tex/x.png"));
    QCOMPARE(QString::fromStdString(exporter.exportTexture("b/X.PNG", "m").path), QString("tex/X_2.png"));
    QCOMPARE(QString::fromStdString(exporter.exportTexture("c/x.jpg", "m").path), QString("tex/x_3.png"));
    QCOMPARE(QString::fromStdString(exporter.exportTexture("a/x.png", "m").path), QString("tex/x.png"));
    // The same file by another path, and an embedded texture by number and by name, are copied once.
    QCOMPARE(QString::fromStdString(exporter.exportTexture("a\\..\\a\\x.png", "m").path), QString("tex/x.png"));
    QCOMPARE(QString::fromStdString(exporter.exportTexture("D:\\art\\c\\x.jpg", "m").path), QString("tex/x_3.png"));
    QCOMPARE(filesBelow(m_model), QStringList({"tex/X_2.png", "tex/x.png", "tex/x_3.png"}));
    QVERIFY(isPngFile(m_model + "/tex/X_2.png", 4, 4));
}

void TextureTest::unwritableTexFolderWarns()
{
    // "tex" taken by a plain file: the folder cannot be made, the texture is
    // left out with a warning and the file is not touched.
    writeBytes(m_model + "/tex", {'k', 'e', 'e', 'p'});
    writeBytes(m_source + "/a.png", pngBytes(2, 2, 3));
    aiScene scene;
    Messages messages;
    TextureExporter exporter(scene, m_source.toStdString(), m_model.toStdString(), messages);
    QVERIFY(exporter.exportTexture("a.png", "m").path.empty());
    QCOMPARE(warningCount(messages, 2052), 1);
    QCOMPARE(readBytes(m_model + "/tex"), std::vector<unsigned char>({'k', 'e', 'e', 'p'}));
}

QTEST_APPLESS_MAIN(TextureTest)
#include "tst_texture.moc"
