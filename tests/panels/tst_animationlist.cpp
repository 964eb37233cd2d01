// The animation list against a stand-in for the viewport: rows per clip,
// the play/stop button's states, elapsed times and clearing.

#include "AnimationControlButton.h"
#include "AnimationListWidget.h"
#include "AnimationPlayback.h"
#include "AnimationTimeline.h"
#include "VelmoraResources.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <limits>

namespace {

struct RecordingPlayback : public AnimationPlayback {
    bool playAnimation(const QString& id) override { return calls << "play " + id, playWorks; }
    bool pauseAnimation(const QString& id) override { return calls << "pause " + id, true; }
    bool stopAnimation(const QString& id) override { return calls << "stop " + id, true; }
    bool seekAnimation(const QString& id, float ms) override
    {
        return calls << QString("seek %1 %2").arg(id).arg(ms), true;
    }
    bool setAnimationLooping(const QString& id, bool on) override
    {
        return calls << QString("loop %1 %2").arg(id).arg(on), true;
    }
    float animationLength(const QString& id) const override { return id == "walk" ? 2000.0f : 700.0f; }
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
    void timelineDrivesTheChosenClip();
};

void AnimationListTest::elapsedTimeFormat_data()
{
    QTest::addColumn<float>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0f << "0:00.00";
    QTest::newRow("minute") << 65432.0f << "1:05.43";
    QTest::newRow("under a second") << 999.0f << "0:00.99";
    QTest::newRow("negative") << -500.0f << "0:00.00";
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << "0:00.00";
    QTest::newRow("beyond int") << 1e20f << "35791:23.64";
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
    QCOMPARE(time(list, "walk"), QStringLiteral("0:00.00 / 0:02.00")); // the length before it first plays

    QTest::mouseClick(walk, Qt::LeftButton);
    QCOMPARE(playback.calls, (QStringList {"stop walk", "play walk"}));
    QVERIFY(walk->state() == AnimationControlButton::Playing && shows(walk, ":/ControlButton_Stop_Default"));
    list.updateElaspedTimeOfAnimation("walk", 1250);
    QCOMPARE(time(list, "walk"), QStringLiteral("0:01.25 / 0:02.00"));
    list.updateElaspedTimeOfAnimation("walk", 4250); // a repeat shows its place in the cycle
    QCOMPARE(time(list, "walk"), QStringLiteral("0:00.25 / 0:02.00"));
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

void AnimationListTest::timelineDrivesTheChosenClip()
{
    RecordingPlayback playback;
    AnimationTimeline timeline(nullptr, &playback);
    timeline.addClip("walk");
    timeline.addClip("run");
    QCOMPARE(timeline.clip(), QStringLiteral("walk"));
    QCOMPARE(timeline.slider()->maximum(), 2000);
    QCOMPARE(timeline.timeLabel()->text(), QStringLiteral("0:00.00 / 0:02.00"));

    // Dragging poses the clip; the clip running on does not move the slider
    // under the hand, only after it lets go.
    QSlider* slider = timeline.slider();
    slider->setSliderDown(true);
    slider->setSliderPosition(500);
    QCOMPARE(playback.calls, QStringList {"seek walk 500"});
    timeline.clipAdvanced("walk", 900);
    QCOMPARE(slider->value(), 500);
    slider->setSliderDown(false);
    timeline.clipAdvanced("walk", 2900);
    QCOMPARE(slider->value(), 900);
    QCOMPARE(timeline.timeLabel()->text(), QStringLiteral("0:00.90 / 0:02.00"));

    // A standing clip plays from the slider, then pauses; both are announced.
    QSignalSpy announced(&timeline, &AnimationTimeline::clipPlayingChanged);
    playback.calls.clear();
    QTest::mouseClick(timeline.playButton(), Qt::LeftButton);
    QTest::mouseClick(timeline.playButton(), Qt::LeftButton);
    QCOMPARE(playback.calls, (QStringList {"play walk", "seek walk 900", "pause walk"}));
    QCOMPARE(announced.count(), 2);
    QCOMPARE(announced.at(1), (QVariantList {"walk", false}));

    // Looping belongs to its clip.
    timeline.loopBox()->click();
    timeline.chooseClip("run");
    QVERIFY(!timeline.loopBox()->isChecked());
    QCOMPARE(slider->maximum(), 700);
    timeline.chooseClip("walk");
    QVERIFY(timeline.loopBox()->isChecked());
    QCOMPARE(playback.calls.mid(3), QStringList {"loop walk 1"});

    // Started from the list, the clip becomes the one shown.
    timeline.clipStarted("run");
    QCOMPARE(timeline.clip(), QStringLiteral("run"));
    QCOMPARE(timeline.playButton()->text(), QStringLiteral("Pause"));
    timeline.chooseClip("walk"); // paused above, where it was left
    QCOMPARE(timeline.playButton()->text(), QStringLiteral("Play"));
    QCOMPARE(slider->value(), 900);
    // The groove moves a tenth of the clip, an arrow key a frame; the list hears of each.
    QSignalSpy sought(&timeline, &AnimationTimeline::clipSought);
    slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
    timeline.stepFrames(-1);
    QCOMPARE(slider->value(), 1067);
    QCOMPARE(sought.count(), 2);
    QCOMPARE(sought.at(1), (QVariantList {"walk", 1067.0f}));
    timeline.chooseClip("run");
    timeline.clipFinished("run", 700);
    QCOMPARE(timeline.timeLabel()->text(), QStringLiteral("0:00.70 / 0:00.70"));
    timeline.clearClips();
    QVERIFY(timeline.clip().isEmpty() && !slider->isEnabled());
}

QTEST_MAIN(AnimationListTest)
#include "tst_animationlist.moc"
