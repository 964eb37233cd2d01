// Once a clip has begun, a frame (controller update, curve evaluation,
// transform writes and their listeners, world matrix and bounds refresh)
// allocates nothing: not while
// blending between repeats, not backwards, not while cross-fading, not when a
// clip is restarted. Allocations are counted by replacing the global
// allocation functions of this program.

#include "AllocationCounter.h"

#include "Animation.h"
#include "AnimationClip.h"
#include "AnimationController.h"
#include "Curve.h"
#include "Joint.h"
#include "Scene.h"

#include <QtTest>

#include <cmath>
#include <vector>

using enginetest::allocations;

using namespace engine;

namespace {
class CountingListener : public Transform::Listener {
public:
    void transformChanged(Transform*, long) override { ++changes; }
    long changes = 0;
};
} // namespace

class AnimationAllocationsTest : public QObject {
    Q_OBJECT

private slots:
    void framesAfterTheFirstAllocateNothing();
};

void AnimationAllocationsTest::framesAfterTheFirstAllocateNothing()
{
    AnimationController controller;
    AnimationController::setCurrent(&controller);
    controller.start();

    // A chain of joints, each driven by one scale-rotate-translate channel
    // in two animations.
    const int jointCount = 12;
    std::vector<Joint*> joints;
    CountingListener listener;
    for (int i = 0; i < jointCount; ++i) {
        joints.push_back(Joint::create("joint"));
        joints.back()->addListener(&listener);
        if (i > 0)
            joints[i - 1]->addChild(joints[i]);
    }
    Scene* scene = Scene::create("scene");
    scene->addNode(joints[0]);
    const unsigned int times[3] = {0, 400, 1000};
    std::vector<float> keys;
    for (int k = 0; k < 3; ++k) {
        const float half = 0.4f * k;
        const float key[10] = {1.0f + k, 1.0f, 1.0f, 0.0f, std::sin(half), 0.0f, std::cos(half), float(k), 0.0f, 1.0f};
        keys.insert(keys.end(), key, key + 10);
    }
    Animation* walk = Animation::create("walk");
    Animation* run = Animation::create("run");
    for (Joint* joint : joints) {
        QVERIFY(walk->addChannel(joint, ANIMATE_SCALE_ROTATE_TRANSLATE, 3, times, keys.data(), Curve::SMOOTH));
        QVERIFY(run->addChannel(joint, ANIMATE_SCALE_ROTATE_TRANSLATE, 3, times, keys.data(), Curve::BOUNCE_OUT));
    }
    AnimationClip* walkClip = walk->findClip();
    walkClip->setRepeatCount(0.0f);
    walkClip->setLoopBlendTime(150.0f);
    AnimationClip* runClip = run->createClip("sprint", 200, 1000);
    runClip->setRepeatCount(0.0f);
    runClip->setSpeed(-1.5f);

    auto frame = [&](float elapsed) {
        controller.update(elapsed);
        float sum = 0.0f;
        for (Joint* joint : joints)
            sum += joint->getWorldMatrix().m[13];
        return sum + joints[0]->getBoundingSphere().radius;
    };

    // First frames: both clips begin (a cross-fade bounces between them).
    walkClip->play();
    frame(16.0f);
    runClip->play();
    frame(16.0f);
    runClip->crossFade(walkClip, 50);
    frame(16.0f);
    walkClip->crossFade(runClip, 2000);
    frame(16.0f);

    const long changesBefore = listener.changes;
    const unsigned long long before = allocations;
    QVERIFY(before > 0); // the counting works: setting up allocated
    float checksum = 0.0f;
    for (int i = 0; i < 600; ++i) {
        if (i == 300)
            runClip->play(); // restart while running
        checksum += frame(i % 5 ? 16.0f : 33.0f);
    }
    const unsigned long long during = allocations - before;
    QVERIFY(std::isfinite(checksum));
    QCOMPARE(during, 0ull);
    QVERIFY(runClip->isPlaying());
    // Two clips write every joint while fading; each joint hears once per frame.
    QCOMPARE(listener.changes - changesBefore, 600L * jointCount);

    AnimationController::setCurrent(nullptr);
    controller.stop();
    for (Joint* joint : joints)
        joint->release();
    scene->release();
    walk->release();
    run->release();
}

QTEST_APPLESS_MAIN(AnimationAllocationsTest)
#include "tst_animationallocations.moc"
