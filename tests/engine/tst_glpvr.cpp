// PVR textures: hostile and valid legacy headers built byte by byte, and the
// pixels of a readable file reaching OpenGL unchanged.
#include "GlTestContext.h"

#include "CompressedTextureReader.h"
#include "EngineTestSupport.h"
#include "FileSystem.h"
#include "Texture.h"

#include <QtTest>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace engine;
using namespace enginetest;
using Reader = CompressedTextureReader;

namespace {

const uint32_t kRgba8888 = 0x12;
const uint32_t kRgb888 = 0x15;
const uint32_t kPvrtc4 = 0x19;
const uint32_t kRgb565 = 0x13;
const uint32_t kCubeMap = 0x1000;

// A legacy header (mipmaps counts the levels below the top one) followed
// by 'payload' bytes counting up from 1.
QByteArray pvrFile(uint32_t flags, uint32_t size, uint32_t mipmaps, int payload, const char* tag = "PVR!")
{
    std::vector<uint32_t> fields = {52, size, size, mipmaps, flags, uint32_t(payload), 32, 0, 0, 0, 0, 0, 1};
    std::memcpy(&fields[11], tag, 4);
    QByteArray bytes(reinterpret_cast<const char*>(fields.data()), int(fields.size() * 4));
    for (int i = 0; i < payload; ++i)
        bytes.append(char(i + 1));
    return bytes;
}

} // namespace

class TestGlPvr : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_gl.create()); }

    void headers_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("pvrtcSupported");
        QTest::addColumn<int>("status");
        const int ok = Reader::PVR_OK;
        QTest::newRow("rgba 2x2") << pvrFile(kRgba8888, 2, 0, 16) << false << ok;
        QTest::newRow("rgb 2x2 with its mip") << pvrFile(kRgb888, 2, 1, 15) << false << ok;
        QTest::newRow("pvrtc 8x8 where sampled") << pvrFile(kPvrtc4, 8, 0, 32) << true << ok;
        QTest::newRow("pvrtc elsewhere") << pvrFile(kPvrtc4, 8, 0, 32) << false << int(Reader::PVR_NO_PVRTC_SUPPORT);
        QTest::newRow("pvrtc not power of two") << pvrFile(kPvrtc4, 12, 0, 4096) << true << int(Reader::PVR_BAD_SIZE);
        QTest::newRow("header cut short")
            << pvrFile(kRgba8888, 2, 0, 16).left(51) << false << int(Reader::PVR_TOO_SHORT);
        QTest::newRow("no tag") << pvrFile(kRgba8888, 2, 0, 16, "PVR\3") << false << int(Reader::PVR_NOT_PVR);
        QTest::newRow("pixels cut short") << pvrFile(kRgba8888, 2, 0, 15) << false << int(Reader::PVR_TRUNCATED);
        QTest::newRow("mip level missing") << pvrFile(kRgba8888, 2, 1, 16) << false << int(Reader::PVR_TRUNCATED);
        // Sizes whose byte count would overflow 32 bits must not wrap into the file.
        QTest::newRow("huge size") << pvrFile(kRgba8888, 0x40000000, 0, 16) << false << int(Reader::PVR_BAD_SIZE);
        QTest::newRow("mip count past one pixel")
            << pvrFile(kRgba8888, 2, 0xffffffff, 16) << false << int(Reader::PVR_BAD_SIZE);
        QTest::newRow("rgb 565") << pvrFile(kRgb565, 2, 0, 8) << false << int(Reader::PVR_UNSUPPORTED_PIXEL_TYPE);
        QTest::newRow("cube map") << pvrFile(kRgba8888 | kCubeMap, 2, 0, 96) << false
                                  << int(Reader::PVR_UNSUPPORTED_LAYOUT);
    }
    void headers()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, pvrtcSupported);
        QFETCH(int, status);
        const auto* data = reinterpret_cast<const unsigned char*>(file.constData());
        QCOMPARE(int(Reader::planPvr(data, size_t(file.size()), pvrtcSupported).status), status);
        // Whatever the context offers, a refused file makes no texture.
        if (status != Reader::PVR_OK && status != Reader::PVR_NO_PVRTC_SUPPORT)
            QVERIFY(!Reader::readPvr(data, size_t(file.size())));
    }

    void pixelsReachOpenGl_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("mipmapped");
        QTest::newRow("rgba") << pvrFile(kRgba8888, 2, 0, 16) << int(Texture::RGBA) << 16 << false;
        QTest::newRow("rgb with mip") << pvrFile(kRgb888, 2, 1, 15) << int(Texture::RGB) << 12 << true;
    }
    void pixelsReachOpenGl()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, format);
        QFETCH(int, bytes);
        QFETCH(bool, mipmapped);
        QFile out("T.PVR");
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file);
        out.close();
        Owned<Texture> texture(Texture::create("T.PVR"));
        QVERIFY(texture.get());
        QCOMPARE(int(texture->getFormat()), format);
        QCOMPARE(texture->getWidth(), 2u);
        QCOMPARE(texture->isMipmapped(), mipmapped);
        QByteArray read(bytes, 0);
        glBindTexture(GL_TEXTURE_2D, texture->getHandle());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GLenum(format), GL_UNSIGNED_BYTE, read.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        QCOMPARE(read, file.mid(52, bytes));
    }

private:
    GlTestContext m_gl;
};

QTEST_MAIN(TestGlPvr)
#include "tst_glpvr.moc"
