// The properties text format, the file system service and file streams,
// including malformed and hostile files (this program also runs under
// AddressSanitizer and UndefinedBehaviorSanitizer).
#include "engine/FileStream.h"
#include "engine/FileSystem.h"
#include "engine/Properties.h"

#include <QtTest>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>

using namespace engine;

namespace {

using PropertiesPtr = std::unique_ptr<Properties>;

PropertiesPtr parse(const std::string& text)
{
    return PropertiesPtr(Properties::createFromText(text.data(), text.size(), "dir/"));
}

bool near(float a, float b)
{
    return std::fabs(a - b) < 1e-5f;
}

} // namespace

class TestProperties : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void namespacesIdsAndProperties();
    void commentsOfBothKinds();
    void braceOnNextLineAndOneLineNamespaces();
    void iterationFollowsFileOrder();
    void inheritanceFromParentFurtherDown();
    void inheritanceChainsAndNestedNamespaces();
    void inheritanceCyclesAndSelfReferencesTerminate();
    void variables();
    void typedGettersAndFailureValues();
    void numberCheck();

    void createFollowsUrlNamespacePath();
    void cacheParsesOnceAndCopiesAreIndependent();
    void createFailsCleanly();
    void pathsResolveAgainstTheFileFolder();

    void malformedFilesGiveNull();
    void overlongLines();
    void deepNesting();
    void inheritanceExplosionIsBounded();
    void hugeCounts();
    void binaryJunkNeverCrashes();

    void fileSystemPathRules();
    void readAllAndStreams();

private:
    std::string writeFile(const char* name, const std::string& content);
    QTemporaryDir* _dir = nullptr;
    std::string _root;
};

void TestProperties::init()
{
    _dir = new QTemporaryDir();
    QVERIFY(_dir->isValid());
    _root = _dir->path().toStdString() + "/";
    FileSystem::setResourcePath("");
    FileSystem::clearAliases();
}

void TestProperties::cleanup()
{
    delete _dir;
    _dir = nullptr;
    FileSystem::setResourcePath("");
    FileSystem::clearAliases();
}

std::string TestProperties::writeFile(const char* name, const std::string& content)
{
    const std::string path = _root + name;
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::WriteOnly))
        return std::string();
    f.write(content.data(), static_cast<qint64>(content.size()));
    return path;
}

void TestProperties::namespacesIdsAndProperties()
{
    PropertiesPtr root = parse(
        "material box : base\n"
        "{\n"
        "    name =   Box Material  \n"
        "\ttint=1,0,0\n"
        "    formula = a = b\n"
        "    technique\n"
        "    {\n"
        "        pass p0 { }\n"
        "    }\n"
        "}\n");
    QVERIFY(root);
    Properties* box = root->getNamespace("box");
    QVERIFY(box);
    QCOMPARE(box->getNamespace(), "material");
    QCOMPARE(box->getId(), "box");
    QCOMPARE(box->getParentId(), "base");
    QCOMPARE(box->getString("name"), "Box Material");
    QCOMPARE(box->getString("tint"), "1,0,0");
    // Only the first "=" separates name and value.
    QCOMPARE(box->getString("formula"), "a = b");
    QCOMPARE(box->getString("missing"), static_cast<const char*>(nullptr));
    QCOMPARE(box->getString("missing", "fallback"), "fallback");
    Properties* technique = box->getNamespace("technique", true);
    QVERIFY(technique);
    QCOMPARE(technique->getId(), "");
    QVERIFY(box->getNamespace("p0"));                      // recursive by default
    QVERIFY(!box->getNamespace("p0", false, false));
    QCOMPARE(technique->getParent(), box);
    QCOMPARE(box->getDirectoryPath(), "dir/");
}

void TestProperties::commentsOfBothKinds()
{
    PropertiesPtr root = parse(
        "// leading comment\n"
        "scene s /* inline */ {\n"
        "    a = 1 // trailing\n"
        "    /* a block\n"
        "       b = 2\n"
        "       spanning lines */ c = 3\n"
        "    d = 4 /* short */\n"
        "    e = /* inside */ 5\n"
        "}\n");
    QVERIFY(root);
    Properties* s = root->getNamespace("s");
    QVERIFY(s);
    QCOMPARE(s->getInt("a"), 1);
    QVERIFY(!s->exists("b"));
    QCOMPARE(s->getInt("c"), 3);
    QCOMPARE(s->getString("d"), "4");
    QCOMPARE(s->getInt("e"), 5);
    QCOMPARE(s->propertyCount(), size_t(4));
}

void TestProperties::braceOnNextLineAndOneLineNamespaces()
{
    PropertiesPtr vars = parse("a { b { v = ${x} } }\n");
    QVERIFY(vars);
    QCOMPARE(vars->getNamespace("b", true)->propertyCount(), size_t(1));
    PropertiesPtr root = parse(
        "outer o\n"
        "{\n"
        "    empty e {}\n"
        "    inline i { v = 7 }\n"
        "    spaced x:y { }\n"
        "    last\n"
        "    {\n"
        "    }\n"
        "}\n");
    QVERIFY(root);
    Properties* o = root->getNamespace("o");
    QVERIFY(o);
    QCOMPARE(o->namespaceCount(), size_t(4));
    QCOMPARE(o->getNamespace("i")->getInt("v"), 7);
    QCOMPARE(o->getNamespace("x")->getParentId(), "y");
    QCOMPARE(o->getNamespace("e")->propertyCount(), size_t(0));
    QCOMPARE(o->namespaceAt(3)->getNamespace(), "last");
}

void TestProperties::iterationFollowsFileOrder()
{
    PropertiesPtr root = parse("n {\n z = 1\n a = 2\n m = 3\n c1 {}\n c2 {}\n}\n");
    QVERIFY(root);
    Properties* n = root->getNamespace("n", true);
    QVERIFY(n);
    QCOMPARE(n->getNextProperty(), "z");
    QCOMPARE(n->getInt(nullptr), 1);      // null name: the current property
    QCOMPARE(n->getNextProperty(), "a");
    QCOMPARE(n->getString(), "2");
    QCOMPARE(n->getNextProperty(), "m");
    QCOMPARE(n->getNextProperty(), static_cast<const char*>(nullptr));
    QCOMPARE(n->getString(), static_cast<const char*>(nullptr));
    QCOMPARE(n->getNextProperty(), static_cast<const char*>(nullptr));
    QCOMPARE(n->getNextNamespace()->getNamespace(), "c1");
    QCOMPARE(n->getNextNamespace()->getNamespace(), "c2");
    QVERIFY(!n->getNextNamespace());
    n->rewind();
    QCOMPARE(n->getNextProperty(), "z");
    QCOMPARE(n->getNextNamespace()->getNamespace(), "c1");
}

void TestProperties::inheritanceFromParentFurtherDown()
{
    PropertiesPtr root = parse(
        "material child : base\n"
        "{\n"
        "    colour = 0,1,0\n"
        "}\n"
        "material base\n"
        "{\n"
        "    colour = 1,0,0\n"
        "    shininess = 8\n"
        "    sampler tex { path = a.png }\n"
        "}\n");
    QVERIFY(root);
    Properties* child = root->getNamespace("child");
    QVERIFY(child);
    QCOMPARE(child->getString("colour"), "0,1,0");  // own value wins
    QCOMPARE(child->getInt("shininess"), 8);
    Properties* tex = child->getNamespace("tex");
    QVERIFY(tex);
    QCOMPARE(tex->getString("path"), "a.png");
    QCOMPARE(tex->getParent(), child);
    // The parent itself is untouched.
    QCOMPARE(root->getNamespace("base")->propertyCount(), size_t(2));
}

void TestProperties::inheritanceChainsAndNestedNamespaces()
{
    PropertiesPtr root = parse(
        "m a : b { x = a }\n"
        "m b : c { y = b }\n"
        "m c { x = c\n y = c\n z = c\n pass p { s = c } }\n"
        "m d : c { pass p { s = d } }\n"
        "outer {\n inner n : c { }\n}\n");
    QVERIFY(root);
    Properties* a = root->getNamespace("a");
    QCOMPARE(a->getString("x"), "a");
    QCOMPARE(a->getString("y"), "b");
    QCOMPARE(a->getString("z"), "c");   // through b, which inherits from c further down
    QVERIFY(a->getNamespace("p"));
    // A nested namespace the child defines itself is not replaced.
    Properties* d = root->getNamespace("d");
    QCOMPARE(d->namespaceCount(), size_t(1));
    QCOMPARE(d->getNamespace("p")->getString("s"), "d");
    // Nested namespaces inherit too.
    Properties* n = root->getNamespace("n");
    QVERIFY(n);
    QCOMPARE(n->getString("z"), "c");
}

void TestProperties::inheritanceCyclesAndSelfReferencesTerminate()
{
    PropertiesPtr root = parse(
        "m a : b { x = 1 }\n"
        "m b : a { y = 2 }\n"
        "m s : s { z = 3 }\n"
        "m outer : inner2 {\n"
        "  m inner2 : outer { w = 4 }\n"
        "}\n"
        "m u : unknown { v = 5 }\n");
    QVERIFY(root);
    Properties* a = root->getNamespace("a");
    Properties* b = root->getNamespace("b");
    QVERIFY(a && b);
    // One side of the cycle inherits from the other; neither loops.
    QVERIFY(a->exists("x") && b->exists("y"));
    QVERIFY(a->exists("y") || b->exists("x"));
    QCOMPARE(root->getNamespace("s")->propertyCount(), size_t(1));
    QCOMPARE(root->getNamespace("u")->getInt("v"), 5);
    // Inheriting from an enclosing namespace would nest the namespace in itself.
    Properties* inner = root->getNamespace("inner2");
    QVERIFY(inner);
    QCOMPARE(inner->namespaceCount(), size_t(0));
}

void TestProperties::variables()
{
    PropertiesPtr root = parse(
        "$global = 9\n"
        "material m {\n"
        "    $tint = 0.5,0.5,1\n"
        "    colour = ${tint}\n"
        "    level = ${global}\n"
        "    missing = ${nowhere}\n"
        "    short = ${}\n"
        "    technique t { inner = ${tint} }\n"
        "}\n");
    QVERIFY(root);
    Properties* m = root->getNamespace("m");
    QVERIFY(m);
    QCOMPARE(m->getString("colour"), "0.5,0.5,1");
    QCOMPARE(m->getInt("level"), 9);
    // Declarations are not properties.
    QVERIFY(!m->exists("$tint"));
    // An unresolved reference reads as absent.
    QCOMPARE(m->getString("missing"), static_cast<const char*>(nullptr));
    QCOMPARE(m->getString("missing", "dflt"), "dflt");
    QCOMPARE(m->getBool("missing", true), true);
    // Too short to be a reference: kept as text.
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
    PropertiesPtr root = parse(
        "v {\n"
        "  yes = true\n  capital = True\n  one = 1\n"
        "  int = 42\n  neg = -7\n  word = abc\n  big = 99999999999999\n  intfloat = 3.9\n"
        "  f1 = 1\n  f2 = 1.0\n  f3 = -0.5\n  fbad = x1\n"
        "  v2 = 1.5,-2\n  v3 = 1,0,0\n  spaced = 1, 2, 3\n  badsep = 1 ,2,3\n"
        "  rot = 0,1,0,90\n"
        "  m15 = 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n"
        "  m16 = 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16\n"
        "}\n");
    QVERIFY(root);
    Properties* p = root->getNamespace("v", true);
    QVERIFY(p);

    QCOMPARE(p->getBool("yes"), true);
    QCOMPARE(p->getBool("capital", true), false);   // only "true" exactly
    QCOMPARE(p->getBool("one", true), false);
    QCOMPARE(p->getBool("absent", true), true);
    QCOMPARE(p->getBool("absent"), false);

    QCOMPARE(p->getInt("int"), 42);
    QCOMPARE(p->getInt("neg"), -7);
    QCOMPARE(p->getInt("word"), 0);
    QCOMPARE(p->getInt("absent"), 0);
    QCOMPARE(p->getInt("intfloat"), 3);
    QCOMPARE(p->getInt("big"), 2147483647);  // saturates instead of wrapping

    QCOMPARE(p->getFloat("f1"), 1.0f);
    QCOMPARE(p->getFloat("f2"), 1.0f);
    QCOMPARE(p->getFloat("f3"), -0.5f);
    QCOMPARE(p->getFloat("fbad"), 0.0f);
    QCOMPARE(p->getFloat("absent"), 0.0f);

    Vector2 v2(9, 9);
    QVERIFY(p->getVector2("v2", &v2));
    QCOMPARE(v2, Vector2(1.5f, -2));
    Vector3 v3(9, 9, 9);
    QVERIFY(p->getVector3("v3", &v3));
    QCOMPARE(v3, Vector3(1, 0, 0));
    Vector4 v4(9, 9, 9, 9);
    QVERIFY(!p->getVector4("v3", &v4));        // three numbers are not four
    QCOMPARE(v4, Vector4(0, 0, 0, 0));
    QVERIFY(p->getVector3("spaced", &v3));
    QCOMPARE(v3, Vector3(1, 2, 3));
    QVERIFY(!p->getVector3("badsep", &v3));
    QCOMPARE(v3, Vector3());
    QVERIFY(!p->getVector3("absent", &v3));

    Quaternion q(1, 2, 3, 4);
    QVERIFY(p->getQuaternionFromAxisAngle("rot", &q));
    // A quarter turn about y takes z to x.
    const Vector3 turned = q.rotate(Vector3(0, 0, 1));
    QVERIFY(near(turned.x, 1) && near(turned.y, 0) && near(turned.z, 0));
    QVERIFY(!p->getQuaternionFromAxisAngle("v3", &q));
    QCOMPARE(q, Quaternion::identity());

    Matrix m = Matrix::createTranslation(Vector3(1, 1, 1));
    QVERIFY(!p->getMatrix("m15", &m));
    QVERIFY(m.isIdentity());
    QVERIFY(p->getMatrix("m16", &m));
    for (int i = 0; i < 16; ++i)
        QCOMPARE(m.m[i], float(i + 1));   // storage order

    p->setString("int", "5");
    p->setString("added", "true");
    QCOMPARE(p->getInt("int"), 5);
    QCOMPARE(p->getBool("added"), true);
}

void TestProperties::numberCheck()
{
    QVERIFY(Properties::isNumber("12"));
    QVERIFY(Properties::isNumber("-12.5"));
    QVERIFY(Properties::isNumber(".5"));
    QVERIFY(!Properties::isNumber("1.2.3"));
    QVERIFY(!Properties::isNumber("--1"));
    QVERIFY(!Properties::isNumber("+1"));
    QVERIFY(!Properties::isNumber("1e5"));
    QVERIFY(!Properties::isNumber(""));
    QVERIFY(!Properties::isNumber("-"));
    QVERIFY(!Properties::isNumber("."));
    QVERIFY(!Properties::isNumber(nullptr));
}

void TestProperties::createFollowsUrlNamespacePath()
{
    writeFile("scene.txt",
              "scene main {\n"
              "  node a { animation walk { property = ANIMATE_ROTATE } }\n"
              "  node b { value = 2 }\n"
              "}\n");
    FileSystem::setResourcePath(_root.c_str());

    PropertiesPtr whole(Properties::create("scene.txt"));
    QVERIFY(whole);
    QCOMPARE(whole->getNamespace(), "scene");
    QCOMPARE(whole->getDirectoryPath(), "");

    PropertiesPtr b(Properties::create("scene.txt#b"));
    QVERIFY(b);
    QCOMPARE(b->getInt("value"), 2);
    QVERIFY(!b->getParent());

    // The path may also name the top namespace itself.
    PropertiesPtr walk(Properties::create("scene.txt#main/a/walk"));
    QVERIFY(walk);
    QCOMPARE(walk->getString("property"), "ANIMATE_ROTATE");
    PropertiesPtr walk2(Properties::create("scene.txt#a/walk"));
    QVERIFY(walk2);

    QVERIFY(!Properties::create("scene.txt#a/run"));
    QVERIFY(!Properties::create("scene.txt#nothing"));

    // Several top-level namespaces: the path starts among them.
    writeFile("two.txt", "a one { x = 1 }\na two { x = 2 }\n");
    PropertiesPtr two(Properties::create("two.txt#two"));
    QVERIFY(two);
    QCOMPARE(two->getInt("x"), 2);
    PropertiesPtr both(Properties::create("two.txt"));
    QVERIFY(both);
    QCOMPARE(both->namespaceCount(), size_t(2));

    // An absolute path bypasses the resource path; the folder part is kept.
    FileSystem::setResourcePath("/nonexistent/");
    PropertiesPtr absolute(Properties::create((_root + "scene.txt#b").c_str()));
    QVERIFY(absolute);
    QCOMPARE(absolute->getDirectoryPath(), _root.c_str());
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
    QVERIFY(second);
    QCOMPARE(second->getString("colour"), "red");
    QCOMPARE(cache.size(), size_t(1));

    // Changing one copy changes neither the cache nor other copies.
    second->setString("colour", "green");
    PropertiesPtr third(Properties::create(path.c_str(), &cache));
    QCOMPARE(third->getString("colour"), "red");
    QCOMPARE(first->getString("colour"), "red");

    // Without a cache the file is read again.
    PropertiesPtr fresh(Properties::create(path.c_str()));
    QCOMPARE(fresh->getString("colour"), "blue");
    Properties::clearCache(cache);
    QVERIFY(cache.empty());

    // The same relative name below another resource path is another file.
    QDir(QString::fromStdString(_root)).mkpath("one");
    QDir(QString::fromStdString(_root)).mkpath("two");
    writeFile("one/same.txt", "n { v = 1\n}\n");
    writeFile("two/same.txt", "n { v = 2\n}\n");
    FileSystem::setResourcePath((_root + "one/").c_str());
    PropertiesPtr one(Properties::create("same.txt", &cache));
    FileSystem::setResourcePath((_root + "two/").c_str());
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
    QVERIFY(!Properties::create(""));
    QVERIFY(!Properties::create("#ns"));
    QVERIFY(!Properties::create((_root + "missing.txt").c_str(), &cache));
    QVERIFY(cache.empty());  // failures are not cached
    QVERIFY(!Properties::create(_root.c_str()));  // a folder
    const std::string bad = writeFile("bad.txt", "a {\n");
    QVERIFY(!Properties::create(bad.c_str(), &cache));
    QVERIFY(cache.empty());
    const std::string empty = writeFile("empty.txt", "");
    PropertiesPtr e(Properties::create(empty.c_str()));
    QVERIFY(e);
    QCOMPARE(e->namespaceCount(), size_t(0));
}

void TestProperties::pathsResolveAgainstTheFileFolder()
{
    QDir(QString::fromStdString(_root)).mkpath("sub");
    writeFile("sub/tex.png", "x");
    const std::string path = writeFile("sub/m.material", "material m { a = tex.png\n b = none.png\n}\n");
    PropertiesPtr m(Properties::create(path.c_str()));
    QVERIFY(m);
    std::string resolved;
    QVERIFY(m->getPath("a", &resolved));
    QCOMPARE(QString::fromStdString(resolved), QString::fromStdString(_root + "sub/tex.png"));
    QVERIFY(!m->getPath("b", &resolved));
    QVERIFY(!m->getPath("c", &resolved));
}

void TestProperties::malformedFilesGiveNull()
{
    QVERIFY(!parse("a {\n b = 1\n"));                    // unclosed
    QVERIFY(!parse("a {\n}\n}\n"));                       // one brace too many
    QVERIFY(!parse("}\n"));
    QVERIFY(!parse("a\nb = 1\n"));                        // header never opened
    QVERIFY(!parse("a\n"));
    QVERIFY(!parse("a b c d {\n}\n"));                    // too many words
    QVERIFY(!parse("a b : {\n}\n"));                      // parent id missing
    QVERIFY(!parse(": x {\n}\n"));
    QVERIFY(!parse("{\n}\n"));
    QVERIFY(!parse("a { /* never closed\n}\n"));
    // Nameless properties are skipped, not fatal.
    PropertiesPtr p = parse("a {\n = 5\n b = \n}\n");
    QVERIFY(p);
    QCOMPARE(p->getNamespace("a", true)->propertyCount(), size_t(1));
    QCOMPARE(p->getNamespace("a", true)->getString("b"), "");
    // A byte order mark is not part of the first namespace name.
    PropertiesPtr bom = parse("\xEF\xBB\xBFmaterial m\n{\n}\n");
    QVERIFY(bom);
    QCOMPARE(bom->getNamespace("material", true)->getId(), "m");
    // Windows line ends.
    PropertiesPtr crlf = parse("a\r\n{\r\n x = 1\r\n}\r\n");
    QVERIFY(crlf);
    QCOMPARE(crlf->getNamespace("a", true)->getString("x"), "1");
}

void TestProperties::overlongLines()
{
    const std::string atLimit = "a {\n v = " + std::string(2048 - 5, 'x') + "\n}\n";
    QVERIFY(parse(atLimit));
    const std::string over = "a {\n v = " + std::string(2048 - 4, 'x') + "\n}\n";
    QVERIFY(!parse(over));
    QVERIFY(!parse(std::string(100000, 'y')));
}

void TestProperties::deepNesting()
{
    std::string ok;
    for (int i = 0; i < 200; ++i)
        ok += "n" + std::to_string(i) + " {\n";
    for (int i = 0; i < 200; ++i)
        ok += "}\n";
    PropertiesPtr p = parse(ok);
    QVERIFY(p);
    QVERIFY(p->getNamespace("n199", true));
    PropertiesPtr copy(p->clone());
    QVERIFY(copy->getNamespace("n199", true));

    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "n {\n";
    for (int i = 0; i < 100000; ++i)
        deep += "}\n";
    QVERIFY(!parse(deep));
    // Long inheritance chains must not exhaust the stack either.
    std::string chain;
    for (int i = 0; i < 50000; ++i)
        chain += "m a" + std::to_string(i) + " : a" + std::to_string(i + 1) + " { }\n";
    QVERIFY(!parse(chain));
    // A chain of a few hundred is fine and inherits all the way down.
    chain.clear();
    for (int i = 0; i < 300; ++i)
        chain += "m a" + std::to_string(i) + " : a" + std::to_string(i + 1) + " { v" + std::to_string(i) + " = 1 }\n";
    PropertiesPtr shortChain = parse(chain);
    QVERIFY(shortChain);
    QVERIFY(shortChain->getNamespace("a0")->exists("v299"));
}

void TestProperties::inheritanceExplosionIsBounded()
{
    // Every level holds two copies of the level below: 2^40 namespaces if
    // copied naively.
    std::string text = "m l0 { x = 1 }\n";
    for (int i = 1; i <= 40; ++i) {
        text += "m l" + std::to_string(i) + " {\n  c a" + std::to_string(i) + " : l" + std::to_string(i - 1)
            + " { }\n  c b" + std::to_string(i) + " : l" + std::to_string(i - 1) + " { }\n}\n";
    }
    QVERIFY(!parse(text));
}

void TestProperties::hugeCounts()
{
    std::string text = "big {\n";
    for (int i = 0; i < 100000; ++i)
        text += "k" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    for (int i = 0; i < 20000; ++i)
        text += "n id" + std::to_string(i) + " { }\n";
    text += "}\n";
    PropertiesPtr p = parse(text);
    QVERIFY(p);
    Properties* big = p->getNamespace("big", true);
    QCOMPARE(big->propertyCount(), size_t(100000));
    QCOMPARE(big->getInt("k99999"), 99999);
    QVERIFY(big->getNamespace("id19999"));
}

void TestProperties::binaryJunkNeverCrashes()
{
    std::mt19937 rng(1234);
    const char alphabet[] = "{}=:$#/*\n\r\t ab01.,-_\0";
    for (int round = 0; round < 300; ++round) {
        std::string junk(static_cast<size_t>(rng() % 4000), '\0');
        for (char& c : junk) {
            const unsigned r = rng();
            c = (r & 1) ? static_cast<char>(r >> 8) : alphabet[(r >> 8) % (sizeof(alphabet) - 1)];
        }
        PropertiesPtr p = parse(junk);
        if (p) {
            // Whatever was accepted must be safe to walk, copy and query.
            PropertiesPtr copy(p->clone());
            Vector4 v;
            Matrix m;
            for (Properties* ns = copy->getNextNamespace(); ns; ns = copy->getNextNamespace()) {
                while (const char* name = ns->getNextProperty()) {
                    ns->getVector4(name, &v);
                    ns->getMatrix(name, &m);
                    ns->getInt(name);
                }
            }
        }
    }
    const std::string path = writeFile("junk.bin", std::string("\x7f" "ELF\0\0\0{=}\xff\xfe", 13));
    Properties::Cache cache;
    PropertiesPtr fromFile(Properties::create(path.c_str(), &cache));
    Properties::clearCache(cache);
}

void TestProperties::fileSystemPathRules()
{
    FileSystem::setResourcePath("res/");
    QCOMPARE(QString::fromStdString(FileSystem::resolvePath("a/b.txt")), QString("res/a/b.txt"));
    QCOMPARE(QString::fromStdString(FileSystem::resolvePath("C:/x.txt")), QString("C:/x.txt"));
    QCOMPARE(QString::fromStdString(FileSystem::resolvePath("d:x.txt")), QString("d:x.txt"));
    QCOMPARE(QString::fromStdString(FileSystem::resolvePath("\\\\server\\x")), QString("//server/x"));
    FileSystem::setResourcePath("models\\box\\");
    QCOMPARE(QString::fromStdString(FileSystem::resolvePath("tex\\a.png")), QString("models/box/tex/a.png"));
    FileSystem::setResourcePath("res/");
    QCOMPARE(QString::fromStdString(FileSystem::resolvePath("/abs/x")), QString("/abs/x"));
    QCOMPARE(QString::fromStdString(FileSystem::resolvePath("1:x")), QString("res/1:x"));
    FileSystem::setAlias("logo", "images/logo.png");
    QCOMPARE(QString::fromStdString(FileSystem::resolvePath("logo")), QString("res/images/logo.png"));
    QCOMPARE(QString::fromStdString(FileSystem::resolvePath("logo2")), QString("res/logo2"));
    FileSystem::setAlias("logo", nullptr);
    QCOMPARE(QString::fromStdString(FileSystem::resolvePath("logo")), QString("res/logo"));

    QCOMPARE(QString::fromStdString(FileSystem::getDirectoryName("C:\\models\\box\\model.gpb")), QString("C:/models/box/"));
    QCOMPARE(QString::fromStdString(FileSystem::getDirectoryName("a/b/c")), QString("a/b/"));
    QCOMPARE(QString::fromStdString(FileSystem::getDirectoryName("file")), QString(""));
    QCOMPARE(QString::fromStdString(FileSystem::getDirectoryName("C:file")), QString("C:"));
    QCOMPARE(QString::fromStdString(FileSystem::getDirectoryName("/")), QString("/"));
    QCOMPARE(QString::fromStdString(FileSystem::getDirectoryName(nullptr)), QString(""));

    writeFile("here.txt", "1");
    FileSystem::setResourcePath(_root.c_str());
    QVERIFY(FileSystem::fileExists("here.txt"));
    QVERIFY(!FileSystem::fileExists("there.txt"));
    QVERIFY(!FileSystem::fileExists(""));
    QVERIFY(!FileSystem::fileExists(nullptr));
    QDir(QString::fromStdString(_root)).mkpath("folder");
    writeFile("folder/inner.txt", "2");
    QVERIFY(FileSystem::fileExists("folder/inner.txt"));
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
    QVERIFY(!FileSystem::readAll((_root + "nope").c_str(), &size));
    QCOMPARE(size, 0);
    // A folder is not a file, even though the C library opens it.
    QVERIFY(!FileSystem::readAll(_root.c_str(), &size));
    QVERIFY(!FileSystem::open(_root.c_str()));
    QVERIFY(!FileSystem::open(nullptr));
    // Devices are not files either (an endless one would never finish reading).
    QVERIFY(!FileSystem::readAll("/dev/zero", &size));
    QVERIFY(!FileSystem::open("/dev/null"));

    std::unique_ptr<Stream> s(FileSystem::open(path.c_str()));
    QVERIFY(s);
    QVERIFY(s->canRead());
    QVERIFY(!s->canWrite());
    QVERIFY(s->canSeek());
    QCOMPARE(s->length(), size_t(25));
    char line[64];
    QVERIFY(s->readLine(line, sizeof(line)));
    QCOMPARE(QByteArray(line), QByteArray("line one\n"));
    QCOMPARE(s->position(), 9L);
    char small[5];
    QVERIFY(s->readLine(small, sizeof(small)));   // capacity bounds the read
    QCOMPARE(QByteArray(small), QByteArray("line"));
    QVERIFY(s->seek(-6, 2));
    char tail[6];
    QCOMPARE(s->read(tail, 1, 6), size_t(6));
    QVERIFY(std::memcmp(tail, "binary", 6) == 0);
    QVERIFY(s->eof());
    QVERIFY(s->seek(0, 0));
    QVERIFY(s->seek(5, 1));
    QCOMPARE(s->position(), 5L);
    QVERIFY(!s->seek(0, 7));
    // Whole elements only: 25 bytes hold three 8-byte elements.
    QVERIFY(s->rewind());
    char eight[32];
    QCOMPARE(s->read(eight, 8, 4), size_t(3));
    s->close();
    QCOMPARE(s->position(), -1L);
    QVERIFY(!s->canRead());
    QVERIFY(!s->canSeek());
    QCOMPARE(s->read(eight, 1, 1), size_t(0));
    QVERIFY(!s->readLine(line, sizeof(line)));

    std::unique_ptr<Stream> w(FileSystem::open((_root + "out.bin").c_str(), "wb"));
    QVERIFY(w && w->canWrite() && !w->canRead());
    QCOMPARE(w->write("abc", 1, 3), size_t(3));
    QCOMPARE(w->length(), size_t(3));
    w.reset();
    QVERIFY(FileSystem::fileExists((_root + "out.bin").c_str()));
}

QTEST_APPLESS_MAIN(TestProperties)
#include "tst_properties.moc"
