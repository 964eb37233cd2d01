// The properties text format, the file system service and file streams,
// including malformed and hostile files (this program also runs under
// AddressSanitizer and UndefinedBehaviorSanitizer).
#include "FileStream.h"
#include "FileSystem.h"
#include "Properties.h"

#include "EngineTestSupport.h"

#include <QtTest>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

using namespace engine;

namespace {

using PropertiesPtr = std::unique_ptr<Properties>;

PropertiesPtr parse(const std::string& text)
{
    return PropertiesPtr(Properties::createFromText(text.data(), text.size(), "dir/"));
}

} // namespace

class TestProperties : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void grammarNamespacesAndComments();
    void inheritanceFromAnywhereTerminates();
    void variables();
    void typedGettersAndFailureValues();

    void numbersReadTheSameUnderACommaLocale_data();
    void numbersReadTheSameUnderACommaLocale();
    void createFollowsUrlNamespacePath();
    void materialUrlNamesTheMaterialWithThatId_data();
    void materialUrlNamesTheMaterialWithThatId();
    void cacheParsesOnceAndCopiesAreIndependent();
    void createFailsCleanly();

    void malformedFilesGiveNull();
    void sizeLimits();

    void fileSystemPathRules();
    void readAllAndStreams();

private:
    std::string writeFile(const char* name, const std::string& content);
    QTemporaryDir* m_dir = nullptr;
    std::string m_root;
};

void TestProperties::init()
{
    m_dir = new QTemporaryDir();
    QVERIFY(m_dir->isValid());
    m_root = m_dir->path().toStdString() + "/";
    FileSystem::setResourcePath("");
    FileSystem::clearAliases();
}

void TestProperties::cleanup()
{
    delete m_dir;
    m_dir = nullptr;
    FileSystem::setResourcePath("");
    FileSystem::clearAliases();
}

std::string TestProperties::writeFile(const char* name, const std::string& content)
{
    return enginetest::writeFile(m_root + name, content);
}

void TestProperties::grammarNamespacesAndComments()
{
    PropertiesPtr root
        = parse("// leading comment\nmaterial box : base /* inline */\n{\n"
                "    name =   Box Material  \n\ttint=1,0,0 // trailing\n    formula = a = b\n"
                "    /* a block\n       hidden = 2\n       spanning lines */ c = 3\n    e = /* inside */ 5\n"
                "    technique\n    {\n        pass p0 { }\n    }\n    inline i { v = 7 }\n    spaced x:y { }\n}\n"
                "a { b { v = ${x} } }\n");
    QVERIFY(root);
    Properties* box = root->getNamespace("box");
    QVERIFY(box);
    QCOMPARE(box->getNamespace(), "material");
    QCOMPARE(box->getParentId(), "base");
    QCOMPARE(box->getString("name"), "Box Material");
    QCOMPARE(box->getString("tint"), "1,0,0");
    QCOMPARE(box->getString("formula"), "a = b"); // only the first "=" separates
    QVERIFY(!box->exists("hidden"));
    QCOMPARE(box->getInt("c"), 3);
    QCOMPARE(box->getInt("e"), 5);
    Properties* technique = box->getNamespace("technique", true);
    QCOMPARE(technique->getId(), "");
    QCOMPARE(technique->getParent(), box);
    QVERIFY(box->getNamespace("p0")); // recursive by default
    QVERIFY(!box->getNamespace("p0", false, false));
    QCOMPARE(box->getNamespace("i")->getInt("v"), 7);
    QCOMPARE(box->getNamespace("x")->getParentId(), "y");
    // Several closing braces on one line close one namespace each.
    QCOMPARE(root->getNamespace("b", true)->propertyCount(), size_t(1));

    // Iteration follows file order; a null name means the current property.
    PropertiesPtr ordered = parse("n {\n z = 1\n a = 2\n c1 {}\n c2 {}\n}\n");
    Properties* n = ordered->getNamespace("n", true);
    QCOMPARE(n->getNextProperty(), "z");
    QCOMPARE(n->getInt(nullptr), 1);
    QCOMPARE(n->getNextProperty(), "a");
    QCOMPARE(n->getNextProperty(), static_cast<const char*>(nullptr));
    QCOMPARE(n->getNextNamespace()->getNamespace(), "c1");
    n->rewind();
    QCOMPARE(n->getNextProperty(), "z");
}

void TestProperties::inheritanceFromAnywhereTerminates()
{
    PropertiesPtr root = parse("m a : b { x = a }\n"
                               "m b : c { y = b }\n"
                               "m c { x = c\n y = c\n z = c\n pass p { s = c } }\n"
                               "m d : c { pass p { s = d } }\n"
                               "outer {\n inner n : c { }\n}\n"
                               "m loop1 : loop2 { x = 1 }\n"
                               "m loop2 : loop1 { y = 2 }\n"
                               "m self : self { z = 3 }\n"
                               "m around : enclosed {\n  m enclosed : around { w = 4 }\n}\n"
                               "m u : unknown { v = 5 }\n");
    QVERIFY(root);
    // Own values win; the rest comes through b from c, both further down.
    Properties* a = root->getNamespace("a");
    QCOMPARE(a->getString("x"), "a");
    QCOMPARE(a->getString("y"), "b");
    QCOMPARE(a->getString("z"), "c");
    QCOMPARE(a->getNamespace("p")->getParent(), a);
    QCOMPARE(root->getNamespace("c")->propertyCount(), size_t(3)); // the parent is untouched
    // A nested namespace the child defines itself is not replaced.
    Properties* d = root->getNamespace("d");
    QCOMPARE(d->namespaceCount(), size_t(1));
    QCOMPARE(d->getNamespace("p")->getString("s"), "d");
    QCOMPARE(root->getNamespace("n")->getString("z"), "c"); // nested namespaces inherit too

    // Cycles: one side inherits from the other; neither loops.
    Properties* loop1 = root->getNamespace("loop1");
    Properties* loop2 = root->getNamespace("loop2");
    QVERIFY(loop1->exists("x") && loop2->exists("y"));
    QVERIFY(loop1->exists("y") || loop2->exists("x"));
    QCOMPARE(root->getNamespace("self")->propertyCount(), size_t(1));
    QCOMPARE(root->getNamespace("u")->getInt("v"), 5);
    // Inheriting from an enclosing namespace would nest the namespace in itself.
    QCOMPARE(root->getNamespace("enclosed")->namespaceCount(), size_t(0));
}

void TestProperties::variables()
{
    PropertiesPtr root
        = parse("$global = 9\nmaterial m {\n    $tint = 0.5,0.5,1\n    colour = ${tint}\n    level = ${global}\n"
                "    missing = ${nowhere}\n    short = ${}\n    technique t { inner = ${tint} }\n}\n");
    QVERIFY(root);
    Properties* m = root->getNamespace("m");
    QCOMPARE(m->getString("colour"), "0.5,0.5,1");
    QCOMPARE(m->getInt("level"), 9);
    QVERIFY(!m->exists("$tint")); // declarations are not properties
    // An unresolved reference reads as absent; too short to be one is text.
    QCOMPARE(m->getBool("missing", true), true);
    QCOMPARE(m->getString("short"), "${}");
    QCOMPARE(m->getNamespace("t")->getString("inner"), "0.5,0.5,1");
    // Setting a variable at run time changes what references read.
    m->setVariable("tint", "1,1,1");
    Vector3 v;
    QVERIFY(m->getVector3("colour", &v));
    QCOMPARE(v, Vector3(1, 1, 1));
}

void TestProperties::typedGettersAndFailureValues()
{
    PropertiesPtr root
        = parse("v {\n  yes = true\n  capital = True\n"
                "  neg = -7\n  word = abc\n  big = 99999999999999\n  intfloat = 3.9\n  f3 = -0.5\n  fbad = x1\n"
                "  spaced = 1, 2, 3\n  badsep = 1 ,2,3\n  rot = 0,1,0,90\n"
                "  m15 = 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n"
                "  m16 = 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16\n"
                "}\n");
    QVERIFY(root);
    Properties* p = root->getNamespace("v", true);

    QCOMPARE(p->getBool("yes"), true);
    QCOMPARE(p->getBool("capital", true), false); // only "true" exactly
    QCOMPARE(p->getInt("neg"), -7);
    QCOMPARE(p->getInt("word"), 0);
    QCOMPARE(p->getInt("intfloat"), 3);
    QCOMPARE(p->getInt("big"), 2147483647); // saturates instead of wrapping
    QCOMPARE(p->getFloat("fbad"), 0.0f);

    Vector3 v3(9, 9, 9);
    QVERIFY(p->getVector3("spaced", &v3));
    QCOMPARE(v3, Vector3(1, 2, 3));
    QVERIFY(!p->getVector3("badsep", &v3));
    QCOMPARE(v3, Vector3());
    Vector4 v4(9, 9, 9, 9);
    QVERIFY(!p->getVector4("spaced", &v4)); // three numbers are not four
    QCOMPARE(v4, Vector4(0, 0, 0, 0));

    Quaternion q(1, 2, 3, 4);
    QVERIFY(p->getQuaternionFromAxisAngle("rot", &q));
    // A quarter turn about y takes z to x.
    const Vector3 turned = q.rotate(Vector3(0, 0, 1));
    QVERIFY(std::fabs(turned.x - 1) < 1e-5f && std::fabs(turned.z) < 1e-5f);
    QVERIFY(!p->getQuaternionFromAxisAngle("spaced", &q));
    QCOMPARE(q, Quaternion::identity());

    Matrix m = Matrix::createTranslation(Vector3(1, 1, 1));
    QVERIFY(!p->getMatrix("m15", &m));
    QVERIFY(m.isIdentity());
    QVERIFY(p->getMatrix("m16", &m));
    for (int i = 0; i < 16; ++i)
        QCOMPARE(m.m[i], float(i + 1)); // storage order

    for (const char* number : {"12", "-12.5", ".5"})
        QVERIFY(Properties::isNumber(number));
    for (const char* other : {"1.2.3", "--1", "+1", "1e5", "", "-", ".", static_cast<const char*>(nullptr)})
        QVERIFY(!Properties::isNumber(other));
}

void TestProperties::numbersReadTheSameUnderACommaLocale_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("count");
    QTest::addColumn<float>("last");
    QTest::newRow("float") << "0.8" << 1 << 0.8f;
    QTest::newRow("vector3") << "12.5, 0.25,-1.5" << 3 << -1.5f;
    QTest::newRow("vector4") << "1,2,3,0.5" << 4 << 0.5f;
    QTest::newRow("rotation") << "0,1,0,22.5" << 4 << 22.5f;
    QTest::newRow("matrix") << "1,0,0,0,0,1,0,0,0,0,1,0,2.5,0,0,1.25" << 16 << 1.25f;
    QTest::newRow("exponent") << "2.5e-1" << 1 << 0.25f;
}

void TestProperties::numbersReadTheSameUnderACommaLocale()
{
    QFETCH(QString, value);
    QFETCH(int, count);
    QFETCH(float, last);
    enginetest::CommaLocale comma(m_dir->path());
    if (!comma.active)
        QSKIP("no locale with a decimal comma can be installed here");
    PropertiesPtr root = parse("n { v = " + value.toStdString() + " }");
    Properties* n = root->getNamespace("n", true);
    float got = 0.0f;
    Vector3 v3;
    Vector4 v4;
    Quaternion q;
    Matrix m;
    switch (count) {
    case 1:
        got = n->getFloat("v");
        break;
    case 3:
        QVERIFY(n->getVector3("v", &v3));
        got = v3.z;
        break;
    case 4:
        QVERIFY(n->getVector4("v", &v4));
        QVERIFY(n->getQuaternionFromAxisAngle("v", &q));
        QVERIFY(enginetest::sameRotation(
            q, Quaternion::fromAxisAngle(Vector3(v4.x, v4.y, v4.z), v4.w * enginetest::kPi / 180)));
        got = v4.w;
        break;
    default:
        QVERIFY(n->getMatrix("v", &m));
        got = m.m[15];
        QCOMPARE(m.m[12], 2.5f);
    }
    QCOMPARE(got, last);
}

void TestProperties::createFollowsUrlNamespacePath()
{
    writeFile("scene.txt",
              "scene main {\n  node a { animation walk { property = ANIMATE_ROTATE } }\n"
              "  node b { value = 2 }\n}\n");
    FileSystem::setResourcePath(m_root.c_str());

    PropertiesPtr whole(Properties::create("scene.txt"));
    QVERIFY(whole);
    PropertiesPtr b(Properties::create("scene.txt#b"));
    QVERIFY(b);
    QCOMPARE(b->getInt("value"), 2);
    // The path may also name the top namespace itself.
    PropertiesPtr walk(Properties::create("scene.txt#main/a/walk"));
    QVERIFY(walk);
    QCOMPARE(walk->getString("property"), "ANIMATE_ROTATE");
    QVERIFY(PropertiesPtr(Properties::create("scene.txt#a/walk")));
    QVERIFY(!Properties::create("scene.txt#a/run"));

    // Several top-level namespaces: the path starts among them.
    writeFile("two.txt", "a one { x = 1 }\na two { x = 2 }\n");
    PropertiesPtr two(Properties::create("two.txt#two"));
    QVERIFY(two);
    QCOMPARE(two->getInt("x"), 2);

    // An absolute path bypasses the resource path; the folder part is kept,
    // and paths in the file resolve against it.
    FileSystem::setResourcePath("/nonexistent/");
    writeFile("sub/tex.png", "x");
    const std::string material = writeFile("sub/m.material", "material m { a = tex.png\n b = none.png\n}\n");
    PropertiesPtr m(Properties::create(material.c_str()));
    QVERIFY(m);
    QCOMPARE(m->getDirectoryPath(), (m_root + "sub/").c_str());
    std::string resolved;
    QVERIFY(m->getPath("a", &resolved));
    QCOMPARE(QString::fromStdString(resolved), QString::fromStdString(m_root + "sub/tex.png"));
    QVERIFY(!m->getPath("b", &resolved));
}

// The names a material may have that are also block names of the format.
void TestProperties::materialUrlNamesTheMaterialWithThatId_data()
{
    QTest::addColumn<QString>("ids");
    QTest::addColumn<QString>("wanted");
    for (const char* name : {"default", "technique", "pass", "renderState", "sampler", "material"}) {
        QTest::newRow(qPrintable(QString("alone: %1").arg(name))) << name << name;
        QTest::newRow(qPrintable(QString("among others: %1").arg(name))) << QString("first %1 last").arg(name) << name;
    }
}

void TestProperties::materialUrlNamesTheMaterialWithThatId()
{
    QFETCH(QString, ids);
    QFETCH(QString, wanted);
    std::string text;
    for (const QString& id : ids.split(' ')) {
        text += "material " + id.toStdString() + "\n{\n    tag = " + id.toStdString()
            + "\n    sampler u_map { path = a.png }\n    renderState { cullFace = true }\n"
              "    technique default\n    {\n        pass default { tag = pass }\n    }\n}\n";
    }
    const std::string file = writeFile("model.material", text);
    PropertiesPtr found(Properties::create((file + "#" + wanted.toStdString()).c_str()));
    QVERIFY(found);
    QCOMPARE(found->getNamespace(), "material");
    QCOMPARE(found->getString("tag"), qPrintable(wanted));
}

void TestProperties::cacheParsesOnceAndCopiesAreIndependent()
{
    const std::string path = writeFile("cached.material", "material m { colour = red\n pass p { } }\n");
    Properties::Cache cache;
    PropertiesPtr first(Properties::create(path.c_str(), &cache));
    QVERIFY(first);
    QCOMPARE(cache.size(), size_t(1));

    // The file changes on disk: the cached parse is still used.
    writeFile("cached.material", "material m { colour = blue }\n");
    PropertiesPtr second(Properties::create((path + "#m").c_str(), &cache));
    QCOMPARE(second->getString("colour"), "red");
    QCOMPARE(cache.size(), size_t(1));

    // Changing one copy changes neither the cache nor other copies.
    second->setString("colour", "green");
    PropertiesPtr third(Properties::create(path.c_str(), &cache));
    QCOMPARE(third->getString("colour"), "red");

    // Without a cache the file is read again.
    PropertiesPtr fresh(Properties::create(path.c_str()));
    QCOMPARE(fresh->getString("colour"), "blue");
    Properties::clearCache(cache);
    QVERIFY(cache.empty());

    // The same relative name below another resource path is another file.
    writeFile("one/same.txt", "n { v = 1\n}\n");
    writeFile("two/same.txt", "n { v = 2\n}\n");
    FileSystem::setResourcePath((m_root + "one/").c_str());
    PropertiesPtr one(Properties::create("same.txt", &cache));
    FileSystem::setResourcePath((m_root + "two/").c_str());
    PropertiesPtr two(Properties::create("same.txt", &cache));
    QVERIFY(one && two);
    QCOMPARE(one->getInt("v"), 1);
    QCOMPARE(two->getInt("v"), 2);
    Properties::clearCache(cache);
}

void TestProperties::createFailsCleanly()
{
    Properties::Cache cache;
    QVERIFY(!Properties::create(nullptr));
    QVERIFY(!Properties::create((m_root + "missing.txt").c_str(), &cache));
    QVERIFY(!Properties::create(m_root.c_str())); // a folder
    QVERIFY(!Properties::create(writeFile("bad.txt", "a {\n").c_str(), &cache));
    QVERIFY(cache.empty()); // failures are not cached
    PropertiesPtr empty(Properties::create(writeFile("empty.txt", "").c_str()));
    QVERIFY(empty);
    QCOMPARE(empty->namespaceCount(), size_t(0));
}

void TestProperties::malformedFilesGiveNull()
{
    // Unclosed, a brace too many, header never opened, too many words,
    // parent id missing, no name, comment never closed.
    for (const char* text : {"a {\n b = 1\n", "a {\n}\n}\n", "a\nb = 1\n", "a b c d {\n}\n", "a b : {\n}\n", "{\n}\n",
                             "a { /* never closed\n}\n"})
        QVERIFY2(!parse(text), text);
    // Nameless properties are skipped, not fatal.
    PropertiesPtr p = parse("a {\n = 5\n b = \n}\n");
    QVERIFY(p);
    QCOMPARE(p->getNamespace("a", true)->propertyCount(), size_t(1));
    QCOMPARE(p->getNamespace("a", true)->getString("b"), "");
    // A byte order mark is not part of the first namespace name.
    PropertiesPtr bom = parse("\xEF\xBB\xBFmaterial m\n{\n}\n");
    QVERIFY(bom);
    QCOMPARE(bom->getNamespace("material", true)->getId(), "m");
    PropertiesPtr crlf = parse("a\r\n{\r\n x = 1\r\n}\r\n");
    QVERIFY(crlf);
    QCOMPARE(crlf->getNamespace("a", true)->getString("x"), "1");
}

void TestProperties::sizeLimits()
{
    // Lines: 2047 characters are fine, 2048 are refused.
    QVERIFY(parse("a {\n v = " + std::string(2048 - 5, 'x') + "\n}\n"));
    QVERIFY(!parse("a {\n v = " + std::string(2048 - 4, 'x') + "\n}\n"));

    // Nesting and inheritance chains: a few hundred levels are fine (and
    // inherit all the way down); tens of thousands are refused, not a stack overflow.
    std::string nested, chain;
    for (int i = 0; i < 200; ++i)
        nested = "n" + std::to_string(i) + " {\n" + nested + "}\n";
    for (int i = 0; i < 300; ++i)
        chain += "m a" + std::to_string(i) + " : a" + std::to_string(i + 1) + " { v" + std::to_string(i) + " = 1 }\n";
    PropertiesPtr p = parse(nested);
    QVERIFY(p && PropertiesPtr(p->clone())->getNamespace("n0", true));
    PropertiesPtr shortChain = parse(chain);
    QVERIFY(shortChain && shortChain->getNamespace("a0")->exists("v299"));
    std::string deep, longChain;
    for (int i = 0; i < 100000; ++i)
        deep += "n {\n";
    for (int i = 0; i < 100000; ++i)
        deep += "}\n";
    for (int i = 0; i < 50000; ++i)
        longChain += "m a" + std::to_string(i) + " : a" + std::to_string(i + 1) + " { }\n";
    QVERIFY(!parse(deep));
    QVERIFY(!parse(longChain));

    // Every level holding two copies of the level below would be 2^40
    // namespaces if copied naively.
    std::string explosion = "m l0 { x = 1 }\n";
    for (int i = 1; i <= 40; ++i) {
        const std::string below = std::to_string(i - 1);
        explosion += "m l" + std::to_string(i) + " {\n  c a : l" + below + " { }\n  c b : l" + below + " { }\n}\n";
    }
    QVERIFY(!parse(explosion));
}

void TestProperties::fileSystemPathRules()
{
    const char* resolved[][3] = {
        // resource path, path, resolved
        {"res/", "a/b.txt", "res/a/b.txt"},
        {"res/", "C:/x.txt", "C:/x.txt"},
        {"res/", "d:x.txt", "d:x.txt"},
        {"res/", "/abs/x", "/abs/x"},
        {"res/", "1:x", "res/1:x"},
        {"res/", "\\\\server\\x", "//server/x"},
        {"models\\box\\", "tex\\a.png", "models/box/tex/a.png"},
    };
    for (const auto& r : resolved) {
        FileSystem::setResourcePath(r[0]);
        QCOMPARE(QString::fromStdString(FileSystem::resolvePath(r[1])), QString(r[2]));
    }
    FileSystem::setResourcePath("res/");
    FileSystem::setAlias("logo", "images/logo.png");
    QCOMPARE(QString::fromStdString(FileSystem::resolvePath("logo")), QString("res/images/logo.png"));
    FileSystem::setAlias("logo", nullptr);
    QCOMPARE(QString::fromStdString(FileSystem::resolvePath("logo")), QString("res/logo"));

    const char* folders[][2] = {
        {"C:\\models\\box\\model.gpb", "C:/models/box/"}, {"a/b/c", "a/b/"}, {"file", ""}, {"C:file", "C:"}, {"/", "/"},
    };
    for (const auto& f : folders)
        QCOMPARE(QString::fromStdString(FileSystem::getDirectoryName(f[0])), QString(f[1]));
    QCOMPARE(QString::fromStdString(FileSystem::getDirectoryName(nullptr)), QString(""));

    writeFile("folder/inner.txt", "2");
    FileSystem::setResourcePath(m_root.c_str());
    QVERIFY(FileSystem::fileExists("folder/inner.txt"));
    QVERIFY(!FileSystem::fileExists("there.txt"));
    QVERIFY(!FileSystem::fileExists(nullptr));
}

void TestProperties::readAllAndStreams()
{
    std::string content("line one\nline two\n\0binary", 25);
    const std::string path = writeFile("data.bin", content);
    int size = -1;
    std::unique_ptr<char[]> all(FileSystem::readAll(path.c_str(), &size));
    QVERIFY(all);
    QCOMPARE(size, 25);
    QVERIFY(std::memcmp(all.get(), content.data(), 25) == 0);
    QCOMPARE(all[25], '\0');

    size = -1;
    QVERIFY(!FileSystem::readAll((m_root + "nope").c_str(), &size));
    QCOMPARE(size, 0);
    // Folders and devices are not files, even though the C library opens
    // them (an endless device would never finish reading).
    QVERIFY(!FileSystem::readAll(m_root.c_str(), &size));
    QVERIFY(!FileSystem::open(m_root.c_str()));
    QVERIFY(!FileSystem::readAll("/dev/zero", &size));
    QVERIFY(!FileSystem::open("/dev/null"));
    QVERIFY(!FileSystem::open(nullptr));

    std::unique_ptr<Stream> s(FileSystem::open(path.c_str()));
    QVERIFY(s && s->canRead() && !s->canWrite());
    char line[64];
    QVERIFY(s->readLine(line, sizeof(line)));
    QCOMPARE(QByteArray(line), QByteArray("line one\n"));
    char small[5];
    QVERIFY(s->readLine(small, sizeof(small))); // capacity bounds the read
    QCOMPARE(QByteArray(small), QByteArray("line"));
    QVERIFY(s->seek(-6, 2));
    char tail[6];
    QCOMPARE(s->read(tail, 1, 6), size_t(6));
    QVERIFY(std::memcmp(tail, "binary", 6) == 0);
    QVERIFY(!s->seek(0, 7));
    // Whole elements only: 25 bytes hold three 8-byte elements.
    QVERIFY(s->rewind());
    char eight[32];
    QCOMPARE(s->read(eight, 8, 4), size_t(3));
    s->close();
    QCOMPARE(s->position(), -1L);
    QCOMPARE(s->read(eight, 1, 1), size_t(0));
    QVERIFY(!s->readLine(line, sizeof(line)));

    std::unique_ptr<Stream> w(FileSystem::open((m_root + "out.bin").c_str(), "wb"));
    QCOMPARE(w->write("abc", 1, 3), size_t(3));
    w.reset();
    QCOMPARE(QFileInfo(QString::fromStdString(m_root + "out.bin")).size(), qint64(3));
}

QTEST_APPLESS_MAIN(TestProperties)
#include "tst_properties.moc"
