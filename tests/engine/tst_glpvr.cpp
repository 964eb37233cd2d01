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

struct Header {
    uint32_t headerSize = 52;
    uint32_t height = 2;
    uint32_t width = 2;
    uint32_t mipmaps = 0; // below the top level
    uint32_t flags = kRgba8888;
    uint32_t surfaces = 1;
    const char* tag = "PVR!";
};

// The header followed by 'payload' bytes counting up from 1.
QByteArray pvrFile(const Header& h, int payload)
{
    std::vector<uint32_t> fields
        = {h.headerSize, h.height, h.width, h.mipmaps, h.flags, uint32_t(payload), 32, 0, 0, 0, 0, 0, h.surfaces};
    std::memcpy(&fields[11], h.tag, 4);
    QByteArray bytes(reinterpret_cast<const char*>(fields.data()), int(fields.size() * 4));
    for (int i = 0; i < payload; ++i)
        bytes.append(char(i + 1));
    return bytes;
}

Header with(void (*change)(Header&))
{
    Header h;
    change(h);
    return h;
}

} // namespace

class TestGlPvr : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_gl.create());
        FileSystem::setResourcePath((QDir::currentPath() + "/").toUtf8().constData());
    }

    void headers_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("pvrtcSupported");
        QTest::addColumn<int>("status");
        const int ok = Reader::PVR_OK;
        QTest::newRow("rgba 2x2") << pvrFile(Header(), 16) << false << ok;
        QTest::newRow("rgb 2x2 with its mip")
            << pvrFile(with([](Header& h) { h.flags = kRgb888, h.mipmaps = 1; }), 15) << false << ok;
        QTest::newRow("pvrtc 8x8 where sampled")
            << pvrFile(with([](Header& h) { h.flags = kPvrtc4, h.width = h.height = 8; }), 32) << true << ok;
        QTest::newRow("pvrtc elsewhere") << pvrFile(with([](Header& h) { h.flags = kPvrtc4, h.width = h.height = 8; }),
                                                    32)
                                         << false << int(Reader::PVR_NO_PVRTC_SUPPORT);
        QTest::newRow("pvrtc not power of two")
            << pvrFile(with([](Header& h) { h.flags = kPvrtc4, h.width = 12; }), 4096) << true
            << int(Reader::PVR_BAD_SIZE);
        QTest::newRow("header cut short") << pvrFile(Header(), 16).left(51) << false << int(Reader::PVR_TOO_SHORT);
        QTest::newRow("no tag") << pvrFile(with([](Header& h) { h.tag = "PVR\3"; }), 16) << false
                                << int(Reader::PVR_NOT_PVR);
        QTest::newRow("pixels cut short") << pvrFile(Header(), 15) << false << int(Reader::PVR_TRUNCATED);
        QTest::newRow("mip level missing")
            << pvrFile(with([](Header& h) { h.mipmaps = 1; }), 16) << false << int(Reader::PVR_TRUNCATED);
        // Sizes whose byte count would overflow 32 bits must not wrap into the file.
        QTest::newRow("huge size") << pvrFile(with([](Header& h) { h.width = h.height = 0x40000000; }), 16) << false
                                   << int(Reader::PVR_BAD_SIZE);
        QTest::newRow("mip count past one pixel")
            << pvrFile(with([](Header& h) { h.mipmaps = 0xffffffff; }), 16) << false << int(Reader::PVR_BAD_SIZE);
        QTest::newRow("rgb 565") << pvrFile(with([](Header& h) { h.flags = kRgb565; }), 8) << false
                                 << int(Reader::PVR_UNSUPPORTED_PIXEL_TYPE);
        QTest::newRow("cube map") << pvrFile(with([](Header& h) { h.flags = kRgba8888 | kCubeMap; }), 96) << false
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
        QTest::newRow("rgba") << pvrFile(Header(), 16) << int(Texture::RGBA) << 16 << false;
        QTest::newRow("rgb with mip") << pvrFile(with([](Header& h) { h.flags = kRgb888, h.mipmaps = 1; }), 15)
                                      << int(Texture::RGB) << 12 << true;
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
