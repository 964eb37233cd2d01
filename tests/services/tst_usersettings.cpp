#include "UserSettings.h"

#include <QtTest> // and with it all of QtCore

#include <memory>

// The settings store: keys and defaults, round trips under the stored names,
// hostile stored values, readers on other threads and a store that cannot be
// written.
class UserSettingsTest : public QObject {
    Q_OBJECT
    QString storePath() const { return m_dir->filePath(QStringLiteral("settings.ini")); }
    std::unique_ptr<QTemporaryDir> m_dir;

    static QVariantList valuesOf(const UserSettings& s)
    {
        return {s.lastImportPath(), s.lastExportPath(),  s.animationGrouping(), s.backfaceCulling(),
                s.showImportInfo(), s.backgroundColor(), s.isTrackingEnabled()};
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void defaultsAndNativeStore()
    {
        {
            UserSettings settings(storePath());
            QCOMPARE(
                valuesOf(settings),
                QVariantList({QDir::homePath(), QDir::homePath(), "root", "off", true, QColor(51, 51, 56, 255), true}));
        }
        QVERIFY2(!QFile::exists(storePath()), "reading alone must not create the store");

        const QString nativePath = qEnvironmentVariable("XDG_CONFIG_HOME") + "/com.velmora/velmoraEncoder.conf";
        UserSettings().setAnimationGroupingTake();
        QVERIFY2(QFile::exists(nativePath), qPrintable(nativePath));
        QCOMPARE(UserSettings().animationGrouping(), QStringLiteral("take"));
        QFile::remove(nativePath);
    }

    void everyKeyRoundTripsUnderItsStoredName()
    {
        const QString importFolder = m_dir->filePath("imports/deep");
        const QString exportFolder = QDir::current().absoluteFilePath("sub"); // relative names resolve here
        const QVariantList expected
            = {importFolder, exportFolder, "none", "material", false, QColor(1, 2, 3, 4), false};
        {
            UserSettings settings(storePath());
            settings.setLastImportPath(importFolder + "/a model.fbx");
            settings.setLastExportPath("sub/out.vm3");
            settings.setAnimationGroupingNone();
            settings.setBackfaceCullingMaterial();
            settings.setShowImportInfo(false);
            settings.setBackgroundColor(QColor(1, 2, 3, 4));
            settings.setTrackingEnabled(false);
            // An empty path names no folder; the last real one stays.
            settings.setLastImportPath(QString());
            settings.setLastExportPath(QString());
            QCOMPARE(settings.lastWriteStatus(), QSettings::NoError);

            // Every change is synced at once, under the fixed names.
            QSettings raw(storePath(), QSettings::IniFormat);
            QVariantList stored;
            for (const char* key : {"Import/LastImportPath", "Export/LastExportPath", "Import/AnimationGrouping",
                                    "Import/BackfaceCulling", "Import/ShowImportInfo", "Appearance/BackgroundColor",
                                    "Tracking/gaTrackingEnabled"})
                stored << raw.value(key);
            QCOMPARE(stored, expected);
            QCOMPARE(raw.allKeys().size(), 7);
        }
        UserSettings fresh(storePath());
        QCOMPARE(valuesOf(fresh), expected);
        fresh.setLastImportPath("/a.fbx");
        QCOMPARE(fresh.lastImportPath(), QStringLiteral("/"));
    }

    void hostileStoreFallsBackToDefaults()
    {
        // Grouping and culling end up on the encoder's command line: only known words pass.
        const QList<QVariantList> rows = {{"take", "ccw", "#102030", QColor(16, 32, 48)},
                                          {"Take", "CW", "not a colour", QColor()},
                                          {"root --output /etc/passwd", "-o x", 42, QColor()}};
        for (const QVariantList& row : rows) {
            {
                QSettings raw(storePath(), QSettings::IniFormat);
                raw.setValue("Import/AnimationGrouping", row[0]);
                raw.setValue("Import/BackfaceCulling", row[1]);
                raw.setValue("Appearance/BackgroundColor", row[2]);
            }
            const QColor expectedColour = row[3].value<QColor>();
            UserSettings settings(storePath());
            QCOMPARE(settings.animationGrouping(), expectedColour.isValid() ? row[0].toString() : "root");
            QCOMPARE(settings.backfaceCulling(), expectedColour.isValid() ? row[1].toString() : "off");
            QCOMPARE(settings.backgroundColor().isValid(), expectedColour.isValid());
            if (expectedColour.isValid())
                QCOMPARE(settings.backgroundColor(), expectedColour);
        }

        // A file that is no INI at all reads as defaults and is repaired by the next write.
        const QByteArray garbage = QByteArray::fromHex("00ff7f80fe015b3d0d0a").repeated(400)
            + "\n[Import\nAnimationGrouping=\"unterminated\n[Appearance]\nBackgroundColor=@Variant(\\0\\0)\n";
        QFile file(storePath());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(garbage) == garbage.size());
        file.close();
        UserSettings settings(storePath());
        QCOMPARE(valuesOf(settings), valuesOf(UserSettings(m_dir->filePath("absent.ini"))));
        settings.setBackfaceCullingCCW();
        QCOMPARE(UserSettings(storePath()).backfaceCulling(), QStringLiteral("ccw"));
    }

    void readersOnOtherThreadsSeeWholeValues()
    {
        UserSettings settings(storePath());
        const QColor colourA(10, 20, 30, 40);
        const QColor colourB(200, 210, 220, 230);
        const QString folderA = QStringLiteral("/first/folder/with/a/rather/long/name/to/make/tearing/visible");
        const QString folderB = QStringLiteral("/second");
        settings.setBackgroundColor(colourA);
        settings.setLastImportPath(folderA + "/x.fbx");

        QAtomicInt stop(0);
        QAtomicInt badReads(0);
        std::unique_ptr<QThread> reader(QThread::create([&] {
            while (!stop.loadAcquire()) {
                const QColor c = settings.backgroundColor();
                const QString folder = settings.lastImportPath();
                if (!(c == colourA || c == colourB) || !(folder == folderA || folder == folderB))
                    badReads.fetchAndAddRelaxed(1);
            }
        }));
        reader->start();
        for (int i = 0; i < 200; ++i) {
            settings.setBackgroundColor(i % 2 ? colourA : colourB);
            settings.setLastImportPath((i % 2 ? folderA : folderB) + "/x.fbx");
        }
        stop.storeRelease(1);
        QVERIFY(reader->wait(10000));
        QCOMPARE(badReads.loadRelaxed(), 0);
    }

    void unwritableStoreKeepsEverythingInMemory()
    {
        // A folder where the store file should be: nothing can be written there, whoever runs the test.
        QVERIFY(QDir().mkpath(storePath()));
        {
            UserSettings settings(storePath());
            settings.setAnimationGroupingTake();
            QCOMPARE(settings.lastWriteStatus(), QSettings::AccessError);
            settings.setBackgroundColor(QColor(7, 7, 7));
            settings.setLastImportPath("/models/a.fbx");
            // This run keeps every change, and one failed write loses no other value.
            QCOMPARE(valuesOf(settings),
                     QVariantList({"/models", QDir::homePath(), "take", "off", true, QColor(7, 7, 7), true}));

            // Once the obstacle is gone, the next write brings the earlier changes along.
            QVERIFY(QDir(storePath()).removeRecursively());
            settings.setBackfaceCullingCW();
            QCOMPARE(settings.lastWriteStatus(), QSettings::NoError);
        }
        QCOMPARE(valuesOf(UserSettings(storePath())),
                 QVariantList({"/models", QDir::homePath(), "take", "cw", true, QColor(7, 7, 7), true}));
    }
};

QTEST_MAIN(UserSettingsTest)
#include "tst_usersettings.moc"
