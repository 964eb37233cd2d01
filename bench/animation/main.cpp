// Heap allocations and time per animation frame, three ways:
//  - a 200-joint skeleton, 3 channels per joint (rotation, translation,
//    scale), for 10 000 frames through the animation controller, refreshing
//    every joint's world matrix each frame;
//  - two clips on a chain of joints with a listener, looping with a blend,
//    played backwards, cross-fading both ways and restarted while running;
//  - 20 drawn frames of a skinned model through the frame loop, in an
//    off-screen OpenGL context.
// Allocations are counted by replacing the global allocation functions.
// The target is 0 per frame once a clip has begun (its first frame may
// allocate); the program says whether each part meets it and exits non-zero
// when one does not.

#include "Animation.h"
#include "AnimationClip.h"
#include "AnimationController.h"
#include "Camera.h"
#include "CountingAllocator.h"
#include "Curve.h"
#include "DepthStencilTarget.h"
#include "Effect.h"
#include "FrameBuffer.h"
#include "Game.h"
#include "HeadlessContext.h"
#include "Joint.h"
#include "Material.h"
#include "MaterialParameter.h"
#include "Mesh.h"
#include "MeshPart.h"
#include "MeshSkin.h"
#include "Model.h"
#include "Node.h"
#include "OffscreenPlatform.h"
#include "Platform_Qt.h"
#include "Scene.h"

#include <GL/glew.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

using namespace engine;

const int kJointCount = 200;
const int kChainLength = 10; // 20 chains of 10 joints below the root: limbs, fingers
const int kKeyCount = 31; // one second at 30 keys per second
const int kFrameCount = 10000;
const float kFrameTime = 16.0f;

// Prints one part's figure against the target; true when it is met.
bool reportAllocations(const char* part, unsigned long long allocations, int frames)
{
    std::printf("%s: %.3f heap allocations per frame (%llu in %d frames), target 0 %s\n", part,
                double(allocations) / frames, allocations, frames, allocations == 0 ? "met" : "NOT met");
    return allocations == 0;
}

struct Skeleton {
    std::vector<Joint*> joints;
    Animation* animation = nullptr;
};

Skeleton buildSkeleton()
{
    Skeleton skeleton;
    for (int i = 0; i < kJointCount; ++i) {
        Joint* joint = Joint::create(("joint" + std::to_string(i)).c_str());
        if (i > 0) {
            Joint* parent = skeleton.joints[(i % kChainLength == 1) ? 0 : i - 1];
            parent->addChild(joint);
        }
        skeleton.joints.push_back(joint);
    }

    std::vector<unsigned int> times(kKeyCount);
    for (int k = 0; k < kKeyCount; ++k)
        times[k] = static_cast<unsigned int>(k * 1000 / (kKeyCount - 1));
    std::vector<float> rotations(kKeyCount * 4);
    std::vector<float> translations(kKeyCount * 3);
    std::vector<float> scales(kKeyCount * 3);

    skeleton.animation = Animation::create("skeleton");
    for (int i = 0; i < kJointCount; ++i) {
        for (int k = 0; k < kKeyCount; ++k) {
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
        skeleton.animation->addChannel(joint, ANIMATE_ROTATE, kKeyCount, times.data(), rotations.data(), Curve::LINEAR);
        skeleton.animation->addChannel(joint, ANIMATE_TRANSLATE, kKeyCount, times.data(), translations.data(),
                                       Curve::LINEAR);
        skeleton.animation->addChannel(joint, ANIMATE_SCALE, kKeyCount, times.data(), scales.data(), Curve::SMOOTH);
    }
    return skeleton;
}

// Reads every world matrix, which refreshes the ones the frame made stale.
float refreshWorldMatrices(const std::vector<Joint*>& joints)
{
    float sum = 0.0f;
    for (Joint* joint : joints)
        sum += joint->getWorldMatrix().m[12];
    return sum;
}

bool measureSkeleton(AnimationController& controller)
{
    Skeleton skeleton = buildSkeleton();
    std::printf("skeleton: %d joints, %u channels, %d keys each\n", kJointCount, skeleton.animation->channelCount(),
                kKeyCount);
    AnimationClip* clip = skeleton.animation->findClip();
    clip->setRepeatCount(0.0f);
    clip->play();

    const unsigned long long beforeFirst = s_allocationCount;
    controller.update(kFrameTime);
    float checksum = refreshWorldMatrices(skeleton.joints);
    const unsigned long long firstFrameAllocations = s_allocationCount - beforeFirst;

    using Clock = std::chrono::steady_clock;
    double animateSeconds = 0.0;
    double worldSeconds = 0.0;
    const unsigned long long beforeRest = s_allocationCount;
    for (int frame = 1; frame < kFrameCount; ++frame) {
        const Clock::time_point t0 = Clock::now();
        controller.update(kFrameTime);
        const Clock::time_point t1 = Clock::now();
        checksum += refreshWorldMatrices(skeleton.joints);
        const Clock::time_point t2 = Clock::now();
        animateSeconds += std::chrono::duration<double>(t1 - t0).count();
        worldSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    const unsigned long long laterAllocations = s_allocationCount - beforeRest;
    const int measured = kFrameCount - 1;

    std::printf("frames: %d (%.0f ms each)\n", kFrameCount, double(kFrameTime));
    std::printf("time per frame: %.2f us (controller update and curves %.2f us, world matrices %.2f us)\n",
                (animateSeconds + worldSeconds) * 1e6 / measured, animateSeconds * 1e6 / measured,
                worldSeconds * 1e6 / measured);
    std::printf("skeleton first frame: %llu heap allocations; checksum %.3f\n", firstFrameAllocations,
                double(checksum));
    const bool met = reportAllocations("skeleton", laterAllocations, measured);

    clip->stop();
    controller.update(0.0f);
    for (Joint* joint : skeleton.joints)
        joint->release();
    skeleton.animation->release();
    return met;
}

class CountingListener : public Transform::Listener {
public:
    void transformChanged(Transform*, long) override { ++changes; }
    long changes = 0;
};

// Loop blends, backwards play, cross-fades bouncing between two clips and a
// restart while running, with world matrices, bounds and a listener.
bool measureClipBlends(AnimationController& controller)
{
    const int jointCount = 12;
    const int frames = 600;
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
        walk->addChannel(joint, ANIMATE_SCALE_ROTATE_TRANSLATE, 3, times, keys.data(), Curve::SMOOTH);
        run->addChannel(joint, ANIMATE_SCALE_ROTATE_TRANSLATE, 3, times, keys.data(), Curve::BOUNCE_OUT);
    }
    AnimationClip* walkClip = walk->findClip();
    walkClip->setRepeatCount(0.0f);
    walkClip->setLoopBlendTime(150.0f);
    AnimationClip* runClip = run->createClip("sprint", 200, 1000);
    runClip->setRepeatCount(0.0f);
    runClip->setSpeed(-1.5f);

    auto frame = [&](float elapsed) {
        controller.update(elapsed);
        return refreshWorldMatrices(joints) + joints[0]->getBoundingSphere().radius;
    };
    // The first frames, where both clips begin.
    walkClip->play();
    frame(16.0f);
    runClip->play();
    frame(16.0f);
    runClip->crossFade(walkClip, 50);
    frame(16.0f);
    walkClip->crossFade(runClip, 2000);
    frame(16.0f);

    const unsigned long long before = s_allocationCount;
    float checksum = 0.0f;
    for (int i = 0; i < frames; ++i) {
        if (i == frames / 2)
            runClip->play();
        checksum += frame(i % 5 ? 16.0f : 33.0f);
    }
    const unsigned long long during = s_allocationCount - before;
    std::printf("clip blends: %d joints, %ld transform changes heard, checksum %.3f\n", jointCount, listener.changes,
                double(checksum));
    const bool met = reportAllocations("clip blends", during, frames);

    walkClip->stop();
    runClip->stop();
    controller.update(0.0f);
    for (Joint* joint : joints)
        joint->release();
    scene->release();
    walk->release();
    run->release();
    return met;
}

const char* const kSkinnedVertexShader
    = "attribute vec3 a_position;\n"
      "uniform mat4 u_worldViewProjectionMatrix;\n"
      "uniform vec4 u_matrixPalette[6];\n"
      "uniform vec3 u_ambient;\n"
      "void main() { gl_Position = u_worldViewProjectionMatrix * vec4(a_position, 1.0)\n"
      "    + u_matrixPalette[0] * 0.0 + vec4(u_ambient, 0.0) * 0.0; }\n";
const char* const kFlatFragmentShader = "uniform vec4 u_color;\nvoid main() { gl_FragColor = u_color; }\n";

// Draws the model, or else one triangle straight through OpenGL: what the
// driver alone allocates for a draw.
class DrawingGame : public Game {
public:
    ~DrawingGame() override { shutdown(); }
    Model* model = nullptr;
    GLuint rawProgram = 0;

protected:
    void render(float) override
    {
        clear(CLEAR_COLOR_DEPTH, Vector4(0, 0, 0, 1), 1, 0);
        if (model) {
            model->draw();
        } else if (rawProgram) {
            glUseProgram(rawProgram);
            glDrawArrays(GL_TRIANGLES, 0, 3);
        }
    }
};

GLuint compileShader(GLenum type, const char* source)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

// A program and a bound vertex buffer for one plain triangle.
GLuint createRawTriangle()
{
    const GLuint program = glCreateProgram();
    glAttachShader(program,
                   compileShader(GL_VERTEX_SHADER,
                                 "attribute vec3 a_position;\n"
                                 "void main() { gl_Position = vec4(a_position, 1.0); }\n"));
    glAttachShader(program, compileShader(GL_FRAGMENT_SHADER, kFlatFragmentShader));
    glBindAttribLocation(program, 0, "a_position");
    glLinkProgram(program);
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    const float triangle[] = {-1, -1, 0, 1, -1, 0, 0, 1, 0};
    glBufferData(GL_ARRAY_BUFFER, sizeof(triangle), triangle, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    return program;
}

Model* createSkinnedTriangle(Joint* bone)
{
    const VertexFormat::Element position(VertexFormat::POSITION, 3);
    Mesh* mesh = Mesh::createMesh(VertexFormat(&position, 1), 3);
    const float vertices[] = {-1, -1, 0, 1, -1, 0, 0, 1, 0};
    mesh->setVertexData(vertices);
    const unsigned short indices[] = {0, 1, 2};
    mesh->addPart(Mesh::TRIANGLES, Mesh::INDEX16, 3)->setIndexData(indices, 0, 3);
    Model* model = Model::create(mesh);
    mesh->release();
    MeshSkin* skin = new MeshSkin();
    skin->setJointCount(2);
    skin->setJoint(bone, 0);
    model->setSkin(skin);
    Effect* effect = Effect::createFromSource(kSkinnedVertexShader, kFlatFragmentShader);
    if (!effect)
        return model;
    Material* material = Material::create(effect);
    effect->release();
    material->setParameterAutoBinding("u_worldViewProjectionMatrix", "WORLD_VIEW_PROJECTION_MATRIX");
    material->setParameterAutoBinding("u_matrixPalette", "MATRIX_PALETTE");
    material->setParameterAutoBinding("u_ambient", "SCENE_AMBIENT_COLOR");
    material->getParameter("u_color")->setValue(Vector4(1, 1, 1, 1));
    material->getStateBlock()->setDepthTest(true);
    model->setMaterial(material);
    material->release();
    return model;
}

// Frames of a moving skinned model: palette, auto-bound parameters, state
// blocks and the clear. Mesa may allocate inside the driver; this counts it.
bool measureDrawnSkin()
{
    const int width = 64;
    const int height = 32;
    HeadlessContext context;
    if (!context.isValid() || !Platform_Qt::isUsable(Platform_Qt::initializeExtensions())) {
        std::printf("drawn skin: no off-screen OpenGL context, not measured\n");
        return true;
    }
    DrawingGame game;
    OffscreenPlatform platform(&game, width, height);
    game.run();
    // A surfaceless context has no frame buffer of its own; frames draw into
    // the one bound when they start.
    FrameBuffer* target = FrameBuffer::create("bench", width, height);
    DepthStencilTarget* depth = DepthStencilTarget::create("bench", DepthStencilTarget::DEPTH_STENCIL, width, height);
    target->setDepthStencilTarget(depth);
    target->bind();

    Scene* scene = Scene::create("scene");
    Node* cameraNode = Node::create("camera");
    Camera* camera = Camera::createPerspective(45, 2, 0.1f, 100);
    cameraNode->setCamera(camera);
    cameraNode->setTranslation(0, 0, 5);
    scene->addNode(cameraNode);
    Node* node = Node::create("model");
    scene->addNode(node);
    Joint* bone = Joint::create("bone");
    node->addChild(bone);
    Model* model = createSkinnedTriangle(bone);
    node->setDrawable(model);

    // Frames of one raw triangle show what the driver allocates by itself
    // (Mesa does, per draw); the model's frames beyond that are ours.
    const int frames = 20;
    auto countFrames = [&]() {
        game.frame();
        game.frame();
        const unsigned long long before = s_allocationCount;
        for (int i = 0; i < frames; ++i) {
            bone->setTranslation(float(i) * 0.01f, 0, 0);
            node->setTranslation(0, float(i) * 0.01f, 0);
            game.frame();
        }
        glFinish();
        return s_allocationCount - before;
    };
    game.rawProgram = createRawTriangle();
    const unsigned long long raw = countFrames();
    game.model = model;
    const unsigned long long drawn = countFrames();
    unsigned char centre[4] = {0, 0, 0, 0};
    glReadPixels(width / 2, height / 2 - 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, centre);
    std::printf("drawn skin: the model %s on screen\n", centre[0] == 255 ? "is" : "is NOT");
    std::printf("drawn skin: %.3f heap allocations per frame, %.3f per frame of one raw OpenGL triangle\n",
                double(drawn) / frames, double(raw) / frames);
    const bool met = reportAllocations("drawn skin beyond the driver's", drawn > raw ? drawn - raw : 0, frames);

    game.model = nullptr;
    model->release();
    bone->release();
    node->release();
    camera->release();
    cameraNode->release();
    scene->release();
    depth->release();
    target->release();
    return met;
}

} // namespace

int main()
{
    AnimationController controller;
    AnimationController::setCurrent(&controller);
    controller.start();
    bool met = measureSkeleton(controller);
    met = measureClipBlends(controller) && met;
    controller.stop();
    AnimationController::setCurrent(nullptr);
    met = measureDrawnSkin() && met;
    return met ? 0 : 1;
}
