// The animation list against a stand-in for the viewport: rows per clip,
// the play/stop button's states, elapsed times and clearing.

#include "AnimationControlButton.h"
#include "AnimationListWidget.h"
#include "AnimationPlayback.h"
#include "VelmoraResources.h"

#include <QHeaderView>
#include <QLabel>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

class RecordingPlayback : public AnimationPlayback {
public:
    bool playAnimation(const QString& id) override { return record("play " + id) && m_playWorks; }
    bool pauseAnimation(const QString& id) override { return record("pause " + id); }
    bool stopAnimation(const QString& id) override { return record("stop " + id); }

    bool record(const QString& call)
    {
        calls << call;
        return true;
    }

    QStringList calls;
    bool m_playWorks = true;
};

QImage imageOf(const QIcon& icon) { return icon.pixmap(32, 32).toImage(); }

} // namespace

class AnimationListTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initVelmoraResources(); }
    void elapsedTimeFormat_data();
    void elapsedTimeFormat();
    void oneRowPerClip();
    void clickingPausesAndRestarts();
    void clipEndingByItselfShowsItsEndTime();
    void clearingResetsRowsAndIgnoresStaleClips();

private:
    static QWidget* row(AnimationListWidget& list, const QString& clip)
    {
        return list.findChild<QWidget*>(clip, Qt::FindChildrenRecursively);
    }
    static AnimationControlButton* button(AnimationListWidget& list, const QString& clip)
    {
        return list.findChild<AnimationControlButton*>(clip);
    }
    static QString time(AnimationListWidget& list, const QString& clip)
    {
        return button(list, clip)->parentWidget()->findChild<QLabel*>(QStringLiteral("0"))->text();
    }
};

void AnimationListTest::elapsedTimeFormat_data()
{
    QTest::addColumn<float>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0f << "00:00:00";
    QTest::newRow("one minute five") << 65432.0f << "01:05:43";
    QTest::newRow("under a second") << 999.0f << "00:00:99";
    QTest::newRow("fraction truncated") << 19.99f << "00:00:01";
    QTest::newRow("hour") << 3600000.0f << "60:00:00";
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

void AnimationListTest::oneRowPerClip()
{
    AnimationListWidget list(nullptr, nullptr);
    list.addItemToAnimations("walk");
    list.addItemToAnimations("run");
    list.addItemToAnimations("walk");
    QCOMPARE(list.rowCount(), 2);
    QCOMPARE(list.rowHeight(1), AnimationListWidget::clipRowHeight);
    QCOMPARE(row(list, "run")->toolTip(), QStringLiteral("run"));
    QCOMPARE(time(list, "run"), QStringLiteral("00:00:00"));
    // Without a viewport nothing can start.
    QTest::mouseClick(button(list, "walk"), Qt::LeftButton);
    QCOMPARE(button(list, "walk")->state(), AnimationControlButton::Stopped);
}

void AnimationListTest::clickingPausesAndRestarts()
{
    RecordingPlayback playback;
    AnimationListWidget list(nullptr, &playback);
    list.addItemToAnimations("walk");
    AnimationControlButton* walk = button(list, "walk");

    QTest::mouseClick(walk, Qt::LeftButton);
    QCOMPARE(playback.calls, (QStringList {"stop walk", "play walk"}));
    QCOMPARE(walk->state(), AnimationControlButton::Playing);
    QCOMPARE(imageOf(walk->icon()), imageOf(QIcon(":/ControlButton_Stop_Default")));

    list.updateElaspedTimeOfAnimation("walk", 1250);
    QCOMPARE(time(list, "walk"), QStringLiteral("00:01:25"));
    QTest::mouseClick(walk, Qt::LeftButton);
    QCOMPARE(playback.calls.last(), QStringLiteral("pause walk"));
    QCOMPARE(walk->state(), AnimationControlButton::Stopped);
    QCOMPARE(imageOf(walk->icon()), imageOf(QIcon(":/ControlButton_Play_Default")));

    // Clicking a paused clip starts it from its beginning; a play that fails
    // leaves the button as it was.
    playback.m_playWorks = false;
    playback.calls.clear();
    QTest::mouseClick(walk, Qt::LeftButton);
    QCOMPARE(playback.calls, (QStringList {"stop walk", "play walk"}));
    QCOMPARE(walk->state(), AnimationControlButton::Stopped);
}

void AnimationListTest::clipEndingByItselfShowsItsEndTime()
{
    AnimationListWidget list(nullptr, nullptr);
    list.addItemToAnimations("jump");
    list.animationStartedPlaying("jump");
    QCOMPARE(button(list, "jump")->state(), AnimationControlButton::Playing);
    list.updateElaspedTimeOfAnimation("jump", 400);
    list.animationFinishedPlaying("jump", 2033.3f);
    QCOMPARE(button(list, "jump")->state(), AnimationControlButton::Stopped);
    QCOMPARE(time(list, "jump"), QStringLiteral("00:02:03"));
    list.animationStartedPlaying("jump");
    QCOMPARE(time(list, "jump"), QStringLiteral("00:00:00"));
}

void AnimationListTest::clearingResetsRowsAndIgnoresStaleClips()
{
    AnimationListWidget list(nullptr, nullptr);
    list.addItemToAnimations("old1");
    list.addItemToAnimations("old2");
    list.clearAnimationModel();
    QCOMPARE(list.rowCount(), 0);
    QCOMPARE(list.horizontalHeaderItem(0)->text(), QStringLiteral("Animations"));

    // A clip of the previous model still running finds no row.
    list.animationStartedPlaying("old1");
    list.updateElaspedTimeOfAnimation("old1", 100);
    list.animationFinishedPlaying("old2", 100);

    list.addItemToAnimations("new");
    list.addItemToAnimations("old1");
    QCOMPARE(list.rowCount(), 2);
    QCOMPARE(list.cellWidget(0, 0)->objectName(), QStringLiteral("new"));
    QCOMPARE(time(list, "old1"), QStringLiteral("00:00:00"));
}

QTEST_MAIN(AnimationListTest)
#include "tst_animationlist.moc"
