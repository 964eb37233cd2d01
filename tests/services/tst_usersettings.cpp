#include "UserSettings.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <vector>

// The settings store: keys, defaults, round trips, hostile stored values,
// readers on other threads and a store that cannot be written.
class UserSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init();

    void defaultsWhenStoreIsEmpty();
    void nativeStoreLivesUnderConfigHome();
    void everyKeySurvivesAFreshInstance();
    void storedUnderDocumentedGroupsAndKeys();
    void lastFoldersKeepTheFolderNotTheFile();
    void radioGroupsHoldExactlyOneValue_data();
    void radioGroupsHoldExactlyOneValue();
    void unknownStoredChoicesFallBackToDefaults_data();
    void unknownStoredChoicesFallBackToDefaults();
    void storedColourConversion_data();
    void storedColourConversion();
    void readersOnOtherThreadsSeeWholeValues();
    void garbageStoreReadsAsDefaultsAndIsRepaired();
    void unwritableStoreKeepsEverythingInMemory();
    void instanceIsOneObject();

private:
    QString storePath() const { return m_dir->filePath(QStringLiteral("settings.ini")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void UserSettingsTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void UserSettingsTest::defaultsWhenStoreIsEmpty()
{
    UserSettings settings(storePath());
    QCOMPARE(settings.lastImportPath(), QDir::homePath());
    QCOMPARE(settings.lastExportPath(), QDir::homePath());
    QCOMPARE(settings.animationGrouping(), QStringLiteral("root"));
    QCOMPARE(settings.backfaceCulling(), QStringLiteral("off"));
    QCOMPARE(settings.showImportInfo(), true);
    QCOMPARE(settings.isTrackingEnabled(), true);
    QCOMPARE(settings.backgroundColor(), QColor(51, 51, 56, 255));
    QVERIFY(settings.isAnimationGroupingRoot());
    QVERIFY(!settings.isAnimationGroupingNone());
    QVERIFY(!settings.isAnimationGroupingTake());
    QVERIFY(settings.isBackfaceCullingOff());
    QVERIFY(!settings.isBackfaceCullingCCW());
    QVERIFY(!settings.isBackfaceCullingCW());
    QVERIFY(!settings.isBackfaceCullingMaterial());
    // Reading alone must not create the store.
    QVERIFY(!QFile::exists(storePath()));
}

void UserSettingsTest::nativeStoreLivesUnderConfigHome()
{
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    QVERIFY2(!configHome.isEmpty(), "tests run with their own XDG_CONFIG_HOME");
    const QString expected = configHome + QStringLiteral("/com.velmora/velmoraEncoder.conf");
    QFile::remove(expected);
    {
        UserSettings settings;
        settings.setAnimationGroupingTake();
        QCOMPARE(settings.lastWriteStatus(), QSettings::NoError);
    }
    QVERIFY2(QFile::exists(expected), qPrintable(expected));
    UserSettings reread;
    QCOMPARE(reread.animationGrouping(), QStringLiteral("take"));
    QFile::remove(expected);
}

void UserSettingsTest::everyKeySurvivesAFreshInstance()
{
    QDir(m_dir->path()).mkpath(QStringLiteral("imports/deep"));
    QDir(m_dir->path()).mkpath(QStringLiteral("exports"));
    const QString importFile = m_dir->filePath(QStringLiteral("imports/deep/a model.fbx"));
    const QString exportFile = m_dir->filePath(QStringLiteral("exports/out.vm3"));
    {
        UserSettings settings(storePath());
        settings.setLastImportPath(importFile);
        settings.setLastExportPath(exportFile);
        settings.setAnimationGroupingNone();
        settings.setBackfaceCullingMaterial();
        settings.setShowImportInfo(false);
        settings.setBackgroundColor(QColor(1, 2, 3, 4));
        settings.setTrackingEnabled(false);
        QCOMPARE(settings.lastWriteStatus(), QSettings::NoError);
    }
    UserSettings fresh(storePath());
    QCOMPARE(fresh.lastImportPath(), m_dir->filePath(QStringLiteral("imports/deep")));
    QCOMPARE(fresh.lastExportPath(), m_dir->filePath(QStringLiteral("exports")));
    QCOMPARE(fresh.animationGrouping(), QStringLiteral("none"));
    QCOMPARE(fresh.backfaceCulling(), QStringLiteral("material"));
    QCOMPARE(fresh.showImportInfo(), false);
    QCOMPARE(fresh.backgroundColor(), QColor(1, 2, 3, 4));
    QCOMPARE(fresh.isTrackingEnabled(), false);
}

void UserSettingsTest::storedUnderDocumentedGroupsAndKeys()
{
    {
        UserSettings settings(storePath());
        settings.setLastImportPath(QStringLiteral("/models/a.fbx"));
        settings.setLastExportPath(QStringLiteral("/exports/b.vm3"));
        settings.setAnimationGroupingTake();
        settings.setBackfaceCullingCW();
        settings.setShowImportInfo(false);
        settings.setBackgroundColor(QColor(10, 20, 30));
        settings.setTrackingEnabled(false);

    // Every change is synced at once: an independent reader sees it while the
    // settings object still exists, and under the fixed names.
    QSettings raw(storePath(), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("Import/LastImportPath")).toString(), QStringLiteral("/models"));
    QCOMPARE(raw.value(QStringLiteral("Import/AnimationGrouping")).toString(), QStringLiteral("take"));
    QCOMPARE(raw.value(QStringLiteral("Import/BackfaceCulling")).toString(), QStringLiteral("cw"));
    QCOMPARE(raw.value(QStringLiteral("Import/ShowImportInfo")).toBool(), false);
    QCOMPARE(raw.value(QStringLiteral("Export/LastExportPath")).toString(), QStringLiteral("/exports"));
    QCOMPARE(raw.value(QStringLiteral("Appearance/BackgroundColor")).value<QColor>(), QColor(10, 20, 30));
    QCOMPARE(raw.value(QStringLiteral("Tracking/gaTrackingEnabled")).toBool(), false);
    QCOMPARE(raw.allKeys().size(), 7);
    }
}

void UserSettingsTest::lastFoldersKeepTheFolderNotTheFile()
{
    UserSettings settings(storePath());
    settings.setLastImportPath(QStringLiteral("/data/models/a.fbx"));
    QCOMPARE(settings.lastImportPath(), QStringLiteral("/data/models"));
    settings.setLastImportPath(QStringLiteral("/a.fbx"));
    QCOMPARE(settings.lastImportPath(), QStringLiteral("/"));
    // A relative name is resolved against the current folder.
    settings.setLastExportPath(QStringLiteral("sub/out.vm3"));
    QCOMPARE(settings.lastExportPath(), QDir::current().absoluteFilePath(QStringLiteral("sub")));
    // An empty path names no folder; the last real one stays.
    settings.setLastImportPath(QString());
    settings.setLastExportPath(QString());
    QCOMPARE(settings.lastImportPath(), QStringLiteral("/"));
    QCOMPARE(settings.lastExportPath(), QDir::current().absoluteFilePath(QStringLiteral("sub")));
}

void UserSettingsTest::radioGroupsHoldExactlyOneValue_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<QString>("culling");
    QTest::newRow("grouping none") << "none" << "none" << "off";
    QTest::newRow("grouping root") << "root" << "root" << "off";
    QTest::newRow("grouping take") << "take" << "take" << "off";
    QTest::newRow("culling off") << "off" << "root" << "off";
    QTest::newRow("culling ccw") << "ccw" << "root" << "ccw";
    QTest::newRow("culling cw") << "cw" << "root" << "cw";
    QTest::newRow("culling material") << "material" << "root" << "material";
}

void UserSettingsTest::radioGroupsHoldExactlyOneValue()
{
    QFETCH(QString, choice);
    QFETCH(QString, grouping);
    QFETCH(QString, culling);
    UserSettings settings(storePath());
    // Start away from the defaults so each setter has something to change.
    settings.setAnimationGroupingTake();
    settings.setBackfaceCullingMaterial();
    settings.setAnimationGroupingRoot();
    settings.setBackfaceCullingOff();

    if (choice == QLatin1String("none")) settings.setAnimationGroupingNone();
    if (choice == QLatin1String("root")) settings.setAnimationGroupingRoot();
    if (choice == QLatin1String("take")) settings.setAnimationGroupingTake();
    if (choice == QLatin1String("off")) settings.setBackfaceCullingOff();
    if (choice == QLatin1String("ccw")) settings.setBackfaceCullingCCW();
    if (choice == QLatin1String("cw")) settings.setBackfaceCullingCW();
    if (choice == QLatin1String("material")) settings.setBackfaceCullingMaterial();

    QCOMPARE(settings.animationGrouping(), grouping);
    QCOMPARE(settings.backfaceCulling(), culling);
    const QList<bool> groupingTests = {settings.isAnimationGroupingNone(), settings.isAnimationGroupingRoot(),
                                       settings.isAnimationGroupingTake()};
    const QList<bool> cullingTests = {settings.isBackfaceCullingOff(), settings.isBackfaceCullingCCW(),
                                      settings.isBackfaceCullingCW(), settings.isBackfaceCullingMaterial()};
    QCOMPARE(groupingTests.count(true), 1);
    QCOMPARE(cullingTests.count(true), 1);
    QCOMPARE(groupingTests.indexOf(true), QStringList({"none", "root", "take"}).indexOf(grouping));
    QCOMPARE(cullingTests.indexOf(true), QStringList({"off", "ccw", "cw", "material"}).indexOf(culling));

    UserSettings fresh(storePath());
    QCOMPARE(fresh.animationGrouping(), grouping);
    QCOMPARE(fresh.backfaceCulling(), culling);
}

void UserSettingsTest::unknownStoredChoicesFallBackToDefaults_data()
{
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<QString>("culling");
    QTest::addColumn<QString>("expectedGrouping");
    QTest::addColumn<QString>("expectedCulling");
    QTest::newRow("valid") << "take" << "ccw" << "take" << "ccw";
    QTest::newRow("unknown words") << "banana" << "sideways" << "root" << "off";
    QTest::newRow("wrong case") << "Take" << "CW" << "root" << "off";
    QTest::newRow("empty") << "" << "" << "root" << "off";
    QTest::newRow("option injection") << "root --output /etc/passwd" << "-o x" << "root" << "off";
}

void UserSettingsTest::unknownStoredChoicesFallBackToDefaults()
{
    QFETCH(QString, grouping);
    QFETCH(QString, culling);
    QFETCH(QString, expectedGrouping);
    QFETCH(QString, expectedCulling);
    {
        QSettings raw(storePath(), QSettings::IniFormat);
        raw.setValue(QStringLiteral("Import/AnimationGrouping"), grouping);
        raw.setValue(QStringLiteral("Import/BackfaceCulling"), culling);
    }
    UserSettings settings(storePath());
    QCOMPARE(settings.animationGrouping(), expectedGrouping);
    QCOMPARE(settings.backfaceCulling(), expectedCulling);
}

void UserSettingsTest::storedColourConversion_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("colour") << QVariant(QColor(9, 8, 7, 6)) << QColor(9, 8, 7, 6);
    QTest::newRow("colour name") << QVariant(QStringLiteral("#102030")) << QColor(16, 32, 48);
    QTest::newRow("garbage text") << QVariant(QStringLiteral("not a colour")) << QColor();
    QTest::newRow("number") << QVariant(42) << QColor();
    QTest::newRow("list") << QVariant(QStringList({"1", "2", "3"})) << QColor();
}

void UserSettingsTest::storedColourConversion()
{
    QFETCH(QVariant, stored);
    QFETCH(QColor, expected);
    {
        QSettings raw(storePath(), QSettings::IniFormat);
        raw.setValue(QStringLiteral("Appearance/BackgroundColor"), stored);
    }
    UserSettings settings(storePath());
    const QColor colour = settings.backgroundColor();
    QCOMPARE(colour.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(colour, expected);
    // The other keys are unaffected by one broken value.
    QCOMPARE(settings.animationGrouping(), QStringLiteral("root"));
    QCOMPARE(settings.isTrackingEnabled(), true);
}

void UserSettingsTest::readersOnOtherThreadsSeeWholeValues()
{
    UserSettings settings(storePath());
    const QColor colourA(10, 20, 30, 40);
    const QColor colourB(200, 210, 220, 230);
    const QString folderA = QStringLiteral("/first/folder/with/a/rather/long/name/to/make/tearing/visible");
    const QString folderB = QStringLiteral("/second");
    settings.setBackgroundColor(colourA);
    settings.setLastImportPath(folderA + QStringLiteral("/x.fbx"));

    QAtomicInt stop(0);
    QAtomicInt badReads(0);
    QAtomicInt reads(0);
    std::vector<std::unique_ptr<QThread>> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back(QThread::create([&] {
            const QStringList groupings = {"none", "root", "take"};
            const QStringList cullings = {"off", "ccw", "cw", "material"};
            while (!stop.loadAcquire()) {
                const QColor c = settings.backgroundColor();
                const QString folder = settings.lastImportPath();
                const bool ok = (c == colourA || c == colourB) && (folder == folderA || folder == folderB)
                    && groupings.contains(settings.animationGrouping())
                    && cullings.contains(settings.backfaceCulling());
                if (!ok)
                    badReads.fetchAndAddRelaxed(1);
                reads.fetchAndAddRelaxed(1);
            }
        }));
        readers.back()->start();
    }
    for (int i = 0; i < 60; ++i) {
        const bool even = i % 2 == 0;
        settings.setBackgroundColor(even ? colourB : colourA);
        settings.setLastImportPath((even ? folderB : folderA) + QStringLiteral("/x.fbx"));
        switch (i % 3) {
        case 0: settings.setAnimationGroupingNone(); break;
        case 1: settings.setAnimationGroupingRoot(); break;
        default: settings.setAnimationGroupingTake(); break;
        }
        switch (i % 4) {
        case 0: settings.setBackfaceCullingOff(); break;
        case 1: settings.setBackfaceCullingCCW(); break;
        case 2: settings.setBackfaceCullingCW(); break;
        default: settings.setBackfaceCullingMaterial(); break;
        }
        settings.setTrackingEnabled(even);
    }
    stop.storeRelease(1);
    for (auto& reader : readers)
        QVERIFY(reader->wait(10000));
    QVERIFY(reads.loadRelaxed() > 0);
    QCOMPARE(badReads.loadRelaxed(), 0);

    UserSettings fresh(storePath());
    QCOMPARE(fresh.backgroundColor(), colourA);
    QCOMPARE(fresh.lastImportPath(), folderA);
    QCOMPARE(fresh.animationGrouping(), QStringLiteral("take"));     // 59 % 3 == 2
    QCOMPARE(fresh.backfaceCulling(), QStringLiteral("material"));   // 59 % 4 == 3
    QCOMPARE(fresh.isTrackingEnabled(), false);
}

void UserSettingsTest::garbageStoreReadsAsDefaultsAndIsRepaired()
{
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919) & 0xff));
    garbage.append("\n[Import\nAnimationGrouping=\"unterminated\n[Appearance]\nBackgroundColor=@Variant(\\0\\0)\n");
    file.write(garbage);
    file.close();

    UserSettings settings(storePath());
    QCOMPARE(settings.animationGrouping(), QStringLiteral("root"));
    QCOMPARE(settings.backfaceCulling(), QStringLiteral("off"));
    QCOMPARE(settings.isTrackingEnabled(), true);
    settings.setBackfaceCullingCCW();
    UserSettings fresh(storePath());
    QCOMPARE(fresh.backfaceCulling(), QStringLiteral("ccw"));
}

void UserSettingsTest::unwritableStoreKeepsEverythingInMemory()
{
    // A folder where the store file should be: nothing can be written there,
    // whoever runs the test.
    QVERIFY(QDir().mkpath(storePath()));
    {
        UserSettings settings(storePath());
        QCOMPARE(settings.animationGrouping(), QStringLiteral("root"));
        settings.setAnimationGroupingTake();
        QCOMPARE(settings.lastWriteStatus(), QSettings::AccessError);
        settings.setBackgroundColor(QColor(7, 7, 7));
        settings.setShowImportInfo(false);
        settings.setLastImportPath(QStringLiteral("/models/a.fbx"));
        // This run keeps every change, and one failed write loses no other value.
        QCOMPARE(settings.animationGrouping(), QStringLiteral("take"));
        QCOMPARE(settings.backgroundColor(), QColor(7, 7, 7));
        QCOMPARE(settings.showImportInfo(), false);
        QCOMPARE(settings.lastImportPath(), QStringLiteral("/models"));
        QCOMPARE(settings.backfaceCulling(), QStringLiteral("off"));

        // Once the obstacle is gone, the next write brings the earlier changes along.
        QVERIFY(QDir(storePath()).removeRecursively());
        settings.setBackfaceCullingCW();
        QCOMPARE(settings.lastWriteStatus(), QSettings::NoError);
    }
    UserSettings fresh(storePath());
    QCOMPARE(fresh.animationGrouping(), QStringLiteral("take"));
    QCOMPARE(fresh.backgroundColor(), QColor(7, 7, 7));
    QCOMPARE(fresh.showImportInfo(), false);
    QCOMPARE(fresh.lastImportPath(), QStringLiteral("/models"));
    QCOMPARE(fresh.backfaceCulling(), QStringLiteral("cw"));
}

void UserSettingsTest::instanceIsOneObject()
{
    UserSettings& first = UserSettings::instance();
    UserSettings& second = UserSettings::instance();
    QCOMPARE(&first, &second);
    UserSettings* fromThread = nullptr;
    std::unique_ptr<QThread> thread(QThread::create([&] { fromThread = &UserSettings::instance(); }));
    thread->start();
    QVERIFY(thread->wait(10000));
    QCOMPARE(fromThread, &first);
}

QTEST_MAIN(UserSettingsTest)
#include "tst_usersettings.moc"
