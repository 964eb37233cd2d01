#include "UserSettings.h"

#include <QColor>
#include <QtTest> // and with it all of QtCore

#include <memory>

// The settings store: hostile stored values and readers on other threads.
class UserSettingsTest : public QObject {
    Q_OBJECT
    QString storePath() const { return m_dir->filePath(QStringLiteral("settings.ini")); }
    std::unique_ptr<QTemporaryDir> m_dir;

    static QByteArray storedLine(const QString& path, const QByteArray& start)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray();
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith(start))
                return line;
        return QByteArray();
    }
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
        // A colour stored by earlier versions (a colour value) must still read.
        const QList<QVariantList> rows = {{"take", "ccw", "#102030", "#102030"},
                                          {"none", "cw", QColor(10, 20, 30, 40), "#280a141e"},
                                          {"Take", "CW", "not a colour", ""},
                                          {"root --output /etc/passwd", "-o x", 42, ""}};
        for (const QVariantList& row : rows) {
            {
                QSettings raw(storePath(), QSettings::IniFormat);
                raw.setValue("Import/AnimationGrouping", row[0]);
                raw.setValue("Import/BackfaceCulling", row[1]);
                raw.setValue("Appearance/BackgroundColor", row[2]);
            }
            const QString expectedColour = row[3].toString();
            UserSettings settings(storePath());
            QCOMPARE(settings.animationGrouping(), expectedColour.isEmpty() ? "root" : row[0].toString());
            QCOMPARE(settings.backfaceCulling(), expectedColour.isEmpty() ? "off" : row[1].toString());
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
        const QString colourA = QStringLiteral("#280a141e");
        const QString colourB = QStringLiteral("#e6c8d2dc");
        const QString folderA = QStringLiteral("/first/folder/with/a/rather/long/name/to/make/tearing/visible");
        const QString folderB = QStringLiteral("/second");
        settings.setBackgroundColor(colourA);
        settings.setLastImportPath(folderA + "/x.fbx");

        QAtomicInt stop(0);
        QAtomicInt badReads(0);
        std::unique_ptr<QThread> reader(QThread::create([&] {
            while (!stop.loadAcquire()) {
                const QString c = settings.backgroundColor();
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

        // Stored the way earlier versions stored the colour, so they read it too.
        QSettings earlier(m_dir->filePath(QStringLiteral("earlier.ini")), QSettings::IniFormat);
        earlier.setValue("Appearance/BackgroundColor", QColor(colourA)); // the last one written
        earlier.sync();
        const QByteArray stored = storedLine(storePath(), "BackgroundColor=");
        QVERIFY2(stored.startsWith("BackgroundColor=@Variant("), stored);
        QCOMPARE(stored, storedLine(earlier.fileName(), "BackgroundColor="));
    }
};

QTEST_MAIN(UserSettingsTest)
#include "tst_usersettings.moc"
