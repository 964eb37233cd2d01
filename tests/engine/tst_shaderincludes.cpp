// Shader includes: expanded in place, and bounded in nesting, count and total
// size, so that a handful of small files that include each other several
// times over cannot expand to gigabytes.
#include "FileSystem.h"
#include "ShaderIncludes.h"

#include "EngineTestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <string>

using namespace engine;

class TestShaderIncludes : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    std::string file(const std::string& name) const { return m_dir.path().toStdString() + "/" + name; }

private slots:
    void includesAreBounded_data()
    {
        QTest::addColumn<QString>("files"); // name=text, separated by "|"
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("expanded"); // of "main.frag"; only for Expanded
        using Outcome = ShaderIncludes::Outcome;
        QTest::newRow("nested") << "main.frag=A #include \"lib/b.glsl\" C|lib/b.glsl=B #include \"c.glsl\"|lib/c.glsl=c"
                                << int(Outcome::Expanded) << "A B c C";
        QTest::newRow("missing include") << "main.frag=A #include \"gone.glsl\" C" << int(Outcome::Unreadable) << "";
        QTest::newRow("ring") << "main.frag=#include \"main.frag\"" << int(Outcome::TooLarge) << "";
        // 21 KB that would expand to 4^15 copies of the last file.
        QString fan = "main.frag=#include \"l0.glsl\"";
        for (int level = 0; level < 15; ++level)
            fan += QString("|l%1.glsl=").arg(level)
                + (level == 14 ? QString(1400, 'x') : QString("#include \"l%1.glsl\"\n").arg(level + 1).repeated(4));
        QTest::newRow("fan-out, 4 includes over 15 levels") << fan << int(Outcome::TooLarge) << "";
        QTest::newRow("one large include")
            << "main.frag=#include \"big.glsl\"|big.glsl=" + QString(int(ShaderIncludes::kMaxBytes), 'x')
            << int(Outcome::TooLarge) << "";
    }

    void includesAreBounded()
    {
        QFETCH(QString, files);
        QFETCH(int, outcome);
        QFETCH(QString, expanded);
        for (const QString& entry : files.split('|')) {
            const int equals = entry.indexOf('=');
            enginetest::writeFile(file(entry.left(equals).toStdString()), entry.mid(equals + 1).toStdString());
        }
        const std::string main = file("main.frag");
        std::unique_ptr<char[]> source(FileSystem::readAll(main.c_str()));
        std::string out;
        QCOMPARE(int(ShaderIncludes::expand(main, source.get(), &out)), outcome);
        QVERIFY(out.size() <= ShaderIncludes::kMaxBytes);
        if (outcome == int(ShaderIncludes::Outcome::Expanded))
            QCOMPARE(QString::fromStdString(out), expanded);
    }
};

QTEST_APPLESS_MAIN(TestShaderIncludes)
#include "tst_shaderincludes.moc"
