#include "UserSettings.h"

#include <QtTest> // and with it all of QtCore

#include <memory>

// The settings store: hostile stored values and readers on other threads.
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
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

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
};

QTEST_MAIN(UserSettingsTest)
#include "tst_usersettings.moc"
