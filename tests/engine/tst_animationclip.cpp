// Clip timing driven through the animation controller with chosen elapsed
// times: repeats and loop blends, backwards play and the clock wrapping
// round, cross-fades, listeners, and the lifetime rules
// between targets, animations, clips and the controller. Then animations and
// clips defined in properties text ("model.animation" files and "animation"
// namespaces), well-formed, malformed and hostile.

#include "Animation.h"
#include "AnimationChannel.h"
#include "AnimationClip.h"
#include "AnimationController.h"
#include "AnimationTarget.h"
#include "ChannelValue.h"
#include "Curve.h"
#include "Properties.h"
#include "Transform.h"

#include "EngineTestSupport.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace engine;

namespace {

// One float property; remembers what the clips wrote into it.
class ScalarTarget : public AnimationTarget {
public:
    ScalarTarget()
        : AnimationTarget(SCALAR)
    {
    }

    int animationPropertyComponentCount(int propertyId) const override
    {
        return propertyId == ANIMATE_UNIFORM ? 1 : -1;
    }
    void animationPropertyValue(int, ChannelValue& value) const override { value[0] = current; }
    void setAnimationPropertyValue(int, const ChannelValue& value, float blendWeight) override
    {
        current += (value[0] - current) * blendWeight;
        written = value[0];
        weight = blendWeight;
        ++writes;
    }

    float current = 0.0f;
    float written = -1.0f;
    float weight = -1.0f;
    int writes = 0;
};

using Events = std::vector<std::string>;

// Records events; may also remove itself on begin or replay the clip on end,
// as listeners are allowed to.
class EventLog : public AnimationClip::Listener {
public:
    EventLog() = default;
    explicit EventLog(AnimationClip* clip)
    {
        clip->addBeginListener(this);
        clip->addEndListener(this);
    }
    void clipEvent(AnimationClip* clip, EventType type) override
    {
        events.push_back(std::string(type == BEGIN ? "begin:" : "end:") + clip->id());
        if (type == BEGIN && removeOnBegin)
            clip->removeBeginListener(this);
        if (type == END && replays-- > 0)
            clip->play();
    }
    Events events;
    bool removeOnBegin = false;
    int replays = 0;
};

// Ramp whose value equals the animation time in ms; the target's channel
// keeps the animation alive.
Animation* ramp(AnimationTarget& target, const char* id, unsigned int length = 1000, int property = ANIMATE_UNIFORM)
{
    const unsigned int times[2] = {0, length};
    const float values[2] = {0.0f, float(length)};
    Animation* animation = target.createAnimation(id, property, 2, times, values, Curve::LINEAR);
    if (animation)
        animation->release();
    return animation;
}

// The first namespace of a text, owned by the returned root.
struct Parsed {
    explicit Parsed(const std::string& text)
        : root(Properties::createFromText(text.data(), text.size()))
    {
    }
    Properties* first() const { return root && root->namespaceCount() ? root->namespaceAt(0) : nullptr; }
    std::unique_ptr<Properties> root;
};

bool near(float a, float b, float tolerance = 0.01f) { return std::fabs(a - b) <= tolerance; }

} // namespace

class AnimationClipTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void repeatsBlendBackToTheStart();
    void indefiniteLoopKeepsTimeForHours();
    void backwardsPlayWrapsRound();
    void crossFadeShiftsWeightsOverTime();
    void listenersMayChangeThingsWhileCalled();
    void keysAtOneTimeNeedNoDivision();
    void targetsAndAnimationsGoingAwayWhilePlaying();
    void controllerIgnoresNonsenseFrameTimes();

    void clipDefinitions_data();
    void clipDefinitions();
    void definitionsReadTheSameUnderACommaLocale();
    void incompleteNamespacesMakeNoAnimation_data();
    void incompleteNamespacesMakeNoAnimation();

private:
    std::string writeFile(const char* name, const std::string& text);

    AnimationController* m_controller = nullptr;
    QTemporaryDir* m_dir = nullptr;
};

void AnimationClipTest::init()
{
    m_controller = new AnimationController();
    AnimationController::setCurrent(m_controller);
    m_controller->start();
    m_dir = new QTemporaryDir();
}

void AnimationClipTest::cleanup()
{
    AnimationController::setCurrent(nullptr);
    delete m_controller;
    delete m_dir;
}

std::string AnimationClipTest::writeFile(const char* name, const std::string& text)
{
    return enginetest::writeFile(m_dir->filePath(name).toStdString(), text);
}

void AnimationClipTest::repeatsBlendBackToTheStart()
{
    ScalarTarget target;
    AnimationClip* clip = ramp(target, "walk")->findClip();
    clip->setRepeatCount(2.5f);
    clip->setLoopBlendTime(200.0f);
    QCOMPARE(clip->activeDuration(), 2900u); // 2500 + ceil(1.5) * 200
    EventLog log;
    clip->addEndListener(&log);
    clip->play();
    m_controller->update(0.0f);
    // The ramp within a repeat, then a linear blend from the end value (1000)
    // back to the start value (0) over 200 ms.
    auto expected = [](int t) {
        const int p = t % 1200;
        return p <= 1000 ? float(p) : 1000.0f * (1.0f - (p - 1000) / 200.0f);
    };
    for (int t = 50; t < 2900; t += 50) {
        m_controller->update(50.0f);
        QVERIFY2(near(target.written, expected(t), 0.05f),
                 qPrintable(QString("t=%1: %2, expected %3").arg(t).arg(target.written).arg(expected(t))));
        QVERIFY(log.events.empty());
    }
    m_controller->update(50.0f); // half-way through the third repeat
    QCOMPARE(log.events.size(), size_t(1));
    QVERIFY(near(target.written, 500.0f));
}

// One hour of 60 Hz frames: the clip must still show the time it should.
void AnimationClipTest::indefiniteLoopKeepsTimeForHours()
{
    ScalarTarget target;
    AnimationClip* clip = ramp(target, "loop")->findClip();
    clip->setRepeatCount(0.0f);
    clip->play();
    m_controller->update(0.0f);
    const float frame = 1000.0f / 60.0f;
    const int frames = 60 * 60 * 60 + 7;
    for (int i = 0; i < frames; ++i)
        m_controller->update(frame);
    const double expected = std::fmod(double(frame) * frames, 1000.0);
    QVERIFY2(std::fabs(target.written - expected) < 1.0,
             qPrintable(QString("at %1 ms instead of %2").arg(target.written).arg(expected)));
    QVERIFY(clip->elapsedTime() < 1000.0f);
}

void AnimationClipTest::backwardsPlayWrapsRound()
{
    // Once: starts at the end and finishes holding the start.
    ScalarTarget back;
    AnimationClip* reverse = ramp(back, "back")->findClip();
    reverse->setSpeed(-1.0f);
    EventLog log(reverse);
    reverse->play();
    m_controller->update(0.0f);
    QCOMPARE(back.written, 1000.0f); // the end pose first
    m_controller->update(100.0f);
    QVERIFY(near(back.written, 900.0f));
    m_controller->update(900.0f);
    QCOMPARE(back.written, 0.0f);
    QCOMPARE(log.events, (Events {"begin:default_clip", "end:default_clip"}));

    // Indefinitely: wraps round, even with frames longer than the clip and
    // on the very first frame.
    reverse->setRepeatCount(0.0f);
    reverse->play();
    m_controller->update(2300.0f); // 1000 - 2300 wraps round to 700
    QVERIFY(near(back.written, 700.0f, 0.1f));
    m_controller->update(7500.0f); // 700 - 7500 wraps round to 200
    QVERIFY(near(back.written, 200.0f, 0.1f));
    // Speed 0 holds the pose; it neither advances nor finishes the clip.
    reverse->setSpeed(0.0f);
    m_controller->update(1000.0f);
    QVERIFY(near(back.written, 200.0f, 0.1f));
    QVERIFY(reverse->isPlaying());
}

void AnimationClipTest::crossFadeShiftsWeightsOverTime()
{
    ScalarTarget first;
    ScalarTarget second;
    AnimationClip* a = ramp(first, "walk")->createClip("a", 0, 1000);
    AnimationClip* b = ramp(second, "run")->createClip("b", 0, 1000);
    a->setRepeatCount(0.0f);
    b->setRepeatCount(0.0f);
    EventLog log;
    a->addEndListener(&log);
    b->addBeginListener(&log);

    a->play();
    m_controller->update(100.0f);
    a->crossFade(b, 1000);
    m_controller->update(250.0f);
    QVERIFY(near(first.weight, 0.75f, 1e-5f));
    QVERIFY(near(second.weight, 0.25f, 1e-5f));
    QVERIFY(near(second.written, 250.0f)); // b plays from its own start
    m_controller->update(750.0f);
    QCOMPARE(b->blendWeight(), 1.0f);
    QVERIFY(!a->isPlaying());
    QCOMPARE(log.events, (Events {"begin:b", "end:a"}));

    // Stopping a clip in the middle of a fade hands the other its full weight.
    b->crossFade(a, 1000);
    m_controller->update(100.0f);
    b->stop();
    m_controller->update(100.0f);
    QCOMPARE(a->blendWeight(), 1.0f);
}

void AnimationClipTest::listenersMayChangeThingsWhileCalled()
{
    ScalarTarget target;
    AnimationClip* clip = ramp(target, "walk")->findClip();
    EventLog selfRemoving;
    selfRemoving.removeOnBegin = true;
    EventLog log;
    clip->addBeginListener(&selfRemoving);
    clip->addBeginListener(&log);
    EventLog replay;
    replay.replays = 1;
    clip->addEndListener(&replay);

    clip->play();
    m_controller->update(0.0f);
    QCOMPARE(selfRemoving.events.size(), size_t(1));
    QCOMPARE(log.events.size(), size_t(1)); // the next listener still heard it

    // Played again from its end listener: it runs again from the start.
    m_controller->update(1000.0f);
    QVERIFY(clip->isPlaying());
    m_controller->update(100.0f);
    QVERIFY(near(target.written, 100.0f));
    m_controller->update(1000.0f);
    QVERIFY(!clip->isPlaying());
    QCOMPARE(m_controller->runningClipCount(), 0u);
}

void AnimationClipTest::keysAtOneTimeNeedNoDivision()
{
    // Keys that all sit at one time: no division by zero.
    ScalarTarget owner;
    Animation* both = ramp(owner, "both");
    ScalarTarget target;
    const unsigned int same[3] = {200, 200, 200};
    const float values[3] = {1.0f, 2.0f, 3.0f};
    AnimationChannel* channel = both->addChannel(&target, ANIMATE_UNIFORM, 3, same, values, Curve::LINEAR);
    QVERIFY(channel);
    QCOMPARE(channel->curve()->pointTime(1), 0.0f);
    QCOMPARE(channel->curve()->pointTime(2), 1.0f);
}

void AnimationClipTest::targetsAndAnimationsGoingAwayWhilePlaying()
{
    auto* target = new ScalarTarget();
    auto* survivor = new Transform();
    Animation* animation = ramp(*target, "walk");
    // A second channel on another target, with a different value size, so
    // that the clip's per-channel values must stay in step; its rotation
    // (0 to 90 degrees about z) sits inside the scale-rotate-translate value.
    const unsigned int times[2] = {0, 1000};
    const float h = float(std::sqrt(0.5));
    const float trs[20] = {1, 1, 1, 0, 0, 0, 1, 0, 0, 0, 2, 2, 2, 0, 0, h, h, 10, 20, 30};
    QVERIFY(animation->addChannel(survivor, ANIMATE_SCALE_ROTATE_TRANSLATE, 2, times, trs, Curve::LINEAR));
    AnimationClip* clip = animation->findClip();
    AnimationClip* kept = animation->createClip("kept", 0, 500);
    kept->addRef();
    clip->play();
    kept->play();
    m_controller->update(100.0f);

    delete target;
    QCOMPARE(animation->channelCount(), 1u);
    m_controller->update(400.0f);
    QVERIFY(near(survivor->getTranslation().x, 5.0f, 1e-3f));
    QVERIFY(near(survivor->getScale().y, 1.5f, 1e-4f));
    QVERIFY(near(survivor->getRotation().z, float(std::sin(M_PI / 8)), 1e-5f));

    // Dropping the last target destroys the animation and takes its clip
    // out of the controller; a clip kept beyond it does nothing.
    delete survivor;
    QCOMPARE(m_controller->runningClipCount(), 0u);
    QVERIFY(!kept->animation());
    kept->play();
    kept->pause();
    kept->stop();
    m_controller->update(100.0f);
    QCOMPARE(m_controller->runningClipCount(), 0u);
    kept->release();
}

void AnimationClipTest::controllerIgnoresNonsenseFrameTimes()
{
    ScalarTarget target;
    AnimationClip* clip = ramp(target, "walk")->findClip();
    EventLog log;
    clip->addEndListener(&log);
    clip->play();
    m_controller->update(30.0f);
    for (float elapsed : {std::nanf(""), -500.0f, std::numeric_limits<float>::infinity()})
        m_controller->update(elapsed);
    QVERIFY(near(target.written, 30.0f));
    m_controller->update(20.0f);
    QVERIFY(near(target.written, 50.0f));
    // Shutting down stops every clip and tells nobody.
    m_controller->stop();
    QCOMPARE(m_controller->runningClipCount(), 0u);
    QVERIFY(!clip->isPlaying());
    QVERIFY(log.events.empty());
}

void AnimationClipTest::clipDefinitions_data()
{
    // Clips of a 2000 ms animation of 30 frames; start -1: no clip made.
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<uint>("activeDuration");
    QTest::newRow("frames to times, the blend in every cycle")
        << "begin = 15\n end = 30\n repeatCount = INDEFINITE\n loopBlendTime = 100" << 1000 << 2000 << 1100u;
    QTest::newRow("times truncated, repeats rounded")
        << "begin = 10\n end = 20\n repeatCount = 2.5\n speed = -0.5" << 666 << 1333 << 1667u;
    QTest::newRow("end beyond any integer") << "begin = 0\n end = 99999999999999999999" << 0 << 2000 << 2000u;
    QTest::newRow("reversed") << "begin = 20\n end = 10" << -1 << 0 << 0u;
    QTest::newRow("nonsense values") << "begin = 0\n end = 30\n repeatCount = -3\n speed = nan\n loopBlendTime = -5"
                                     << 0 << 2000 << 2000u;
    QTest::newRow("indefinite with a huge blend")
        << "begin = 0\n end = 30\n repeatCount = INDEFINITE\n loopBlendTime = 1e30" << 0 << 2000 << 4294967295u;
}

void AnimationClipTest::clipDefinitions()
{
    QFETCH(QString, body);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(uint, activeDuration);
    Transform target;
    Animation* animation = ramp(target, "walk", 2000, ANIMATE_TRANSLATE_X);
    const std::string path = writeFile("model.animation",
                                       "animation walk\n{\n frameCount = 30\n clip c\n {\n " + body.toStdString()
                                           + "\n }\n clip\n {\n begin = 0\n end = 3\n }\n}\n");
    QVERIFY(animation->defineClips(path.c_str()));
    QVERIFY(animation->findClip("")); // a clip without id is kept
    AnimationClip* clip = animation->findClip("c");
    QCOMPARE(clip != nullptr, start >= 0);
    if (!clip)
        return;
    QCOMPARE(int(clip->startTime()), start);
    QCOMPARE(int(clip->endTime()), end);
    QCOMPARE(clip->activeDuration(), activeDuration);
    QVERIFY(std::isfinite(clip->speed()) && clip->repeatCount() >= 0.0f);
    // It plays its own part of the time line, whatever the values.
    clip->play();
    m_controller->update(250.0f);
    const float expected = float(start) + 250.0f * std::fabs(clip->speed());
    QVERIFY2(clip->speed() < 0 || near(target.getTranslationX(), expected, 0.5f),
             qPrintable(QString::number(target.getTranslationX())));
    for (int frame = 0; frame < 10; ++frame)
        m_controller->update(frame % 2 ? 16.0f : 1000.0f);
    QVERIFY(std::isfinite(target.getTranslationX()));
}

void AnimationClipTest::definitionsReadTheSameUnderACommaLocale()
{
    enginetest::CommaLocale comma(m_dir->path());
    if (!comma.active)
        QSKIP("no locale with a decimal comma can be installed here");
    Transform target;
    Parsed parsed("animation a\n{\n property = ANIMATE_TRANSLATE_X\n keyCount = 2\n keyTimes = 0 1000\n"
                  " keyValues = 0.5 10.5\n curve = LINEAR\n repeatCount = 1.5\n}\n");
    Animation* animation = target.createAnimation("a", parsed.first());
    QVERIFY(animation);
    QCOMPARE(animation->findClip()->repeatCount(), 1.5f);
    animation->findClip()->play();
    m_controller->update(500.0f);
    QVERIFY(near(target.getTranslationX(), 5.5f, 1e-4f));
    animation->release();
}

void AnimationClipTest::incompleteNamespacesMakeNoAnimation_data()
{
    QTest::addColumn<QString>("text");
    const QString base = "property = ANIMATE_TRANSLATE_X\n keyCount = 3\n keyTimes = 0 500 1000\n"
                         " keyValues = 0 5 20\n curve = LINEAR\n";
    auto with = [&](const char* from, const char* to) {
        return "animation a\n{\n" + QString(base).replace(from, to) + "}\n";
    };
    QTest::newRow("unknown property") << with("ANIMATE_TRANSLATE_X", "ANIMATE_WOBBLE");
    QTest::newRow("scalar property on a transform") << with("ANIMATE_TRANSLATE_X", "ANIMATE_UNIFORM");
    QTest::newRow("keyCount huge") << with("keyCount = 3", "keyCount = 2147483647");
    QTest::newRow("time with junk") << with("0 500 1000", "0 500ms 1000");
    QTest::newRow("times backwards") << with("0 500 1000", "0 1000 500");
    QTest::newRow("value nan") << with("0 5 20", "0 nan 20");
    QTest::newRow("tangents short") << "animation a\n{\n" + base + " keyIn = 0 0\n}\n";
}

void AnimationClipTest::incompleteNamespacesMakeNoAnimation()
{
    QFETCH(QString, text);
    Transform target;
    Parsed parsed(text.toStdString());
    QVERIFY(parsed.first());
    QVERIFY(!target.createAnimation("a", parsed.first()));
    QCOMPARE(target.channelCount(), 0u);
    QVERIFY(!target.createAnimation("a", nullptr));
}

QTEST_APPLESS_MAIN(AnimationClipTest)
#include "tst_animationclip.moc"
