#include "GlItem.h"

#include <QApplication>
#include <QMessageBox>
#include <QtTest>

// A context below OpenGL 2.1, as Mesa hands out when told to: the widget
// warns once, paints nothing, records no camera reset and still lets models
// be imported.
class GlVersionTest : public QObject {
    Q_OBJECT
private slots:
    void oldContextWarnsOnceAndStaysDark();
};

void GlVersionTest::oldContextWarnsOnceAndStaysDark()
{
    QStringList titles;
    QTimer closer;
    closer.callOnTimeout([&titles]() {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            titles << modal->windowTitle();
            modal->close();
        }
    });
    closer.start(20);

    GlItem item;
    QSignalSpy usage(&item, &GlItem::usageEvent);
    item.resize(200, 200);
    item.show();
    QVERIFY(QTest::qWaitForWindowExposed(&item));
    QTRY_COMPARE(titles, QStringList {"Graphics device incompatible."});
    QVERIFY(!item.isRenderingEnabled());

    item.resetCamera();
    QCOMPARE(usage.count(), 0);
}

int main(int argc, char** argv)
{
    // Mesa reads this when the first context is made.
    qputenv("MESA_GL_VERSION_OVERRIDE", "2.0");
    QApplication application(argc, argv);
    GlVersionTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_glversion.moc"
