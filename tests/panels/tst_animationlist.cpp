// The animation list against a stand-in for the viewport: rows per clip,
// the play/stop button's states, elapsed times and clearing.

#include "AnimationControlButton.h"
#include "AnimationListWidget.h"
#include "AnimationPlayback.h"
#include "VelmoraResources.h"

#include <QLabel>
#include <QtTest>

#include <limits>

namespace {

struct RecordingPlayback : public AnimationPlayback {
    bool playAnimation(const QString& id) override { return calls << "play " + id, playWorks; }
    bool pauseAnimation(const QString& id) override { return calls << "pause " + id, true; }
    bool stopAnimation(const QString& id) override { return calls << "stop " + id, true; }
    QStringList calls;
    bool playWorks = true;
};

AnimationControlButton* button(AnimationListWidget& list, const QString& clip)
{
    return list.findChild<AnimationControlButton*>(clip);
}

QString time(AnimationListWidget& list, const QString& clip)
{
    return button(list, clip)->parentWidget()->findChild<QLabel*>(QStringLiteral("0"))->text();
}

bool shows(AnimationControlButton* button, const char* icon)
{
    return button->icon().pixmap(32).toImage() == QIcon(icon).pixmap(32).toImage();
}

} // namespace

class AnimationListTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initVelmoraResources(); }
    void elapsedTimeFormat_data();
    void elapsedTimeFormat();
    void clickingPausesAndRestarts();
    void clearingStartsOver();
};

void AnimationListTest::elapsedTimeFormat_data()
{
    QTest::addColumn<float>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0f << "00:00:00";
    QTest::newRow("minute") << 65432.0f << "01:05:43";
    QTest::newRow("under a second") << 999.0f << "00:00:99";
    QTest::newRow("negative") << -500.0f << "00:00:00";
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << "00:00:00";
    QTest::newRow("beyond int") << 1e20f << "35791:23:64";
}

void AnimationListTest::elapsedTimeFormat()
{
    QFETCH(float, ms);
    QFETCH(QString, text);
    QCOMPARE(AnimationListWidget::formatElapsedTime(ms), text);
}

void AnimationListTest::clickingPausesAndRestarts()
{
    RecordingPlayback playback;
    AnimationListWidget list(nullptr, &playback);
    list.addItemToAnimations("walk");
    list.addItemToAnimations("walk");
    QCOMPARE(list.rowCount(), 1);
    AnimationControlButton* walk = button(list, "walk");

    QTest::mouseClick(walk, Qt::LeftButton);
    QCOMPARE(playback.calls, (QStringList {"stop walk", "play walk"}));
    QVERIFY(walk->state() == AnimationControlButton::Playing && shows(walk, ":/ControlButton_Stop_Default"));
    list.updateElaspedTimeOfAnimation("walk", 1250);
    QCOMPARE(time(list, "walk"), QStringLiteral("00:01:25"));
    QTest::mouseClick(walk, Qt::LeftButton);
    QCOMPARE(playback.calls.last(), QStringLiteral("pause walk"));
    QVERIFY(walk->state() == AnimationControlButton::Stopped && shows(walk, ":/ControlButton_Play_Default"));

    // A paused clip restarts from its beginning; a play that fails leaves the button.
    playback.playWorks = false;
    playback.calls.clear();
    QTest::mouseClick(walk, Qt::LeftButton);
    QCOMPARE(playback.calls, (QStringList {"stop walk", "play walk"}));
    QCOMPARE(walk->state(), AnimationControlButton::Stopped);
}

void AnimationListTest::clearingStartsOver()
{
    AnimationListWidget list(nullptr, nullptr);
    list.addItemToAnimations("jump");
    // A clip of the previous model still running finds no row.
    list.clearAnimationModel();
    QCOMPARE(list.rowCount(), 0);
    QCOMPARE(list.horizontalHeaderItem(0)->text(), QStringLiteral("Animations"));
    list.animationStartedPlaying("jump");
    list.updateElaspedTimeOfAnimation("jump", 100);
    list.addItemToAnimations("new");
    QCOMPARE(list.rowCount(), 1);
    QCOMPARE(list.cellWidget(0, 0)->objectName(), QStringLiteral("new"));
}

QTEST_MAIN(AnimationListTest)
#include "tst_animationlist.moc"
