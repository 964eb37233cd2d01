// The translation of FBX files older than 7.1 into the newer layout: crafted old trees that must
// translate (or name what they leave out) without failing, and the keys of old takes.

#include "EncoderTestSupport.h"
#include "FbxLegacyAnimation.h"
#include "FbxLegacyTranslator.h"
#include "FbxNodeValues.h"
#include "FbxTreeReader.h"
#include "Utf8Text.h"

#include <QtTest>

#include <functional>
#include <set>

using V = FbxNodeValues;

namespace {

FbxProperty s(const std::string& text) { return V::makeText(text); }
FbxProperty d(double value) { return V::makeDouble(value); }
FbxProperty l(int64_t value) { return V::makeInt64(value); }
FbxNode n(const std::string& name, std::vector<FbxProperty> values = {}, std::vector<FbxNode> children = {})
{
    return V::make(name, std::move(values), std::move(children));
}

// A one-triangle mesh model as FBX 6.1 ASCII files write it: single values, names with their class.
FbxNode meshModel(const std::string& name, std::vector<FbxNode> extra = {})
{
    FbxNode model = n("Model", {s("Model::" + name), s("Mesh")},
                      {n("Properties60", {},
                         {n("Property", {s("Lcl Translation"), s("Lcl Translation"), s("A"), l(1), d(2.5), l(3)}),
                          n("Property", {s("RotationActive"), s("bool"), s(""), l(1)}),
                          n("Property", {s("PreRotation"), s("Vector3D"), s(""), d(90)})}), // short: dropped
                       n("Vertices", {l(0), l(0), l(0), l(1), l(0), l(0), l(0), l(1), l(0)}),
                       n("PolygonVertexIndex", {l(0), l(1), l(-3)})});
    for (FbxNode& e : extra)
        model.children.push_back(std::move(e));
    return model;
}

FbxDocument document61(std::vector<FbxNode> objects, std::vector<FbxNode> connections, std::vector<FbxNode> more = {})
{
    FbxDocument doc;
    doc.version = 6100;
    doc.nodes.push_back(n("FBXHeaderExtension", {}, {n("FBXVersion", {l(6100)})}));
    doc.nodes.push_back(n("Objects", {}, std::move(objects)));
    doc.nodes.push_back(n("Connections", {}, std::move(connections)));
    for (FbxNode& node : more)
        doc.nodes.push_back(std::move(node));
    return doc;
}

FbxNode link(const std::string& from, const std::string& to) { return n("Connect", {s("OO"), s(from), s(to)}); }

int countObjects(const FbxDocument& doc, const std::string& name, const std::string& type = "")
{
    int count = 0;
    for (const FbxNode& object : doc.section("Objects")->children)
        count += object.name == name && (type.empty() || V::text(object, 2) == type);
    return count;
}

QStringList leftOutKinds(const FbxLegacyTranslator::Translation& t)
{
    QStringList kinds;
    for (const FbxObjectSink::Part& part : t.leftOut)
        kinds << QString::fromStdString(part.kind);
    return kinds;
}

// Every connection names objects that exist (or the root), every object has a unique id.
QString brokenReference(const FbxDocument& doc)
{
    std::set<int64_t> ids {0};
    for (const FbxNode& object : doc.section("Objects")->children) {
        if (object.properties.empty() || object.properties[0].type != 'L')
            return "object without id: " + QString::fromStdString(object.name);
        if (!ids.insert(object.properties[0].integer).second)
            return "duplicate id";
    }
    for (const FbxNode& c : doc.section("Connections")->children)
        if (!ids.count(c.properties.at(1).integer) || !ids.count(c.properties.at(2).integer))
            return "connection to nothing";
    return QString();
}

// What an old file declares, read from its own tree: models by class, as far as they hang in the scene
// (FBX 6 connects them by name, FBX 5 lists children and hangs the rest from the scene), and the
// takes that animate something.
struct Declared {
    QStringList meshes;
    std::map<QString, std::set<std::string>> materials; // by mesh, the names of the materials connected to it
    int lights = 0;
    int cameras = 0;
    int animatedTakes = 0;
};

Declared declaredBy(const FbxDocument& doc)
{
    Declared declared;
    std::map<std::string, std::string> parentOf;
    const FbxNode* connections = doc.section("Connections");
    for (const FbxNode* c : connections ? V::children(*connections, "Connect") : std::vector<const FbxNode*>()) {
        const std::string from = FbxObjectSink::objectKey(V::text(*c, 1));
        const std::string to = FbxObjectSink::objectKey(V::text(*c, 2));
        if (from.rfind("Material::", 0) == 0)
            declared.materials[QString::fromStdString(FbxObjectSink::bareName(to))].insert(
                Utf8Text::propertiesId(FbxObjectSink::bareName(from), "")); // as the material file names it
        else
            parentOf[from] = to;
    }
    auto inScene = [&](std::string key) {
        if (!connections)
            return true;
        for (int depth = 0; depth < 100; ++depth) {
            if (key == "Model::Scene")
                return true;
            const auto parent = parentOf.find(key);
            if (parent == parentOf.end())
                return false;
            key = parent->second;
        }
        return false;
    };
    const FbxNode* objects = doc.section("Objects");
    for (const FbxNode& model : objects ? objects->children : doc.nodes) {
        const std::string key = FbxObjectSink::objectKey(V::text(model, 0), "Model");
        if (model.name != "Model" || !inScene(key))
            continue;
        const FbxNode* polygons = model.child("PolygonVertexIndex");
        const std::string type = V::text(model, 1);
        if (polygons && !V::integers(*polygons).empty())
            declared.meshes << QString::fromStdString(FbxObjectSink::bareName(key));
        declared.lights += type == "Light";
        declared.cameras += type == "Camera";
    }
    const FbxNode* takes = doc.section("Takes");
    for (const FbxNode* take : takes ? V::children(*takes, "Take") : std::vector<const FbxNode*>()) {
        bool keyed = false;
        std::function<void(const FbxNode&)> find = [&](const FbxNode& node) {
            keyed = keyed || (node.name == "KeyCount" && V::number(node, 0, 0) > 1);
            for (const FbxNode& child : node.children)
                find(child);
        };
        find(*take);
        declared.animatedTakes += keyed;
    }
    return declared;
}

using Check = std::function<void(const FbxLegacyTranslator::Translation&)>;

} // namespace

Q_DECLARE_METATYPE(FbxDocument)
Q_DECLARE_METATYPE(FbxNode)
Q_DECLARE_METATYPE(Check)

class TestOldFbx : public QObject {
    Q_OBJECT

private slots:
    void translatesOldTrees_data()
    {
        QTest::addColumn<FbxDocument>("old");
        QTest::addColumn<QStringList>("leftOut"); // kinds, in order
        QTest::addColumn<Check>("check");

        QTest::newRow("connection naming a missing object")
            << document61({meshModel("a")}, {link("Model::a", "Model::Scene"), link("Material::gone", "Model::a")})
            << QStringList {"connection"} << Check();
        QTest::newRow("take of a model") << document61(
            {meshModel("a")}, {link("Model::a", "Model::Scene")},
            {n("Takes", {},
               {n("Take", {s("Walk")},
                  {n("LocalTime", {l(0), l(46186158000)}),
                   n("Model", {s("Model::a")},
                     {n("Channel", {s("Transform")},
                        {n("Channel", {s("R")},
                           {n("Channel", {s("Y")}, {n("Key", {l(0), d(0), s("L"), l(46186158000), d(90), s("L")})})}),
                         n("Channel", {s("Visibility")}, {n("Key", {l(0), d(1), s("C"), s("n")})})})})})})})
                                         << QStringList {"animation channel"}
                                         << Check([](const FbxLegacyTranslator::Translation& t) {
                                                QCOMPARE(countObjects(t.document, "AnimationStack"), 1);
                                                QCOMPARE(countObjects(t.document, "AnimationCurveNode"), 1);
                                                QCOMPARE(countObjects(t.document, "AnimationCurve"), 1);
                                                for (const FbxNode& object : t.document.section("Objects")->children)
                                                    if (object.name == "AnimationCurve") {
                                                        QCOMPARE(object.child("KeyTime")->properties.at(0).integers,
                                                                 (std::vector<int64_t> {0, 46186158000}));
                                                        QCOMPARE(object.child("KeyValueFloat")->properties.at(0).reals,
                                                                 (std::vector<double> {0, 90}));
                                                    }
                                            });
        QTest::newRow("models in a loop") << document61({meshModel("a"), n("Model", {s("Model::b"), s("Null")})},
                                                        {link("Model::a", "Model::Scene"), link("Model::b", "Model::a"),
                                                         link("Model::a", "Model::b"), link("Model::b", "Model::b")})
                                          << QStringList {"connection", "connection"} << Check();
        QTest::newRow("skin on a model without mesh")
            << document61({n("Model", {s("Model::j"), s("Limb")}), n("Deformer", {s("Deformer::skin"), s("Skin")})},
                          {link("Model::j", "Model::Scene"), link("Deformer::skin", "Model::j")})
            << QStringList {"skin"} << Check([](const FbxLegacyTranslator::Translation& t) {
                   QCOMPARE(countObjects(t.document, "NodeAttribute", "LimbNode"), 1);
               });

        FbxDocument version5;
        version5.version = 5000;
        version5.nodes = {n("Model", {s("Root")},
                            {n("Channel", {s("Transform")},
                               {n("Channel", {s("R")}, {n("Channel", {s("X")}, {n("Default", {d(-90)})})})}),
                             n("Children", {s("Box"), s("Nobody")})}),
                          meshModel("Box")};
        version5.nodes[1].properties = {s("Box")};
        version5.nodes[1].children.erase(version5.nodes[1].children.begin()); // no Properties60 in FBX 5
        QTest::newRow("FBX 5: top-level models, children lists, transforms as channel defaults")
            << version5 << QStringList {"child"} << Check([](const FbxLegacyTranslator::Translation& t) {
                   QCOMPARE(countObjects(t.document, "Model"), 2);
                   const FbxNode& root = t.document.section("Objects")->children[0];
                   const FbxNode* rotation = root.child("Properties70")->child("P");
                   QCOMPARE(V::text(*rotation, 0), std::string("Lcl Rotation"));
                   QCOMPARE(rotation->properties.at(4).real, -90.0);
                   QCOMPARE(t.document.section("Connections")->children.size(), size_t(3)); // child, root, mesh
               });
    }

    void translatesOldTrees()
    {
        QFETCH(FbxDocument, old);
        QFETCH(QStringList, leftOut);
        QFETCH(Check, check);
        const FbxLegacyTranslator::Translation t = FbxLegacyTranslator::translate(old);
        QCOMPARE(t.document.version, 7500u);
        const FbxNode* header = t.document.section("FBXHeaderExtension");
        QVERIFY(header);
        QCOMPARE(header->child("FBXVersion")->properties.at(0).type, 'I');
        QVERIFY(t.document.section("GlobalSettings"));
        QCOMPARE(brokenReference(t.document), QString());
        QCOMPARE(leftOutKinds(t), leftOut);
        if (check)
            check(t);
    }

    void convertsEveryOldFile_data()
    {
        QTest::addColumn<QString>("path");
        QStringList files;
        const QString shared = encodertest::sharedModels();
        for (const QString& folder : {shared, shared + "/../fbx-reference"})
            for (QDirIterator it(folder, {"*.fbx", "*.FBX"}, QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext();) {
                const QString file = it.next();
                FbxDocument doc;
                std::string error;
                if (FbxTreeReader::readFile(file.toStdString(), doc, error) && FbxLegacyTranslator::isLegacy(doc))
                    files << QDir::cleanPath(file);
            }
        files.sort();
        for (const QString& file : files)
            QTest::newRow(qPrintable(QFileInfo(file).dir().dirName() + "/" + QFileInfo(file).fileName())) << file;
        if (files.isEmpty())
            QTest::newRow("shared models not present") << QString();
    }

    // Every old file of the shared models converts, with the meshes, lights, cameras and takes it declares.
    void convertsEveryOldFile()
    {
        QFETCH(QString, path);
        if (path.isEmpty())
            QSKIP("shared models not present");
        FbxDocument doc;
        std::string error;
        QVERIFY2(FbxTreeReader::readFile(path.toStdString(), doc, error), error.c_str());
        const Declared declared = declaredBy(doc);
        const bool partsLeftOut = !FbxLegacyTranslator::translate(doc).leftOut.empty();

        engine::BundleData data;
        encodertest::Run run;
        const QString folder = QDir::currentPath() + "/" + QFileInfo(path).completeBaseName();
        QVERIFY(encodertest::convertAndRead(path, folder, "take", data, run));
        QCOMPARE(encodertest::badMessageLine(run), QString());
        QCOMPARE(encodertest::codes(run).contains("2013"), partsLeftOut);
        for (const QString& mesh : declared.meshes) {
            const engine::BundleData::Node* node = encodertest::nodeNamed(data, mesh.toStdString());
            QVERIFY2(node && node->hasModel, qPrintable(mesh));
            const auto connected = declared.materials.find(mesh);
            for (const std::string& material : data.materialsOf(node->model))
                QVERIFY2(connected == declared.materials.end() || connected->second.count(material),
                         qPrintable(mesh + " draws with " + QString::fromStdString(material)));
        }
        int lights = 0;
        int cameras = 0;
        for (const engine::BundleData::Node& node : data.nodes) {
            lights += node.light.type != engine::BundleData::NO_LIGHT;
            cameras += node.camera.type != engine::BundleData::NO_CAMERA;
        }
        QCOMPARE(lights, declared.lights);
        QCOMPARE(cameras, declared.cameras);
        QCOMPARE(int(data.animations.size()), declared.animatedTakes);
    }

    void readsKeys_data()
    {
        QTest::addColumn<FbxNode>("channel");
        QTest::addColumn<QVector<qint64>>("times");
        QTest::addColumn<QVector<double>>("values");

        // ASCII keys: whole-number slopes must not be taken for a key's time.
        QTest::newRow("ASCII cubic with whole slopes")
            << n("X", {}, {n("Key", {l(0), l(0), s("U"), s("s"), l(0), l(0), s("n"), l(100), l(5), s("L")})})
            << QVector<qint64> {0, 100} << QVector<double> {0, 5};
        QTest::newRow("keys out of order dropped") << n("X", {}, {n("Key", {l(20), d(1), s("L"), l(10), d(2), s("L")})})
                                                   << QVector<qint64> {20} << QVector<double> {1};
        QTest::newRow("truncated") << n("X", {}, {n("Key", {l(10)})}) << QVector<qint64>() << QVector<double>();
    }

    void readsKeys()
    {
        QFETCH(FbxNode, channel);
        QFETCH(QVector<qint64>, times);
        QFETCH(QVector<double>, values);
        QVector<qint64> readTimes;
        QVector<double> readValues;
        for (const FbxLegacyAnimation::Key& key : FbxLegacyAnimation::readKeys(channel)) {
            readTimes << key.time;
            readValues << key.value;
        }
        QCOMPARE(readTimes, times);
        QCOMPARE(readValues, values);
    }
};

QTEST_APPLESS_MAIN(TestOldFbx)
#include "tst_oldfbx.moc"
