// Clip timing driven through the animation controller with chosen elapsed
// times: repeats and loop blends, speed (backwards too), pause and resume,
// restart, stop, cross-fades, listeners, channel time mapping, and the
// lifetime rules between targets, animations, clips and the controller.
// Then animations and clips defined in properties text ("model.animation"
// files and "animation" namespaces), well-formed, malformed and hostile.

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
#include <random>
#include <stdexcept>
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

    void defaultClipPlaysOnceAndAgain();
    void repeatsBlendBackToTheStart();
    void indefiniteLoopKeepsTimeForHours();
    void speedScalesAndReversesTime();
    void pauseRestartAndStop();
    void crossFadeShiftsWeightsOverTime();
    void listenersMayChangeThingsWhileCalled();
    void channelsMapClipTimeOntoTheirOwnKeys();
    void refusedKeysAndClipLookup();
    void targetsAndAnimationsGoingAwayWhilePlaying();
    void controllerStateAndShutDown();
    void cloningReusesAnimationsWithinOnePass();

    void clipsFromFrameRanges();
    void clipsMatchTheAnimationById();
    void hostileClipDefinitionsStayInRange();
    void animationFromANamespace();
    void definitionsReadTheSameUnderACommaLocale();
    void incompleteNamespacesMakeNoAnimation_data();
    void incompleteNamespacesMakeNoAnimation();
    void mutatedDefinitionsNeverCrash();

private:
    std::string writeFile(const char* name, const std::string& text);
    bool playDefinition(Transform& target, const std::string& text, float elapsed);

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

// Reads the first namespace of 'text' into an animation of 'target' and plays
// its default clip for 'elapsed' ms; false when no animation came of it.
bool AnimationClipTest::playDefinition(Transform& target, const std::string& text, float elapsed)
{
    Parsed parsed(text);
    Animation* animation = target.createAnimation(parsed.first() ? parsed.first()->getId() : "", parsed.first());
    if (!animation)
        return false;
    animation->findClip()->play();
    m_controller->update(elapsed);
    animation->release();
    return true;
}

void AnimationClipTest::defaultClipPlaysOnceAndAgain()
{
    ScalarTarget target;
    AnimationClip* clip = ramp(target, "walk")->findClip();
    EventLog log(clip);

    clip->play();
    m_controller->update(0.0f);
    QCOMPARE(log.events, Events {"begin:default_clip"});
    m_controller->update(999.0f);
    QVERIFY(near(target.written, 999.0f));
    m_controller->update(1.0f);
    QCOMPARE(target.written, 1000.0f);
    QCOMPARE(log.events, (Events {"begin:default_clip", "end:default_clip"}));
    QVERIFY(!clip->isPlaying());
    QCOMPARE(m_controller->state(), AnimationController::IDLE);

    // A finished clip plays again from its start.
    clip->play();
    m_controller->update(40.0f);
    QVERIFY(near(target.written, 40.0f));

    // Made before any controller exists, it binds to the current one when played.
    AnimationController::setCurrent(nullptr);
    ScalarTarget early;
    AnimationClip* unbound = ramp(early, "early")->findClip();
    unbound->play();
    QVERIFY(!unbound->isPlaying());
    AnimationController::setCurrent(m_controller);
    unbound->play();
    m_controller->update(100.0f);
    QVERIFY(near(early.written, 100.0f));
}

void AnimationClipTest::repeatsBlendBackToTheStart()
{
    ScalarTarget target;
    Animation* animation = ramp(target, "walk");
    AnimationClip* clip = animation->findClip();
    clip->setRepeatCount(2.5f);
    clip->setLoopBlendTime(200.0f);
    QCOMPARE(clip->activeDuration(), 2900u); // 2500 + ceil(1.5) * 200
    // Setting the blend after the repeat count gives the same total.
    AnimationClip* other = animation->createClip("other", 0, 1000);
    other->setRepeatCount(2.5f);
    other->setLoopBlendTime(200.0f);
    QCOMPARE(other->activeDuration(), 2900u);
    // Nonsense values leave the clip usable.
    other->setRepeatCount(-3.0f);
    other->setRepeatCount(std::nanf(""));
    other->setLoopBlendTime(-50.0f);
    QCOMPARE(other->activeDuration(), 2500u);
    other->setRepeatCount(1e30f);
    QCOMPARE(other->activeDuration(), 4294967295u);
    other->setSpeed(std::numeric_limits<float>::infinity());
    QCOMPARE(other->speed(), 1.0f);

    EventLog log;
    clip->addEndListener(&log);
    clip->play();
    m_controller->update(0.0f);

    // Expected value at time t: the ramp within a repeat, then a linear blend
    // from the end value (1000) back to the start value (0) over 200 ms.
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
    m_controller->update(50.0f); // t = 2900: half-way through the third repeat
    QCOMPARE(log.events.size(), size_t(1));
    QVERIFY(near(target.written, 500.0f));
}

void AnimationClipTest::speedScalesAndReversesTime()
{
    ScalarTarget target;
    AnimationClip* clip = ramp(target, "walk")->findClip();
    clip->setSpeed(2.0f);
    clip->play();
    m_controller->update(100.0f);
    QVERIFY(near(target.written, 200.0f));
    clip->setSpeed(0.5f);
    m_controller->update(100.0f);
    QVERIFY(near(target.written, 250.0f));
    // Speed 0 holds the pose; it neither advances nor finishes the clip.
    clip->setSpeed(0.0f);
    m_controller->update(1000.0f);
    QVERIFY(near(target.written, 250.0f));

    // Backwards: starts at the end and finishes holding the start.
    ScalarTarget back;
    AnimationClip* reverse = ramp(back, "back")->findClip();
    reverse->setSpeed(-1.0f);
    EventLog log(reverse);
    reverse->play();
    m_controller->update(100.0f);
    QVERIFY(near(back.written, 900.0f));
    m_controller->update(900.0f);
    QCOMPARE(back.written, 0.0f);
    QCOMPARE(log.events, (Events {"begin:default_clip", "end:default_clip"}));

    // Backwards and indefinitely wraps round, even with frames longer than
    // the clip and even on the very first frame.
    reverse->setRepeatCount(0.0f);
    reverse->play();
    m_controller->update(2300.0f); // 1000 - 2300 wraps round to 700
    QVERIFY(near(back.written, 700.0f, 0.1f));
    m_controller->update(7500.0f); // 700 - 7500 wraps round to 200
    QVERIFY(near(back.written, 200.0f, 0.1f));
    QCOMPARE(log.events.size(), size_t(3));
}

void AnimationClipTest::pauseRestartAndStop()
{
    ScalarTarget target;
    AnimationClip* clip = ramp(target, "walk")->findClip();
    EventLog log(clip);
    clip->stop(); // not playing: nothing happens
    QVERIFY(log.events.empty());

    // Paused clips write nothing; resuming sends no second begin event.
    clip->play();
    m_controller->update(100.0f);
    clip->pause();
    const int writes = target.writes;
    m_controller->update(500.0f);
    QCOMPARE(target.writes, writes);
    clip->play();
    m_controller->update(100.0f);
    QVERIFY(near(target.written, 200.0f));
    QCOMPARE(log.events, Events {"begin:default_clip"});

    // Played while playing: ends and begins afresh.
    clip->play();
    m_controller->update(100.0f);
    QVERIFY(near(target.written, 100.0f));
    QCOMPARE(log.events, (Events {"begin:default_clip", "end:default_clip", "begin:default_clip"}));

    // Stopped and played again before the next frame: also a restart.
    clip->stop();
    clip->play();
    m_controller->update(50.0f);
    QVERIFY(near(target.written, 50.0f));
    QCOMPARE(log.events.size(), size_t(5));

    // Stopped: ends at the next frame without writing another value.
    clip->stop();
    const int before = target.writes;
    m_controller->update(100.0f);
    QCOMPARE(target.writes, before);
    QCOMPARE(log.events.back(), std::string("end:default_clip"));
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

    // From an idle clip a cross-fade just plays the target.
    a->crossFade(b, 500);
    a->crossFade(nullptr, 500);
    QVERIFY(b->isPlaying());
    b->stop();
    m_controller->update(0.0f);
    log.events.clear();

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
    QVERIFY(a->blendWeight() < 0.5f);
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

void AnimationClipTest::channelsMapClipTimeOntoTheirOwnKeys()
{
    // Keys from 500 to 1500 ms: the channel starts at 500 and lasts 1000,
    // and the default clip plays it from its first key.
    ScalarTarget late;
    const unsigned int times[3] = {500, 1000, 1500};
    const float values[3] = {5.0f, 10.0f, 15.0f};
    Animation* animation = late.createAnimation("late", ANIMATE_UNIFORM, 3, times, values, Curve::LINEAR);
    animation->findClip()->play();
    m_controller->update(250.0f);
    QVERIFY(near(late.written, 7.5f));
    animation->release();

    // Two channels with different starts share one clip time line.
    ScalarTarget early;
    ScalarTarget shifted;
    Animation* both = ramp(early, "both");
    const unsigned int shiftedTimes[2] = {500, 1500};
    const float shiftedValues[2] = {0.0f, 100.0f};
    QVERIFY(both->addChannel(&shifted, ANIMATE_UNIFORM, 2, shiftedTimes, shiftedValues, Curve::LINEAR));
    both->createClip("part", 600, 1500)->play();
    m_controller->update(150.0f); // clip time 150 = animation time 750
    QVERIFY(near(early.written, 750.0f));
    QVERIFY(near(shifted.written, 25.0f));

    // A single key always yields its value.
    ScalarTarget pose;
    Animation* still = pose.createAnimation("pose", ANIMATE_UNIFORM, 1, &times[0], &values[0], Curve::BOUNCE_IN);
    still->findClip()->setRepeatCount(0.0f);
    still->findClip()->play();
    for (float dt : {0.0f, 17.0f, 1000.0f}) {
        m_controller->update(dt);
        QCOMPARE(pose.written, 5.0f);
    }
    still->release();
}

void AnimationClipTest::refusedKeysAndClipLookup()
{
    ScalarTarget target;
    const unsigned int times[3] = {0, 500, 1000};
    const float values[3] = {1.0f, 2.0f, 3.0f};
    // A property the target does not have makes no channel.
    QVERIFY(!target.createAnimation("x", ANIMATE_ROTATE, 3, times, values, Curve::LINEAR));

    Animation* animation = Animation::create("manual");
    QVERIFY(!animation->addChannel(&target, ANIMATE_UNIFORM, 0, times, values, Curve::LINEAR));
    QVERIFY(!animation->addChannel(&target, ANIMATE_UNIFORM, 3, nullptr, values, Curve::LINEAR));
    QVERIFY(!animation->addChannel(nullptr, ANIMATE_UNIFORM, 3, times, values, Curve::LINEAR));
    QVERIFY(!animation->addChannel(&target, ANIMATE_UNIFORM, 3, times, values, nullptr, values, Curve::HERMITE));
    const unsigned int backwards[3] = {0, 700, 500};
    QVERIFY(!animation->addChannel(&target, ANIMATE_UNIFORM, 3, backwards, values, Curve::LINEAR));
    QCOMPARE(target.channelCount(), 0u);

    // A first key at 1 000 000 000 ms or more means "from 0" in key data
    // without tangents.
    const unsigned int unset[3] = {1000000000u, 500, 1000};
    AnimationChannel* channel = animation->addChannel(&target, ANIMATE_UNIFORM, 3, unset, values, Curve::LINEAR);
    QVERIFY(channel);
    QCOMPARE(channel->start(), 0u);
    QCOMPARE(channel->duration(), 1000u);

    // All keys at one time: no division by zero, every point at a sane time.
    const unsigned int same[3] = {200, 200, 200};
    channel = animation->addChannel(&target, ANIMATE_UNIFORM, 3, same, values, Curve::LINEAR);
    QVERIFY(channel);
    QCOMPARE(channel->duration(), 0u);
    QCOMPARE(channel->curve()->pointTime(1), 0.0f);
    QCOMPARE(channel->curve()->pointTime(2), 1.0f);

    // Of two clips with one id the first is found; clips cannot run
    // backwards; the default clip is not listed.
    AnimationClip* run = animation->createClip("run", 100, 400);
    animation->createClip("run", 0, 10);
    QCOMPARE(animation->findClip("run"), run);
    QVERIFY(!animation->createClip("backwards", 400, 100));
    QVERIFY(!animation->findClip("default_clip"));
    try {
        animation->clipAt(2);
        QFAIL("no range error");
    } catch (const std::out_of_range& e) {
        QCOMPARE(QString(e.what()), QString("invalid vector<T> subscript"));
    }
    animation->release();
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
    QVERIFY(near(survivor->getRotation().w, float(std::cos(M_PI / 8)), 1e-5f));

    // Dropping the last target destroys the animation and takes its clip
    // out of the controller; a clip kept beyond it does nothing.
    delete survivor;
    QCOMPARE(m_controller->runningClipCount(), 0u);
    QVERIFY(!kept->animation());
    QVERIFY(!kept->isPlaying());
    kept->play();
    kept->pause();
    kept->stop();
    m_controller->update(100.0f);
    QCOMPARE(m_controller->runningClipCount(), 0u);
    kept->release();
}

void AnimationClipTest::controllerStateAndShutDown()
{
    AnimationController controller;
    AnimationController::setCurrent(&controller);
    ScalarTarget target;
    AnimationClip* clip = ramp(target, "walk")->findClip();
    EventLog log;
    clip->addEndListener(&log);
    controller.start();
    clip->play();
    controller.update(100.0f);
    controller.pause();
    controller.update(100.0f);
    QVERIFY(near(target.written, 100.0f));
    controller.resume();

    // Shutting down stops every clip and tells nobody.
    controller.stop();
    QCOMPARE(controller.runningClipCount(), 0u);
    QVERIFY(!clip->isPlaying());
    QVERIFY(log.events.empty());
    controller.start();
    clip->play();
    controller.update(30.0f);
    QVERIFY(near(target.written, 30.0f));
    // Frame times that are not a forward amount of time count as none.
    controller.update(std::nanf(""));
    controller.update(-500.0f);
    controller.update(std::numeric_limits<float>::infinity());
    QVERIFY(near(target.written, 30.0f));
    controller.update(20.0f);
    QVERIFY(near(target.written, 50.0f));

    controller.unschedule(clip);
    controller.unschedule(nullptr);
    QCOMPARE(controller.state(), AnimationController::IDLE);
    AnimationController::setCurrent(m_controller);
}

void AnimationClipTest::cloningReusesAnimationsWithinOnePass()
{
    Transform original;
    Transform copy;
    const unsigned int times[2] = {0, 1000};
    const float translations[6] = {0, 0, 0, 10, 0, 0};
    Animation* walk = original.createAnimation("walk", ANIMATE_TRANSLATE, 2, times, translations, Curve::LINEAR);
    walk->addChannel(&original, ANIMATE_SCALE, 2, times, translations, Curve::LINEAR);
    walk->createClip("half", 0, 500)->setRepeatCount(3.0f);
    Animation* spin = original.createAnimation("spin", ANIMATE_SCALE_X, 2, times, translations, Curve::LINEAR);

    // Two channels of one animation make one copied animation, not two.
    AnimationCloneContext context;
    original.cloneAnimationChannels(&copy, context);
    QCOMPARE(copy.channelCount(), 3u);
    std::vector<Animation*> animations;
    copy.collectAnimations(animations);
    QCOMPARE(animations.size(), size_t(2));
    Animation* walkCopy = copy.findAnimation("walk");
    QVERIFY(walkCopy && walkCopy != walk);
    QCOMPARE(walkCopy->findClip("half")->activeDuration(), 1500u);
    QCOMPARE(walkCopy->channelAt(0)->curve(), walk->channelAt(0)->curve()); // curves are shared

    walkCopy->findClip()->play();
    m_controller->update(500.0f);
    QVERIFY(near(copy.getTranslation().x, 5.0f, 1e-4f));
    QCOMPARE(original.getTranslation().x, 0.0f);
    walk->release();
    spin->release();
}

void AnimationClipTest::clipsFromFrameRanges()
{
    Transform target;
    Animation* animation = ramp(target, "walk", 2000, ANIMATE_TRANSLATE_X);
    const std::string path = writeFile(
        "model.animation",
        "animation walk\n{\n    frameCount = 30\n    clip second_half\n    {\n        begin = 15\n        end = 30\n"
        "        repeatCount = INDEFINITE\n        loopBlendTime = 100\n   \n }\n"
        "    clip third\n {\n begin = 10\n end = 20\n repeatCount = 2.5\n speed = -0.5\n }\n}\n");
    QVERIFY(animation->defineClips(path.c_str()));

    AnimationClip* half = animation->findClip("second_half");
    QCOMPARE(half->startTime(), 1000u);
    QCOMPARE(half->endTime(), 2000u);
    QCOMPARE(half->repeatCount(), 0.0f);
    QCOMPARE(half->activeDuration(), 1100u); // the blend belongs to every cycle

    AnimationClip* third = animation->findClip("third");
    QCOMPARE(third->startTime(), 666u); // 10 / 30 * 2000 = 666.67, truncated
    QCOMPARE(third->speed(), -0.5f);
    QCOMPARE(third->activeDuration(), 1667u); // 667 * 2.5 = 1667.5

    // The clip plays its own part of the time line, then blends back.
    half->play();
    m_controller->update(250.0f);
    QVERIFY(near(target.getTranslationX(), 1250.0f, 0.1f));
    m_controller->update(800.0f); // 50 ms into the blend: half-way from 2000 to 1000
    QVERIFY(near(target.getTranslationX(), 1500.0f, 0.5f));
}

void AnimationClipTest::clipsMatchTheAnimationById()
{
    const std::string path
        = writeFile("model.animation",
                    "animation run\n{\n frameCount = 10\n clip fast\n {\n begin = 0\n end = 5\n }\n}\n"
                    "animation walk\n{\n frameCount = 4\n clip a\n {\n begin = 1\n end = 2\n }\n"
                    " notes n\n {\n begin = 0\n end = 4\n }\n clip b\n {\n begin = 2\n end = 4\n }\n}\n");
    Transform target;
    Animation* walk = ramp(target, "walk", 1000, ANIMATE_TRANSLATE_X);
    Animation* run = ramp(target, "run", 1000, ANIMATE_TRANSLATE_X);
    Animation* jump = ramp(target, "jump", 1000, ANIMATE_TRANSLATE_X);
    QVERIFY(walk->defineClips(path.c_str()));
    QVERIFY(run->defineClips(path.c_str()));
    QVERIFY(!jump->defineClips(path.c_str()));
    // The clip list ends at the first namespace that is not a clip.
    QCOMPARE(walk->clipCount(), 1u);
    QCOMPARE(walk->clipAt(0)->startTime(), 250u);
    QCOMPARE(run->findClip("fast")->endTime(), 500u);

    // A wrapping namespace around the animations is looked into as well.
    const std::string wrapped = writeFile(
        "wrapped.animation",
        "animations\n{\n animation jump\n {\n frameCount = 2\n clip up\n {\n begin = 0\n end = 1\n }\n }\n}\n");
    QVERIFY(jump->defineClips(wrapped.c_str()));
    QCOMPARE(jump->findClip("up")->endTime(), 500u);

    // Missing files and unusable frame counts define nothing.
    QVERIFY(!jump->defineClips((m_dir->path() + "/absent.animation").toUtf8().constData()));
    QVERIFY(!jump->defineClips(static_cast<const char*>(nullptr)));
    for (const char* count : {"", " frameCount = 0\n", " frameCount = -30\n", " frameCount = many\n"}) {
        const std::string bad = writeFile(
            "bad.animation", std::string("animation run\n{\n") + count + " clip a\n {\n begin = 0\n end = 5\n }\n}\n");
        run->defineClips(bad.c_str());
        QCOMPARE(run->clipCount(), 1u);
    }
    // Unclosed namespaces and embedded NUL bytes neither crash nor add clips.
    for (const std::string& junk : {std::string("animation run\n{\n frameCount = 30\n clip a\n {\n begin = 0\n"),
                                    std::string("animation run\n{\0\n frameCount = 30\n}\n", 36)}) {
        run->defineClips(writeFile("junk.animation", junk).c_str());
        QCOMPARE(run->clipCount(), 1u);
    }
}

void AnimationClipTest::hostileClipDefinitionsStayInRange()
{
    Transform target;
    Animation* animation = ramp(target, "walk", 2000, ANIMATE_TRANSLATE_X);
    const std::string path = writeFile(
        "model.animation",
        "animation walk\n{\n frameCount = 30\n"
        " clip negative\n {\n begin = -50\n end = 15\n }\n"
        " clip huge\n {\n begin = 15\n end = 2147483647\n }\n"
        " clip reversed\n {\n begin = 20\n end = 10\n }\n"
        " clip nonsense\n {\n begin = abc\n end = 30\n repeatCount = -3\n speed = nan\n loopBlendTime = -5\n }\n"
        " clip enormous\n {\n begin = 0\n end = 30\n repeatCount = 1e40\n loopBlendTime = 1e30\n }\n"
        " clip forever\n {\n begin = 0\n end = 30\n repeatCount = INDEFINITE\n loopBlendTime = 1e30\n }\n"
        " clip overflow\n {\n begin = 0\n end = 99999999999999999999\n }\n"
        " clip\n {\n begin = 0\n end = 3\n\n }\n"
        "}\n");
    QVERIFY(animation->defineClips(path.c_str()));

    AnimationClip* negative = animation->findClip("negative");
    QCOMPARE(negative->startTime(), 0u);
    QCOMPARE(negative->endTime(), 1000u);
    QCOMPARE(animation->findClip("huge")->endTime(), 2000u);
    QVERIFY(!animation->findClip("reversed"));
    AnimationClip* nonsense = animation->findClip("nonsense");
    QCOMPARE(nonsense->repeatCount(), 1.0f);
    QVERIFY(std::isfinite(nonsense->speed()));
    QCOMPARE(nonsense->loopBlendTime(), 0u);
    QCOMPARE(animation->findClip("enormous")->activeDuration(), 2000u); // 1e40 is not a float: ignored
    QCOMPARE(animation->findClip("forever")->activeDuration(), 4294967295u);
    QVERIFY(animation->findClip("overflow"));
    QVERIFY(animation->findClip("")); // a clip without id is kept
    QCOMPARE(animation->clipCount(), 7u);

    // Every one of them plays a few frames without trouble.
    for (unsigned int i = 0; i < animation->clipCount(); ++i)
        animation->clipAt(i)->play();
    for (int frame = 0; frame < 20; ++frame)
        m_controller->update(frame % 2 ? 16.0f : 1000.0f);
    QVERIFY(std::isfinite(target.getTranslationX()));
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

void AnimationClipTest::animationFromANamespace()
{
    // Times may be written in hex, or in octal with a leading zero (01750 is 1000).
    Transform target;
    Parsed parsed("animation walk\n{\n property = ANIMATE_TRANSLATE_X\n keyCount = 3\n keyTimes = 0 0x1F4 01750\n"
                  " keyValues = 0 5 20\n curve = LINEAR\n}\n");
    Animation* animation = target.createAnimation("walk", parsed.first());
    QVERIFY(animation);
    AnimationChannel* channel = animation->channelAt(0);
    QCOMPARE(channel->propertyId(), int(ANIMATE_TRANSLATE_X));
    QCOMPARE(channel->duration(), 1000u);
    QCOMPARE(channel->curve()->pointTime(1), 0.5f);
    QCOMPARE(target.findAnimation("walk"), animation);
    animation->findClip()->play();
    m_controller->update(750.0f);
    QVERIFY(near(target.getTranslationX(), 12.5f, 1e-4f));
    animation->release();

    // An unknown curve name keeps the channel and interpolates linearly.
    Transform third;
    QVERIFY(playDefinition(third,
                           "animation u\n{\n property = ANIMATE_TRANSLATE_Y\n keyCount = 2\n keyTimes = 0 100\n"
                           " keyValues = 0 10\n curve = WOBBLY\n}\n",
                           30.0f));
    QVERIFY(near(third.getTranslationY(), 3.0f, 1e-4f));

    // Rotation with translation, repeat count and clips in one namespace.
    Transform spinner;
    Parsed spin(
        "animation spin\n{\n property = ANIMATE_ROTATE_TRANSLATE\n keyCount = 2\n keyTimes = 0 1000\n"
        " keyValues = 0 0 0 1 0 0 0   0 0 1 0 4 0 0\n curve = LINEAR\n repeatCount = INDEFINITE\n frameCount = 10\n"
        " clip first_half\n {\n begin = 0\n end = 5\n }\n}\n");
    Animation* spinning = spinner.createAnimation("spin", spin.first());
    QVERIFY(spinning);
    QCOMPARE(*spinning->channelAt(0)->curve()->quaternionOffset(), 0u);
    QCOMPARE(spinning->findClip()->repeatCount(), 0.0f);
    QCOMPARE(spinning->findClip("first_half")->endTime(), 500u);
    spinning->findClip()->play();
    m_controller->update(500.0f);
    QVERIFY(near(spinner.getTranslationX(), 2.0f, 1e-4f));
    spinning->release();

    // Only one half of the tangents given: the other half counts as zero.
    Transform other;
    QVERIFY(playDefinition(other,
                           "animation h\n{\n property = ANIMATE_SCALE_Z\n keyCount = 2\n keyTimes = 0 100\n"
                           " keyValues = 1 1\n keyOut = 4 0\n curve = HERMITE\n}\n",
                           50.0f));
    QVERIFY(near(other.getScaleZ(), 1.5f, 1e-4f)); // 1 + 4 * 0.125
}

void AnimationClipTest::incompleteNamespacesMakeNoAnimation_data()
{
    QTest::addColumn<QString>("text");
    const QString base = "property = ANIMATE_TRANSLATE_X\n keyCount = 3\n keyTimes = 0 500 1000\n"
                         " keyValues = 0 5 20\n curve = LINEAR\n";
    auto with = [&](const char* from, const char* to) {
        return "animation a\n{\n" + QString(base).replace(from, to) + "}\n";
    };
    QTest::newRow("no curve") << with(" curve = LINEAR\n", "");
    QTest::newRow("other namespace") << "animations a\n{\n" + base + "}\n";
    QTest::newRow("unknown property") << with("ANIMATE_TRANSLATE_X", "ANIMATE_WOBBLE");
    QTest::newRow("scalar property on a transform") << with("ANIMATE_TRANSLATE_X", "ANIMATE_UNIFORM");
    QTest::newRow("keyCount zero") << with("keyCount = 3", "keyCount = 0");
    QTest::newRow("keyCount huge") << with("keyCount = 3", "keyCount = 2147483647");
    QTest::newRow("too few times") << with("0 500 1000", "0 500");
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

void AnimationClipTest::mutatedDefinitionsNeverCrash()
{
    // Random edits of a complete definition (with clips) go through the
    // public entry points and, when accepted, are played for a few frames.
    const std::string seed
        = "animation walk\n{\n property = ANIMATE_SCALE_ROTATE_TRANSLATE\n keyCount = 2\n keyTimes = 0 1000\n"
          " keyValues = 1 1 1 0 0 0 1 0 0 0 2 2 2 0 0 1 0 5 5 5\n curve = BOUNCE_IN_OUT\n repeatCount = 1.5\n"
          " frameCount = 24\n clip a\n {\n begin = 0\n end = 12\n loopBlendTime = 50\n speed = -2\n }\n"
          " clip b\n {\n begin = 6\n end = 24\n repeatCount = INDEFINITE\n }\n}\n";
    const char* const fragments[]
        = {"-",          "0x",       "99999999999",    " ", "\n", "}",  "{",   "=", "nan", "-1e38", "0",
           "INDEFINITE", "clip c {", "keyCount = 1\n", "#", "//", "/*", "${x}"};
    std::mt19937 random(12345);
    int accepted = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string text = seed;
        for (int edits = 1 + int(random() % 4); edits > 0; --edits) {
            const size_t at = random() % text.size();
            if (random() % 2)
                text.insert(at, fragments[random() % (sizeof(fragments) / sizeof(fragments[0]))]);
            else
                text.erase(at, random() % 6);
        }
        Parsed parsed(text);
        Transform target;
        Animation* animation = target.createAnimation("walk", parsed.first());
        if (!animation)
            continue;
        ++accepted;
        animation->findClip()->play();
        for (unsigned int i = 0; i < animation->clipCount(); ++i)
            animation->clipAt(i)->play();
        for (int frame = 0; frame < 4; ++frame)
            m_controller->update(frame == 2 ? 5000.0f : 16.0f);
        animation->release();
    }
    QVERIFY(accepted > 0); // the mutations do not all break the text
}

QTEST_APPLESS_MAIN(AnimationClipTest)
#include "tst_animationclip.moc"
