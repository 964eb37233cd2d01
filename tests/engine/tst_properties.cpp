// The properties text format, the file system service and file streams,
// including malformed and hostile files (this program also runs under
// AddressSanitizer and UndefinedBehaviorSanitizer).
#include "BundleInfo.h"
#include "FileStream.h"
#include "FileSystem.h"
#include "Properties.h"

#include "EngineTestSupport.h"

#include <QtTest>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

using namespace engine;

namespace {

using PropertiesPtr = std::unique_ptr<Properties>;

PropertiesPtr parse(const std::string& text)
{
    return PropertiesPtr(Properties::createFromText(text.data(), text.size(), "dir/"));
}

std::string repeated(int count, const std::function<std::string(int)>& line)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += line(i);
    return text;
}

} // namespace

class TestProperties : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void grammarCommentsAndVariables();
    void inheritanceFromAnywhereTerminates();
    void numbersReadTheSameUnderACommaLocale();
    void pathsResolveAndCacheCopies();
    void materialUrlNamesTheMaterialWithThatId_data();
    void materialUrlNamesTheMaterialWithThatId();
    void malformedTextGivesNull_data();
    void malformedTextGivesNull();
    void pathRules();
    void onlyRegularFilesAreRead();

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
}

void TestProperties::cleanup()
{
    delete m_dir;
    m_dir = nullptr;
}

std::string TestProperties::writeFile(const char* name, const std::string& content)
{
    return enginetest::writeFile(m_root + name, content);
}

void TestProperties::grammarCommentsAndVariables()
{
    PropertiesPtr root
        = parse("\xEF\xBB\xBF// leading comment\r\n$global = 9\nmaterial box : base /* inline */\n{\n"
                "    formula = a = b\n    /* a block\n       hidden = 2\n       spanning lines */ c = 3\n"
                "    $tint = 0.5,0.5,1\n    colour = ${tint}\n    level = ${global}\n"
                "    missing = ${nowhere}\n    technique\n    {\n        pass p0 { inner = ${tint} }\n"
                "    }\n}\na { b { v = 1 } }\n");
    QVERIFY(root);
    Properties* box = root->getNamespace("box");
    QVERIFY(box);
    QCOMPARE(box->getNamespace(), "material"); // a byte order mark is not part of the name
    QCOMPARE(box->getParentId(), "base");
    QCOMPARE(box->getString("formula"), "a = b"); // only the first "=" separates
    QVERIFY(!box->exists("hidden"));
    QCOMPARE(box->getInt("c"), 3);
    QCOMPARE(box->getInt("level"), 9);
    QCOMPARE(box->getBool("missing", true), true); // an unresolved reference reads as absent
    QCOMPARE(box->getNamespace("p0")->getString("inner"), "0.5,0.5,1");
    // Several closing braces on one line close one namespace each.
    QCOMPARE(root->getNamespace("b", true)->propertyCount(), size_t(1));
    box->setVariable("tint", "1,1,1");
    Vector3 v;
    QVERIFY(box->getVector3("colour", &v));
    QCOMPARE(v, Vector3(1, 1, 1));
    QVERIFY(parse("v { big = 99999999999999 }")->getNamespace("v", true)->getInt("big") == 2147483647);
}

void TestProperties::inheritanceFromAnywhereTerminates()
{
    PropertiesPtr root = parse("m a : b { x = a }\n"
                               "m b : c { y = b }\n"
                               "m c { x = c\n y = c\n z = c\n pass p { s = c } }\n"
                               "m d : c { pass p { s = d } }\n"
                               "m loop1 : loop2 { x = 1 }\n"
                               "m loop2 : loop1 { y = 2 }\n"
                               "m self : self { z = 3 }\n"
                               "m around : enclosed {\n  m enclosed : around { w = 4 }\n}\n"
                               "m u : unknown { v = 5 }\n");
    QVERIFY(root);
    // Own values win; the rest comes through b from c, both further down.
    Properties* a = root->getNamespace("a");
    QCOMPARE(a->getString("x"), "a");
    QCOMPARE(a->getString("z"), "c");
    QCOMPARE(a->getNamespace("p")->getParent(), a);
    QCOMPARE(root->getNamespace("c")->propertyCount(), size_t(3)); // the parent is untouched
    QCOMPARE(root->getNamespace("d")->getNamespace("p")->getString("s"), "d");
    // Cycles: one side inherits from the other; neither loops.
    Properties* loop1 = root->getNamespace("loop1");
    Properties* loop2 = root->getNamespace("loop2");
    QVERIFY(loop1->exists("y") || loop2->exists("x"));
    QCOMPARE(root->getNamespace("self")->propertyCount(), size_t(1));
    QCOMPARE(root->getNamespace("u")->getInt("v"), 5);
    // Inheriting from an enclosing namespace would nest the namespace in itself.
    QCOMPARE(root->getNamespace("enclosed")->namespaceCount(), size_t(0));
}

// Numbers must not follow the C library's locale (a Qt application sets it
// from the user's).
void TestProperties::numbersReadTheSameUnderACommaLocale()
{
    enginetest::CommaLocale comma(m_dir->path());
    if (!comma.active)
        QSKIP("no locale with a decimal comma can be installed here");
    PropertiesPtr root = parse("n {\n f = 2.5e-1\n v = 12.5, 0.25,-1.5\n r = 0,1,0,22.5\n"
                               " m = 1,0,0,0,0,1,0,0,0,0,1,0,2.5,0,0,1.25\n}\n");
    Properties* n = root->getNamespace("n", true);
    QCOMPARE(n->getFloat("f"), 0.25f);
    Vector3 v;
    QVERIFY(n->getVector3("v", &v));
    QCOMPARE(v, Vector3(12.5f, 0.25f, -1.5f));
    Quaternion q;
    QVERIFY(n->getQuaternionFromAxisAngle("r", &q));
    QVERIFY(enginetest::sameRotation(q, Quaternion::fromAxisAngle(Vector3(0, 1, 0), 22.5f * enginetest::kPi / 180)));
    Matrix m;
    QVERIFY(n->getMatrix("m", &m));
    QVERIFY(m.m[12] == 2.5f && m.m[15] == 1.25f);
    BundleInfo::Summary summary;
    summary.hasBounds = true;
    summary.bounds.min.x = 0.25f;
    QVERIFY(BundleInfo::toJson(summary).find("\"min\":[0.25, 0, 0]") != std::string::npos);
}

void TestProperties::pathsResolveAndCacheCopies()
{
    // Paths in a file resolve against its own folder when the resource folder lacks them.
    writeFile("sub/tex.png", "x");
    const std::string material = writeFile("sub/m.material", "material m { a = tex.png\n b = none.png\n}\n");
    PropertiesPtr m(Properties::create(material.c_str()));
    std::string resolved;
    QVERIFY(m->getPath("a", "/nonexistent/", &resolved));
    QCOMPARE(QString::fromStdString(resolved), QString::fromStdString(m_root + "sub/tex.png"));
    QVERIFY(!m->getPath("b", m_root, &resolved));

    // A cache parses once; copies from it are independent; failures are not cached.
    Properties::Cache cache;
    PropertiesPtr first(Properties::create(material.c_str(), &cache));
    first->setString("a", "changed");
    writeFile("sub/m.material", "material m { a = other.png }\n");
    QCOMPARE(PropertiesPtr(Properties::create(material.c_str(), &cache))->getString("a"), "tex.png");
    QVERIFY(!Properties::create((m_root + "missing.txt").c_str(), &cache));
    QVERIFY(!Properties::create(writeFile("bad.txt", "a {\n").c_str(), &cache));
    QCOMPARE(cache.size(), size_t(1));
    Properties::clearCache(cache);
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

void TestProperties::malformedTextGivesNull_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("unclosed") << QByteArray("a {\n b = 1\n");
    QTest::newRow("a brace too many") << QByteArray("a {\n}\n}\n");
    QTest::newRow("header never opened") << QByteArray("a\nb = 1\n");
    QTest::newRow("too many words") << QByteArray("a b c d {\n}\n");
    QTest::newRow("parent id missing") << QByteArray("a b : {\n}\n");
    QTest::newRow("no name") << QByteArray("{\n}\n");
    QTest::newRow("comment never closed") << QByteArray("a { /* never closed\n}\n");
    QTest::newRow("line of 2048 characters") << "a {\n v = " + QByteArray(2048 - 4, 'x') + "\n}\n";
    QTest::newRow("100 000 levels") << QByteArray::fromStdString(repeated(100000, [](int) { return "n {\n"; })
                                                                 + repeated(100000, [](int) { return "}\n"; }));
    QTest::newRow("inheritance chain of 50 000") << QByteArray::fromStdString(
        repeated(50000, [](int i) { return "m a" + std::to_string(i) + " : a" + std::to_string(i + 1) + " { }\n"; }));
    // Every level holding two copies of the level below: 2^40 namespaces if
    // copied naively.
    QTest::newRow("exponential inheritance") << QByteArray(("m l0 { x = 1 }\n" + repeated(40, [](int i) {
                                                                const std::string below = std::to_string(i);
                                                                return "m l" + std::to_string(i + 1) + " {\n  c a : l"
                                                                    + below + " { }\n  c b : l" + below + " { }\n}\n";
                                                            })).c_str());
}

void TestProperties::malformedTextGivesNull()
{
    QFETCH(QByteArray, text);
    QVERIFY(!parse(text.toStdString()));
    QVERIFY(!Properties::create(writeFile("bad.txt", text.toStdString()).c_str()));
}

void TestProperties::pathRules()
{
    const char* resolved[][3] = {
        // resource folder, path, resolved
        {"res/", "a/b.txt", "res/a/b.txt"},
        {"res/", "C:/x.txt", "C:/x.txt"},
        {"res/", "1:x", "res/1:x"},
        {"res/", "\\\\server\\x", "//server/x"},
        {"models\\box\\", "tex\\a.png", "models/box/tex/a.png"},
    };
    for (const auto& r : resolved)
        QCOMPARE(QString::fromStdString(FileSystem::resolvePath(r[0], r[1])), QString(r[2]));
    QCOMPARE(QString::fromStdString(FileSystem::getDirectoryName("C:\\models\\box\\model.gpb")),
             QString("C:/models/box/"));
    QCOMPARE(QString::fromStdString(FileSystem::getDirectoryName(nullptr)), QString(""));
}

void TestProperties::onlyRegularFilesAreRead()
{
    const std::string content("line one\nline two\n\0binary", 25);
    const std::string path = writeFile("data.bin", content);
    int size = -1;
    std::unique_ptr<char[]> all(FileSystem::readAll(path.c_str(), &size));
    QVERIFY(all && size == 25 && std::memcmp(all.get(), content.data(), 25) == 0 && all[25] == '\0');
    // Folders and devices are not files, even though the C library opens
    // them (an endless device would never finish reading).
    QVERIFY(!FileSystem::readAll((m_root + "nope").c_str(), &size));
    QCOMPARE(size, 0);
    QVERIFY(!FileSystem::readAll(m_root.c_str(), &size));
    QVERIFY(!FileSystem::open(m_root.c_str()));
    QVERIFY(!FileSystem::readAll("/dev/zero", &size));
    QVERIFY(!FileSystem::open("/dev/null"));
    QVERIFY(!FileSystem::open(nullptr));
    QVERIFY(!Properties::create(m_root.c_str()));

    std::unique_ptr<Stream> s(FileSystem::open(path.c_str()));
    char small[5];
    QVERIFY(s->readLine(small, sizeof(small))); // capacity bounds the read
    QCOMPARE(QByteArray(small), QByteArray("line"));
}

QTEST_APPLESS_MAIN(TestProperties)
#include "tst_properties.moc"
