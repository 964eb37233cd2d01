// PNG decoding, the texture cache, samplers and frame buffers.
#include "GlTestContext.h"

#include "EngineTestSupport.h"

#include "FileSystem.h"
#include "FrameBuffer.h"
#include "Image.h"
#include "Sampler.h"
#include "Texture.h"

#include <QtTest>

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace engine;
using enginetest::GlTestContext;
using enginetest::Owned;

namespace {

std::string folder() { return QDir::currentPath().toStdString() + "/"; }

// Writes a width x height PNG whose first (top) row has the channel values
// 'top' and every other row 'rest' (per channel, as the colour type has them).
std::string writePng(const std::string& name, int colorType, int bitDepth, unsigned int width, unsigned int height,
                     const std::vector<int>& top, const std::vector<int>& rest)
{
    const std::string path = folder() + name;
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).path());
    FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, bitDepth, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[2] = {{10, 20, 30}, {200, 150, 100}};
        png_set_PLTE(png, info, palette, 2);
    }
    png_write_info(png, info);
    const int bytesPerSample = bitDepth == 16 ? 2 : 1;
    for (unsigned int y = 0; y < height; ++y) {
        const std::vector<int>& pixel = y == 0 ? top : rest;
        std::vector<png_byte> row;
        for (unsigned int x = 0; x < width; ++x) {
            for (int value : pixel) {
                if (bytesPerSample == 2)
                    row.push_back(png_byte(value));
                row.push_back(png_byte(value));
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return name;
}

} // namespace

class TestGlTexture : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void pngColourTypes_data();
    void pngColourTypes();
    void hostilePngs_data();
    void hostilePngs();
    void cacheKeysOnTheResolvedPath();
    void ddsContainers_data();
    void ddsContainers();
    void frameBuffers();
    void mipmapLevels_data();
    void mipmapLevels();

private:
    GlTestContext m_gl;
};

void TestGlTexture::initTestCase() { QVERIFY(m_gl.create()); }

void TestGlTexture::pngColourTypes_data()
{
    QTest::addColumn<int>("colorType");
    QTest::addColumn<int>("bitDepth");
    QTest::addColumn<QVector<int>>("top");
    QTest::addColumn<QVector<int>>("rest");
    QTest::addColumn<int>("format");
    QTest::addColumn<QVector<int>>("expectedTop");
    QTest::addColumn<QVector<int>>("expectedRest");
    QTest::newRow("gray") << PNG_COLOR_TYPE_GRAY << 8 << QVector<int> {7} << QVector<int> {200} << int(Image::RGB)
                          << QVector<int> {7, 7, 7} << QVector<int> {200, 200, 200};
    QTest::newRow("rgb 16 bit") << PNG_COLOR_TYPE_RGB << 16 << QVector<int> {1, 2, 3} << QVector<int> {4, 5, 6}
                                << int(Image::RGB) << QVector<int> {1, 2, 3} << QVector<int> {4, 5, 6};
    QTest::newRow("palette") << PNG_COLOR_TYPE_PALETTE << 8 << QVector<int> {1} << QVector<int> {0} << int(Image::RGB)
                             << QVector<int> {200, 150, 100} << QVector<int> {10, 20, 30};
    QTest::newRow("gray with alpha") << PNG_COLOR_TYPE_GRAY_ALPHA << 8 << QVector<int> {9, 128}
                                     << QVector<int> {90, 255} << int(Image::RGBA) << QVector<int> {9, 9, 9, 128}
                                     << QVector<int> {90, 90, 90, 255};
}

void TestGlTexture::pngColourTypes()
{
    QFETCH(int, colorType);
    QFETCH(int, bitDepth);
    QFETCH(QVector<int>, top);
    QFETCH(QVector<int>, rest);
    QFETCH(int, format);
    QFETCH(QVector<int>, expectedTop);
    QFETCH(QVector<int>, expectedRest);
    const std::string name
        = writePng(QTest::currentDataTag() + std::string(".png"), colorType, bitDepth, 3, 2,
                   std::vector<int>(top.begin(), top.end()), std::vector<int>(rest.begin(), rest.end()));
    Owned<Image> image(Image::create(name.c_str()));
    QVERIFY(image.get());
    QCOMPARE(int(image->getFormat()), format);
    QCOMPARE(image->getWidth(), 3u);
    QCOMPARE(image->getHeight(), 2u);
    // Bottom-up: the file's top row is the buffer's last.
    const unsigned int rowBytes = 3 * image->getBytesPerPixel();
    for (int c = 0; c < expectedTop.size(); ++c) {
        QCOMPARE(int(image->getData()[rowBytes + c]), expectedTop[c]);
        QCOMPARE(int(image->getData()[c]), expectedRest[c]);
    }
}

void TestGlTexture::hostilePngs_data()
{
    QTest::addColumn<int>("keepBytes");
    QTest::addColumn<int>("corruptAt");
    QTest::newRow("cut inside the pixel data") << 60 << -1;
    QTest::newRow("broken signature") << 0 << 1;
    QTest::newRow("width made huge") << 0 << 16;
}

void TestGlTexture::hostilePngs()
{
    QFETCH(int, keepBytes);
    QFETCH(int, corruptAt);
    writePng("source.png", PNG_COLOR_TYPE_RGB, 8, 64, 64, {1, 2, 3}, {4, 5, 6});
    QFile file(QString::fromStdString(folder() + "source.png"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    if (keepBytes > 0)
        bytes.truncate(keepBytes);
    if (corruptAt >= 0)
        bytes[corruptAt] = char(0x7f);
    QVERIFY(!Image::createFromMemory(reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size())));
    enginetest::writeFile(folder() + "hostile.png", bytes.toStdString());
    QVERIFY(!Image::create("hostile.png"));
    QVERIFY(!Texture::create("hostile.png"));
}

// A file of the same name in another folder is another texture.
void TestGlTexture::cacheKeysOnTheResolvedPath()
{
    writePng("square.png", PNG_COLOR_TYPE_RGB, 8, 4, 4, {1, 2, 3}, {4, 5, 6});
    writePng("other/square.png", PNG_COLOR_TYPE_RGB, 8, 2, 2, {1, 2, 3}, {4, 5, 6});
    Owned<Texture> here(Texture::create("square.png", false));
    Owned<Texture> again(Texture::create("square.png", true));
    QVERIFY(here.get() && again.get() == here.get() && here->isMipmapped());
    Owned<Texture> elsewhere(Texture::create("other/square.png"));
    QVERIFY(elsewhere.get() && elsewhere.get() != here.get());
    QCOMPARE(elsewhere->getWidth(), 2u);
}

void TestGlTexture::ddsContainers_data()
{
    QTest::addColumn<QByteArray>("fourCc");
    QTest::addColumn<int>("levels");
    QTest::addColumn<int>("missingBytes");
    QTest::addColumn<bool>("loads");
    QTest::newRow("DXT1 with two levels") << QByteArray("DXT1") << 2 << 0 << true;
    QTest::newRow("last level cut short") << QByteArray("DXT1") << 2 << 1 << false;
    QTest::newRow("level count past the data") << QByteArray("DXT1") << 9 << 0 << false;
    QTest::newRow("unknown block format") << QByteArray("ATI2") << 1 << 0 << false;
}

void TestGlTexture::ddsContainers()
{
    QFETCH(QByteArray, fourCc);
    QFETCH(int, levels);
    QFETCH(int, missingBytes);
    QFETCH(bool, loads);
    // An 8 x 8 image: 4 blocks at level 0, 1 block at level 1.
    const int blockBytes = fourCc == "DXT1" ? 8 : 16;
    QByteArray file("DDS ");
    const quint32 header[31] = {124, 0x1007, 8, 8, 0, 0, quint32(std::min(levels, 9))};
    file.append(reinterpret_cast<const char*>(header), sizeof(header));
    quint32 pixelFormat[8] = {32, 0x4, 0, 0, 0, 0, 0, 0};
    std::memcpy(&pixelFormat[2], fourCc.constData(), 4);
    file.replace(4 + 72, 32, QByteArray(reinterpret_cast<const char*>(pixelFormat), 32));
    file.append(QByteArray((4 + (levels > 1 ? 1 : 0)) * blockBytes - missingBytes, '\x55'));
    enginetest::writeFile(folder() + "block.dds", file.toStdString());
    Owned<Texture> texture(Texture::create("block.dds"));
    QCOMPARE(texture.get() != nullptr, loads);
    if (loads) {
        QVERIFY(texture->getCompressedFormat() != 0);
        QCOMPARE(texture->isMipmapped(), levels > 1);
    }
}

void TestGlTexture::frameBuffers()
{
    // The frame buffer bound when the engine starts is the default one.
    QVERIFY(m_gl.bindTarget(8, 8));
    GLint outer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &outer);
    FrameBuffer::initialize();
    QCOMPARE(FrameBuffer::getDefault()->getHandle(), unsigned(outer));
    Owned<FrameBuffer> offscreen(FrameBuffer::create("offscreen", 16, 8));
    QCOMPARE(offscreen->bind(), FrameBuffer::getDefault());

    // A widget that replaced its frame buffer (on resize) has it bound when the next frame starts.
    m_gl.releaseTarget();
    GLuint holdsTheOldName = 0;
    glGenFramebuffers(1, &holdsTheOldName);
    QVERIFY(m_gl.bindTarget(8, 8));
    glDeleteFramebuffers(1, &holdsTheOldName);
    GLint replaced = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &replaced);
    FrameBuffer::adoptBoundAsDefault();
    offscreen->bind();
    FrameBuffer::bindDefault();
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    QCOMPARE(bound, replaced);
    QVERIFY(replaced != outer);
    FrameBuffer::finalize();
    m_gl.releaseTarget();
}

void TestGlTexture::mipmapLevels_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QVector<int>>("pixels");
    QTest::addColumn<QVector<int>>("smallerLevels"); // one after the other, each row by row
    QTest::newRow("2 x 2 RGB: the mean rounds half up")
        << 2 << 2 << QVector<int> {0, 10, 255, 1, 10, 255, 1, 10, 255, 1, 11, 0} << QVector<int> {1, 10, 191};
    QTest::newRow("4 x 1 RGBA: a side of 1 stays 1")
        << 4 << 1 << QVector<int> {0, 0, 0, 0, 100, 100, 100, 100, 200, 200, 200, 200, 255, 255, 255, 255}
        << QVector<int> {50, 50, 50, 50, 228, 228, 228, 228, 139, 139, 139, 139};
    QTest::newRow("1 x 2 RGB") << 1 << 2 << QVector<int> {10, 20, 30, 11, 21, 31} << QVector<int> {11, 21, 31};
}

void TestGlTexture::mipmapLevels()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QVector<int>, pixels);
    QFETCH(QVector<int>, smallerLevels);
    const int channels = int(pixels.size()) / (width * height);
    const Texture::Format format = channels == 4 ? Texture::RGBA : Texture::RGB;
    const std::vector<unsigned char> data(pixels.begin(), pixels.end());
    Owned<Texture> texture(Texture::create(format, unsigned(width), unsigned(height), data.data(), true));
    QVERIFY(texture.get() && texture->isMipmapped());
    glBindTexture(GL_TEXTURE_2D, texture->getHandle());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    QVector<int> read;
    for (int level = 1; width > 1 || height > 1; ++level) {
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
        std::vector<unsigned char> levelPixels(size_t(width * height * channels));
        glGetTexImage(GL_TEXTURE_2D, level, format, GL_UNSIGNED_BYTE, levelPixels.data());
        read += QVector<int>(levelPixels.begin(), levelPixels.end());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    QCOMPARE(read, smallerLevels);
}

QTEST_MAIN(TestGlTexture)
#include "tst_gltexture.moc"
