#include "AboutWindowController.h"
#include "OsInfoService.h"
#include "PreferencesWindowController.h"
#include "SystemInfoWindowController.h"
#include "UserSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QLabel>
#include <QTextBrowser>
#include <QtTest>

#include <functional>
#include <memory>

namespace {
class FakeOsInfo : public OsInfoService {
public:
    QString versionText() const override { return QStringLiteral("Test OS 1.0"); }
    QString osName() const override { return QStringLiteral("TestOS"); }
    QString hardwareAddress() const override { return QString(); }
};
} // namespace

// The Help menu's tool windows: each made once and centred on the main
// window, what they show, and what the preferences store.
class ToolWindowsTest : public QObject {
    Q_OBJECT
    FakeOsInfo m_osInfo;
    std::unique_ptr<QWidget> m_mainWindow;

    QString labelText(QWidget* window, const char* name) { return window->findChild<QLabel*>(name)->text(); }

private slots:
    void initTestCase()
    {
        OsInfoService::setInstance(&m_osInfo);
        m_mainWindow = std::make_unique<QWidget>();
        m_mainWindow->setGeometry(101, 57, 1001, 603);
        m_mainWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_mainWindow.get()));
    }
    void cleanupTestCase()
    {
        OsInfoService::setInstance(nullptr);
        for (QWidget* widget : QApplication::topLevelWidgets())
            widget->close();
    }

    void eachWindowMadeOnceAndCentred_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("about") << 0;
        QTest::newRow("preferences") << 1;
        QTest::newRow("system info") << 2;
    }

    void eachWindowMadeOnceAndCentred()
    {
        QFETCH(int, which);
        AboutWindowController about(m_mainWindow.get());
        PreferencesWindowController preferences(m_mainWindow.get());
        SystemInfoWindowController systemInfo(m_mainWindow.get());
        const std::function<void()> show[]
            = {[&] { about.showAboutWindow(); }, [&] { preferences.showPreferencesWindow(); },
               [&] { systemInfo.showSystemInfoWindow(); }};
        const ToolWindowController* controllers[] = {&about, &preferences, &systemInfo};
        QCOMPARE(controllers[which]->window(), nullptr);
        show[which]();
        QWidget* window = controllers[which]->window();
        QVERIFY(window && window->isVisible());
        const QRect main = m_mainWindow->geometry();
        const QPoint centred(int(main.left() + main.width() * 0.5 - window->width() * 0.5),
                             int(main.top() + main.height() * 0.5 - window->height() * 0.5));
        QCOMPARE(window->pos(), centred);
        QVERIFY(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QCOMPARE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint), which == 1);

        // Closed and asked for again after the main window moved: the same window, not moved.
        window->close();
        m_mainWindow->move(main.topLeft() + QPoint(40, 40));
        show[which]();
        QVERIFY(controllers[which]->window() == window && window->isVisible());
        QCOMPARE(window->pos(), centred);
        m_mainWindow->setGeometry(main);
        window->close();
    }

    void aboutAndSystemInfoTexts()
    {
        AboutWindowController about(m_mainWindow.get());
        about.showAboutWindow();
        QWidget* window = about.window();
        QCOMPARE(labelText(window, "versionLabel"), QStringLiteral("Version: 1.7 (521) 2016-09-21"));
        QVERIFY(labelText(window, "copyrightLabel").contains("Velmora"));
        const QString credits = window->findChild<QTextBrowser*>("creditsBrowser")->toPlainText();
        for (const char* component :
             {"Qt", "Assimp", "zlib", "minizip", "JsonCpp", "libpng", "GLEW", "stb_image", "meshoptimizer"})
            QVERIFY2(credits.contains(component), component);
        QVERIFY(credits.contains("MIT License") && credits.contains("GNU Lesser General Public License"));

        SystemInfoWindowController systemInfo(m_mainWindow.get());
        systemInfo.showSystemInfoWindow();
        window = systemInfo.window();
        QCOMPARE(labelText(window, "versionLabel"), QStringLiteral("Velmora 3D Encoder 1.7 (521) 2016-09-21"));
        QCOMPARE(labelText(window, "osLabel"), QStringLiteral("Operating System: Test OS 1.0"));
        // Mesa under Xvfb makes a context; its version leads the text.
        const QString openGL = labelText(window, "openGLLabel");
        QVERIFY2(QRegularExpression("^OpenGL Version: \\d+\\.\\d+.*, \\S").match(openGL).hasMatch(),
                 qPrintable(openGL));
    }

    void colourPreviewCancelAndChoice()
    {
        const QColor stored(10, 20, 30);
        const QColor previewed(200, 100, 50);
        const QColor chosen(1, 2, 3);
        UserSettings::instance().setBackgroundColor(stored);
        PreferencesWindowController preferences(m_mainWindow.get());
        QSignalSpy viewport(&preferences, &PreferencesWindowController::backgroundColorPreviewed);
        preferences.showPreferencesWindow();
        auto* swatch = preferences.window()->findChild<QLabel*>("backgroundSwatch");
        QCOMPARE(swatch->styleSheet(), QStringLiteral("background-color: rgb(10,20,30); border: 2px solid grey"));

        QTest::mouseClick(swatch, Qt::LeftButton);
        auto* dialog = preferences.window()->findChild<QColorDialog*>("backgroundColorDialog");
        QVERIFY(dialog->isVisible());
        dialog->setCurrentColor(previewed);
        QCOMPARE(viewport.last().first().value<QColor>(), previewed);
        QCOMPARE(UserSettings().backgroundColor(), stored);
        dialog->reject();
        QCOMPARE(viewport.last().first().value<QColor>(), stored);
        QCOMPARE(UserSettings().backgroundColor(), stored);
        QVERIFY(swatch->styleSheet().contains("rgb(10,20,30)"));

        // A choice is stored at once, so the next run starts with it.
        QTest::mouseClick(swatch, Qt::LeftButton);
        dialog->setCurrentColor(chosen);
        dialog->accept();
        QCOMPARE(viewport.last().first().value<QColor>(), chosen);
        QCOMPARE(UserSettings().backgroundColor(), chosen);
        QVERIFY(swatch->styleSheet().contains("rgb(1,2,3)"));
        QVERIFY(!dialog->isVisible());
    }

    void trackingSwitchIsStoredAtOnce()
    {
        UserSettings::instance().setTrackingEnabled(true);
        PreferencesWindowController preferences(m_mainWindow.get());
        preferences.showPreferencesWindow();
        auto* box = preferences.window()->findChild<QCheckBox*>("trackingCheckBox");
        QVERIFY(box->isChecked());
        box->click();
        QCOMPARE(UserSettings().isTrackingEnabled(), false);
        box->click();
        QCOMPARE(UserSettings().isTrackingEnabled(), true);
    }
};

QTEST_MAIN(ToolWindowsTest)
#include "tst_windows.moc"
