// The FBX node tree: the binary writer gives back what it was given (byte for byte where the FBX SDK
// wrote the file), and damaged and hostile files are refused with a reason. That every encoding reads,
// and where its geometry lands, is the fidelity test's part.
#include "EncoderTestSupport.h"
#include "FbxBinaryWriter.h"
#include "FbxSource.h"
#include "FbxTreeReader.h"

#include <assimp/Importer.hpp>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using namespace encodertest;

namespace {

QString reference(const QString& file) { return sharedModels() + "/../fbx-reference/" + file; }

// Where the records of a binary FBX 7.5 file end: after the top level's closing record of zeros.
size_t recordsEnd(const std::string& bytes)
{
    size_t at = 27;
    for (uint64_t end; at + 8 <= bytes.size() && (std::memcpy(&end, &bytes[at], 8), end != 0);)
        at = size_t(end);
    return at + 25;
}

std::string summary(const aiScene* scene)
{
    if (!scene)
        return "not read";
    unsigned vertices = 0, faces = 0;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        vertices += scene->mMeshes[i]->mNumVertices;
        faces += scene->mMeshes[i]->mNumFaces;
    }
    return std::to_string(scene->mNumMeshes) + " meshes, " + std::to_string(vertices) + " vertices, "
        + std::to_string(faces) + " faces";
}

std::string render(const FbxNode& node)
{
    std::string text = node.name + ":";
    for (const FbxProperty& p : node.properties) {
        text += std::string(" ") + p.type;
        if (p.type == 'S')
            text += p.text;
        else if (p.isArray())
            text += std::to_string(p.integers.size() + p.reals.size());
        else
            text += p.type == 'D' ? QByteArray::number(p.real).toStdString() : std::to_string(p.integer);
    }
    for (const FbxNode& child : node.children)
        text += " {" + render(child) + "}";
    return text;
}

const QByteArray kHeader7500("Kaydara FBX Binary  \0\x1a\0\x4c\x1d\0\0", 27);

// Records "N" inside each other, each closed by its record of zeros.
QByteArray binaryNested(size_t depth)
{
    const size_t open = 26, close = 25;
    QByteArray bytes = kHeader7500;
    for (size_t i = 0; i < depth; ++i) {
        const uint64_t end = uint64_t(bytes.size()) + (depth - i) * (open + close);
        bytes.append(reinterpret_cast<const char*>(&end), 8).append(QByteArray(16, '\0')).append("\1N");
    }
    return bytes.append(QByteArray(int(depth * close), '\0'));
}

QByteArray asciiNested(int depth) { return QByteArray("A: {").repeated(depth) + QByteArray("}").repeated(depth); }

} // namespace

class TestFbxTree : public QObject {
    Q_OBJECT

private slots:
    void writesWhatItRead_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("sdkBytes"); // written by the FBX SDK as 7.5 without deflated arrays
        QTest::newRow("7.5, 3ds Max") << sharedModels() + "/ufbx/data/max_unicode_7500_binary.fbx" << true;
        QTest::newRow("7.5, Maya") << reference("maya_post_rotate_order_7500_binary.fbx") << true;
        QTest::newRow("7.5, deflated") << sharedModels() + "/assimp/test/models/FBX/boxWithCompressedCTypeArray.FBX"
                                       << false;
        QTest::newRow("7.7, Maya") << sharedModels() + "/ufbx/data/maya_kenney_character_7700_binary.fbx" << false;
        QTest::newRow("7.4, Blender") << sharedModels() + "/ufbx/data/blender_293_barbarian_7400_binary.fbx" << false;
        QTest::newRow("7.3, skinned") << sharedModels() + "/assimp/test/models/FBX/animation_with_skeleton.fbx"
                                      << false;
    }

    void writesWhatItRead()
    {
        QFETCH(QString, path);
        QFETCH(bool, sdkBytes);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            QSKIP("shared models not present");
        const QByteArray original = file.readAll();
        FbxDocument read, again;
        std::string bytes, error;
        QVERIFY2(FbxTreeReader::read(original.toStdString(), read, error), error.c_str());
        QVERIFY2(FbxBinaryWriter::write(read, bytes, error), error.c_str());
        QVERIFY2(FbxTreeReader::read(bytes, again, error), error.c_str());
        QVERIFY(std::equal(read.nodes.begin(), read.nodes.end(), again.nodes.begin(), again.nodes.end(),
                           [](const FbxNode& x, const FbxNode& y) { return x.sameAs(y); }));
        if (sdkBytes)
            QVERIFY(original.left(int(recordsEnd(bytes))).toStdString() == bytes.substr(0, recordsEnd(bytes)));
        // The importer reads the rewritten file as it reads the original.
        Assimp::Importer fromFile, fromMemory;
        const std::string expected = summary(fromFile.ReadFile(path.toStdString(), 0));
        QCOMPARE(summary(fromMemory.ReadFileFromMemory(bytes.data(), bytes.size(), 0, "fbx")), expected);
        // What the encoder reads beside the importer comes out the same from the tree as from the file.
        QCOMPARE(SourceProbe::meshObjectNames(read), SourceProbe::meshObjectNames(path.toStdString(), true));
        QCOMPARE(SourceProbe::diffuseFactors(read), SourceProbe::diffuseFactors(path.toStdString(), true));
    }

    void readsAsciiValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("first"); // the first node, rendered
        QTest::newRow("list over lines") << "; c\nVertices: 1,2.5,\n  -3e2 ,4\n,5"
                                         << "Vertices: L1 D2.5 D-300 L4 L5";
        QTest::newRow("7.x array") << "V: *3 {\n a: 1,2.5,3\n} "
                                   << "V: d3";
        QTest::newRow("whole array") << "V: *2 {a:1,-2}"
                                     << "V: l2";
        QTest::newRow("words and text") << "P: \"a;b\", Y, \"\",1.#INF"
                                        << "P: Sa;b SY S Dinf";
        QTest::newRow("leading comma") << "Content: , \"abc\""
                                       << "Content: Sabc";
        QTest::newRow("children") << "M: 1, \"x\" {\n\tA: T\n\tB:  {\n\t}\n}"
                                  << "M: L1 Sx {A: ST} {B:}";
        QTest::newRow("NUL in a word") << QString::fromLatin1("A: x\0y", 7) << QString::fromLatin1("A: Sx\0y", 8);
        QTest::newRow("not numbers") << "N: inf, 0x10, -, 1e"
                                     << "N: Sinf S0x10 S- S1e";
    }

    void readsAsciiValues()
    {
        QFETCH(QString, text);
        QFETCH(QString, first);
        FbxDocument document;
        std::string error;
        QVERIFY2(FbxTreeReader::read(text.toStdString(), document, error), error.c_str());
        QVERIFY(!document.nodes.empty());
        QCOMPARE(QString::fromStdString(render(document.nodes[0])), first);
    }

    void refusesDamage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        // A 7.5 header, then one record "A" with `count` properties, ending `skew` bytes after them.
        const QByteArray header = kHeader7500;
        auto record = [&](const QByteArray& properties, int count, int skew) {
            QByteArray r(25, '\0');
            const uint64_t end = uint64_t(header.size() + 26 + properties.size() + skew);
            const uint64_t fields[3] = {end, uint64_t(count), uint64_t(properties.size())};
            std::memcpy(r.data(), fields, 24);
            r[24] = 1;
            return header + r + "A" + properties;
        };
        // 2^30 elements of 4 bytes from 16 deflated bytes.
        const QByteArray bomb = QByteArray("i\0\0\0\x40\1\0\0\0\x10\0\0\0", 13) + QByteArray(16, 'x');
        QTest::newRow("deflate bomb") << record(bomb, 1, 0) << "claims more elements";
        QTest::newRow("array size") << record(QByteArray("i\2\0\0\0\0\0\0\0\4\0\0\0xxxx", 17), 1, 0) << "stored size";
        QTest::newRow("bad deflate") << record(QByteArray("d\1\0\0\0\1\0\0\0\4\0\0\0xxxx", 17), 1, 0) << "damaged";
        QTest::newRow("record past end") << record(QByteArray("I\1\0\0\0", 5), 1, 100) << "ends outside";
        QTest::newRow("count past data") << record(QByteArray("I\1\0\0\0", 5), 2, 0) << "runs past";
        QTest::newRow("type") << record(QByteArray("Q\1\0\0\0", 5), 1, 0) << "unknown property type";
        QTest::newRow("truncated") << record(QByteArray("S\xff\0\0\0abc", 8), 1, 0) << "runs past";
        QTest::newRow("too short") << header.left(20) << "header";
        QTest::newRow("ASCII quote") << QByteArray("A: \"open") << "not closed";
        QTest::newRow("ASCII brace") << QByteArray("A: 1\n}") << "closes nothing";
        QTest::newRow("ASCII unclosed") << QByteArray("A: {\n B: 1") << "ends inside";
        QTest::newRow("ASCII array") << QByteArray("A: *2 { a: 1, \"x\" }") << "other than numbers";
        QTest::newRow("ASCII value first") << QByteArray("1, 2") << "node name";
    }

    void refusesDamage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        FbxDocument document;
        std::string error;
        QVERIFY(!FbxTreeReader::read(bytes.toStdString(), document, error));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
    }

    void nestingIsBounded_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("read");
        QTest::newRow("binary, 1000 levels") << binaryNested(1000) << true;
        QTest::newRow("binary, 1001 levels") << binaryNested(1001) << false;
        QTest::newRow("ASCII, 1000 levels") << asciiNested(1000) << true;
        QTest::newRow("ASCII, 1001 levels") << asciiNested(1001) << false;
    }

    void nestingIsBounded()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, read);
        FbxDocument document;
        std::string error;
        QCOMPARE(FbxTreeReader::read(bytes.toStdString(), document, error), read);
        QVERIFY2(read || error.find("1000 levels") != std::string::npos, error.c_str());
    }

    void damagedBigEndianFileIsRefused()
    {
        QFile file(reference("maya_cube_big_endian_7500_binary.fbx"));
        if (!file.open(QIODevice::ReadOnly))
            QSKIP("shared references not present");
        QTemporaryDir folder;
        QFile cut(folder.filePath("cut.fbx"));
        QVERIFY(cut.open(QIODevice::WriteOnly) && cut.write(file.readAll().left(5000)) == 5000);
        cut.close();
        const Run run = convert(cut.fileName(), folder.filePath("out/model.gpb"));
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(codes(run), QStringList {"1004"});
        QVERIFY2(run.err.contains("ends outside its parent"), qPrintable(run.err));
        QVERIFY(!QFile::exists(folder.filePath("out/model.gpb")));
    }
};

QTEST_GUILESS_MAIN(TestFbxTree)
#include "tst_fbxtree.moc"
