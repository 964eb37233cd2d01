// Animates a 200-joint skeleton, 3 channels per joint (rotation, translation,
// scale), for 10 000 frames through the animation controller, refreshing
// every joint's world matrix each frame. Prints the time per frame and the
// heap allocations per frame, counted by replacing the global allocation
// functions; after the first frame (where the clip begins) there must be none.

#include "Animation.h"
#include "AnimationClip.h"
#include "AnimationController.h"
#include "CountingAllocator.h"
#include "Curve.h"
#include "Joint.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

using namespace engine;

const int JOINT_COUNT = 200;
const int CHAIN_LENGTH = 10; // 20 chains of 10 joints below the root: limbs, fingers
const int KEY_COUNT = 31; // one second at 30 keys per second
const int FRAME_COUNT = 10000;
const float FRAME_TIME = 16.0f;

struct Skeleton {
    std::vector<Joint*> joints;
    Animation* animation = nullptr;
};

Skeleton buildSkeleton()
{
    Skeleton skeleton;
    for (int i = 0; i < JOINT_COUNT; ++i) {
        Joint* joint = Joint::create(("joint" + std::to_string(i)).c_str());
        if (i > 0) {
            Joint* parent = skeleton.joints[(i % CHAIN_LENGTH == 1) ? 0 : i - 1];
            parent->addChild(joint);
        }
        skeleton.joints.push_back(joint);
    }

    std::vector<unsigned int> times(KEY_COUNT);
    for (int k = 0; k < KEY_COUNT; ++k)
        times[k] = static_cast<unsigned int>(k * 1000 / (KEY_COUNT - 1));
    std::vector<float> rotations(KEY_COUNT * 4);
    std::vector<float> translations(KEY_COUNT * 3);
    std::vector<float> scales(KEY_COUNT * 3);

    skeleton.animation = Animation::create("skeleton");
    for (int i = 0; i < JOINT_COUNT; ++i) {
        for (int k = 0; k < KEY_COUNT; ++k) {
            const float phase = 0.2f * k + 0.05f * i;
            const float half = 0.3f * std::sin(phase);
            const float axisLength = std::sqrt(1.0f + 0.25f + 0.04f);
            rotations[k * 4 + 0] = std::sin(half) * 1.0f / axisLength;
            rotations[k * 4 + 1] = std::sin(half) * 0.5f / axisLength;
            rotations[k * 4 + 2] = std::sin(half) * 0.2f / axisLength;
            rotations[k * 4 + 3] = std::cos(half);
            translations[k * 3 + 0] = 1.0f + 0.1f * std::sin(phase);
            translations[k * 3 + 1] = 0.05f * std::cos(phase);
            translations[k * 3 + 2] = 0.0f;
            scales[k * 3 + 0] = scales[k * 3 + 1] = scales[k * 3 + 2] = 1.0f + 0.02f * std::sin(phase);
        }
        Joint* joint = skeleton.joints[i];
        skeleton.animation->addChannel(joint, ANIMATE_ROTATE, KEY_COUNT, times.data(), rotations.data(), Curve::LINEAR);
        skeleton.animation->addChannel(joint, ANIMATE_TRANSLATE, KEY_COUNT, times.data(), translations.data(),
                                       Curve::LINEAR);
        skeleton.animation->addChannel(joint, ANIMATE_SCALE, KEY_COUNT, times.data(), scales.data(), Curve::SMOOTH);
    }
    return skeleton;
}

// Reads every world matrix, which refreshes the ones the frame made stale.
float refreshWorldMatrices(const Skeleton& skeleton)
{
    float sum = 0.0f;
    for (Joint* joint : skeleton.joints)
        sum += joint->getWorldMatrix().m[12];
    return sum;
}

} // namespace

int main()
{
    AnimationController controller;
    AnimationController::setCurrent(&controller);
    controller.start();

    Skeleton skeleton = buildSkeleton();
    std::printf("skeleton: %d joints, %u channels, %d keys each\n", JOINT_COUNT, skeleton.animation->channelCount(),
                KEY_COUNT);
    AnimationClip* clip = skeleton.animation->findClip();
    clip->setRepeatCount(0.0f);
    clip->play();

    const unsigned long long beforeFirst = allocationCount;
    controller.update(FRAME_TIME);
    float checksum = refreshWorldMatrices(skeleton);
    const unsigned long long firstFrameAllocations = allocationCount - beforeFirst;

    using Clock = std::chrono::steady_clock;
    double animateSeconds = 0.0;
    double worldSeconds = 0.0;
    const unsigned long long beforeRest = allocationCount;
    for (int frame = 1; frame < FRAME_COUNT; ++frame) {
        const Clock::time_point t0 = Clock::now();
        controller.update(FRAME_TIME);
        const Clock::time_point t1 = Clock::now();
        checksum += refreshWorldMatrices(skeleton);
        const Clock::time_point t2 = Clock::now();
        animateSeconds += std::chrono::duration<double>(t1 - t0).count();
        worldSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    const unsigned long long laterAllocations = allocationCount - beforeRest;
    const int measured = FRAME_COUNT - 1;

    std::printf("frames: %d (%.0f ms each)\n", FRAME_COUNT, double(FRAME_TIME));
    std::printf("time per frame: %.2f us (controller update and curves %.2f us, world matrices %.2f us)\n",
                (animateSeconds + worldSeconds) * 1e6 / measured, animateSeconds * 1e6 / measured,
                worldSeconds * 1e6 / measured);
    std::printf("heap allocations: first frame %llu, later frames %llu in total, %.3f per frame\n",
                firstFrameAllocations, laterAllocations, double(laterAllocations) / measured);
    std::printf("checksum: %.3f\n", double(checksum));

    clip->stop();
    controller.update(0.0f);
    for (Joint* joint : skeleton.joints)
        joint->release();
    skeleton.animation->release();
    controller.stop();
    AnimationController::setCurrent(nullptr);
    return laterAllocations == 0 ? 0 : 1;
}
