// The viewer's speed on Mesa's software renderer:
//  - time to first picture as a user meets it: the program started on an
//    FBX file until its window shows the model, against f3d rendering the
//    same FBX to an image in the same run (both need a display: run under
//    xvfb-run); and where that time goes: the encoder on its own, loading
//    the converted model and its first frame (without a window, EGL
//    surfaceless, as a batch conversion draws), and the rest (program
//    start, window, workspace);
//  - the window's processor use over 5 s with the model shown and nothing
//    moving, in percent of one core;
//  - frame time of the 200 000-triangle model, also with its material lit
//    by one scene light and by twelve (four of each kind; goal: at most
//    1.3 times the time with one), in the light pass and, for comparison,
//    lit as each fragment is drawn (as containers written before it);
//  - heap allocations per frame while the sample's animation plays (target:
//    none after the first frame), with the model drawn and with its draw
//    skipped, and how many of a frame's allocations come from inside the
//    OpenGL driver (their call stacks show it).
// Usage: bench_viewer [--lights-only] [shared models folder]
// (--lights-only: the frame times with scene lights, nothing else)

#include "Animation.h"
#include "AnimationClip.h"
#include "Camera.h"
#include "CountingAllocator.h"
#include "EncoderProcess.h"
#include "HeadlessContext.h"
#include "Light.h"
#include "LightParameterBinder.h"
#include "Material.h"
#include "Model.h"
#include "Node.h"
#include "OffscreenPlatform.h"
#include "OffscreenTarget.h"
#include "Platform_Qt.h"
#include "Scene.h"
#include "SceneLightSet.h"
#include "SceneViewer.h"
#include "WorkspaceService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <dlfcn.h>
#include <execinfo.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const int kViewWidth = 800;
const int kViewHeight = 600;
const int kFrames = 30;

// Milliseconds the encoder takes for the file on its own.
double convert(WorkspaceService& workspace, const QString& fbx)
{
    workspace.setModelFile(fbx);
    workspace.prepareWorkspace();
    QDir().mkpath(workspace.metaFolder());
    QElapsedTimer clock;
    clock.start();
    EncoderProcess::run(
        workspace.encoderExecutable(),
        EncoderProcess::arguments(QStringLiteral("root"), QStringLiteral("off"), fbx, workspace.modelFile()),
        workspace.toolsFolder());
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return QFileInfo(workspace.modelFile()).size() > 0 ? ms : -1.0;
}

// Processor time the process has used so far, all its threads, in seconds.
double processorSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1.0;
    const QByteArray text = stat.readAll();
    // User and system time are the 12th and 13th fields after the name,
    // which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1.0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// The program as a user starts it, on the file, in a scratch home; it says
// when its window first shows the model.
struct ProgramRun {
    double firstPictureMs = -1.0;
    double idlePercent = -1.0; // of one core, over idleSeconds with nothing moving
};

const int kIdleSeconds = 5;
const int kStartRuns = 5;

// A failed run (negative) counts as the slowest.
double median(std::vector<double> values)
{
    for (double& value : values)
        value = value < 0 ? 1e300 : value;
    std::sort(values.begin(), values.end());
    const double middle = values[values.size() / 2];
    return middle >= 1e300 ? -1.0 : middle;
}

// Each run's time, in the order measured.
void printRuns(const char* label, const std::vector<double>& runs, const char* format)
{
    std::printf("%s", label);
    for (double ms : runs)
        std::printf(format, ms);
}

ProgramRun runProgram(const QString& fbx, const QString& scratch, bool measureIdle)
{
    ProgramRun run;
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QLatin1String(name), scratch);
    // A temporary folder of its own for every start: the window keeps its
    // finished conversions there, and a start that found the last one's
    // would measure reopening, not the whole road f3d takes.
    QTemporaryDir temporary(scratch + QStringLiteral("/start-XXXXXX"));
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    environment.insert(QStringLiteral("VELMORA_ANNOUNCE_FIRST_PICTURE"), QStringLiteral("1"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    program.start(QStringLiteral(VELMORA_BUILD_DIR "/bin/Velmora3dEncoder"), {fbx});
    QByteArray output;
    while (!output.contains("first picture") && program.waitForReadyRead(60000))
        output += program.readAllStandardOutput();
    if (output.contains("first picture")) {
        run.firstPictureMs = double(clock.nsecsElapsed()) / 1e6;
        if (measureIdle) {
            // The previews are drawn on the frame after the first picture.
            QThread::sleep(1);
            const double before = processorSeconds(program.processId());
            QThread::sleep(kIdleSeconds);
            const double after = processorSeconds(program.processId());
            if (before >= 0 && after >= 0)
                run.idlePercent = (after - before) / kIdleSeconds * 100.0;
        }
    }
    program.terminate();
    if (!program.waitForFinished(10000)) {
        program.kill();
        program.waitForFinished();
    }
    return run;
}

double timeF3d(const QString& fbx, const QString& image)
{
    const QString f3d = QStandardPaths::findExecutable(QStringLiteral("f3d"));
    if (f3d.isEmpty() || qEnvironmentVariableIsEmpty("DISPLAY"))
        return -1.0;
    QElapsedTimer clock;
    clock.start();
    const int code = QProcess::execute(f3d, {"--output=" + image, "--resolution=800,600", fbx});
    return code == 0 ? double(clock.nsecsElapsed()) / 1e6 : -1.0;
}

double allocationsPerFrame(SceneViewer& viewer)
{
    viewer.frame();
    glFinish();
    const unsigned long long before = s_allocationCount;
    for (int i = 0; i < kFrames; ++i)
        viewer.frame();
    glFinish();
    return double(s_allocationCount - before) / kFrames;
}

// Who allocates during a frame: each allocation's stack is recorded by the
// allocation hook (backtrace does not allocate once the unwinder is loaded)
// and counted as the driver's when any of its frames lies in a Mesa or
// libGL library. The first few stacks are printed as they are.
const int kTracedAllocations = 4096;
const int kTracedDepth = 24;
const int kPrintedStacks = 2;
void* s_tracedStacks[kTracedAllocations][kTracedDepth];
int s_tracedDepths[kTracedAllocations];
int s_tracedCount = 0;

void recordAllocationStack()
{
    if (s_tracedCount < kTracedAllocations) {
        const int slot = s_tracedCount++;
        s_tracedDepths[slot] = backtrace(s_tracedStacks[slot], kTracedDepth);
    }
}

bool isDriverFrame(void* address)
{
    Dl_info info;
    if (!dladdr(address, &info) || !info.dli_fname)
        return false;
    const std::string library = info.dli_fname;
    for (const char* driver : {"_dri.so", "libgallium", "libGL", "libEGL", "libglapi", "libLLVM"}) {
        if (library.find(driver) != std::string::npos)
            return true;
    }
    return false;
}

void attributeAllocations(SceneViewer& viewer)
{
    void* warmUp[4];
    backtrace(warmUp, 4);
    viewer.frame();
    glFinish();
    s_tracedCount = 0;
    s_allocationHook = recordAllocationStack;
    viewer.frame();
    glFinish();
    s_allocationHook = nullptr;
    int driver = 0;
    for (int i = 0; i < s_tracedCount; ++i) {
        bool inDriver = false;
        for (int frame = 0; frame < s_tracedDepths[i] && !inDriver; ++frame)
            inDriver = isDriverFrame(s_tracedStacks[i][frame]);
        driver += inDriver ? 1 : 0;
        if (!inDriver || i < kPrintedStacks) {
            std::printf("allocation %d of a frame (%s), innermost first:\n", i + 1, inDriver ? "driver" : "ours");
            std::fflush(stdout);
            // Skips the hook and the counting function.
            backtrace_symbols_fd(s_tracedStacks[i] + 2, s_tracedDepths[i] - 2, STDOUT_FILENO);
        }
    }
    std::printf("allocations in one frame: %d, %d of them inside the OpenGL driver\n", s_tracedCount, driver);
}

// Returns the clips of the model loaded.
QStringList timeFirstPicture(SceneViewer& viewer, WorkspaceService& workspace, const QString& fbx,
                             const QString& scratch, bool measureIdle = false)
{
    const double encoderMs = convert(workspace, fbx);
    if (encoderMs < 0) {
        std::printf("%s: the encoder wrote nothing\n", qPrintable(fbx));
        return {};
    }
    QElapsedTimer clock;
    clock.start();
    viewer.setFolders({workspace.applicationParentFolder(), workspace.modelFolder(), workspace.metaFolder()});
    const QStringList clips = viewer.loadModel().clips;
    const double loadMs = double(clock.nsecsElapsed()) / 1e6;
    viewer.frame();
    glFinish();
    const double viewerMs = double(clock.nsecsElapsed()) / 1e6;
    viewer.frame(); // the previews, which wait for the first picture
    glFinish();
    // One untimed start of each first. f3d keeps its compiled shaders in
    // the user's cache, which outlives this run, while the program's cache
    // lies in the scratch home: untimed, its first start with a new model
    // paid 150-250 ms for shaders that f3d had compiled long before.
    timeF3d(fbx, scratch + "/f3d.png");
    runProgram(fbx, scratch, false);
    // Both take turns, several times: on a shared machine one start alone
    // says little; the medians are compared.
    std::vector<double> f3dRuns, programRuns;
    ProgramRun program;
    for (int i = 0; i < kStartRuns; ++i) {
        f3dRuns.push_back(timeF3d(fbx, scratch + "/f3d.png"));
        program = runProgram(fbx, scratch, measureIdle && i == kStartRuns - 1);
        programRuns.push_back(program.firstPictureMs);
    }
    printRuns("  starts: program", programRuns, " %.0f");
    printRuns(" ms, f3d", f3dRuns, " %.0f");
    std::printf(" ms\n");
    const double f3dMs = median(f3dRuns), programMs = median(programRuns);
    const QString name = QFileInfo(fbx).fileName();
    if (programMs < 0) {
        std::printf("time to first picture, %s: the program showed no model (a display is needed)\n", qPrintable(name));
        return clips;
    }
    std::printf("time to first picture, %s (median of %d starts): program %.1f ms, f3d %.1f ms, ratio %.3f\n"
                "  of which encoder alone %.1f ms, load %.1f ms, first frame %.1f ms, the rest %.1f ms\n",
                qPrintable(name), kStartRuns, programMs, f3dMs, f3dMs > 0 ? programMs / f3dMs : 0.0, encoderMs, loadMs,
                viewerMs - loadMs, programMs - encoderMs - viewerMs);
    if (measureIdle)
        std::printf("window at rest with %s shown: %.2f %% of a core over %d s (goal under 2 %%)\n", qPrintable(name),
                    program.idlePercent, kIdleSeconds);
    return clips;
}

// Where a scene light stands and where it shines, around the model: every
// one of the twelve reaches all of the model (unless put out of reach, see
// Reach) and lights the side the camera sees, and none is black.
struct BenchLight {
    engine::Light::Type type;
    engine::Vector3 towardsLight; // from the model's centre, unit length
};

const BenchLight kTwelveLights[] = {
    {engine::Light::DIRECTIONAL, {0.3f, 0.6f, 1.0f}},  {engine::Light::DIRECTIONAL, {-0.6f, 0.3f, 1.0f}},
    {engine::Light::DIRECTIONAL, {0.7f, -0.2f, 1.0f}}, {engine::Light::DIRECTIONAL, {-0.2f, -0.5f, 1.0f}},
    {engine::Light::POINT, {0.5f, 0.5f, 1.0f}},        {engine::Light::POINT, {-0.5f, 0.5f, 1.0f}},
    {engine::Light::POINT, {0.5f, -0.5f, 1.0f}},       {engine::Light::POINT, {-0.5f, -0.5f, 1.0f}},
    {engine::Light::SPOT, {0.0f, 0.4f, 1.0f}},         {engine::Light::SPOT, {0.4f, 0.0f, 1.0f}},
    {engine::Light::SPOT, {-0.4f, 0.0f, 1.0f}},        {engine::Light::SPOT, {0.0f, -0.4f, 1.0f}},
};

// Whether the point and spot lights reach the model: out of reach, point
// lights fall short of it and spot lights shine away from it, as lamps
// elsewhere in a large scene do.
enum class Reach { All, SunsOnly };

// The light of `place` as a node of its own, `towards` turned from the
// model's frame (z towards the camera) into the world.
engine::Node* lightNode(const BenchLight& place, const engine::Matrix& cameraTurn, const engine::BoundingSphere& model,
                        Reach reach)
{
    using engine::Vector3;
    const Vector3 towards = cameraTurn.transformVector(place.towardsLight).normalized();
    const float radius = std::max(model.radius, 1e-3f);
    engine::Light* light = nullptr;
    float distance = 0.0f;
    switch (place.type) {
    case engine::Light::DIRECTIONAL:
        light = engine::Light::createDirectional(Vector3(1.0f, 0.95f, 0.9f));
        break;
    case engine::Light::POINT:
        distance = 1.5f * radius;
        light = engine::Light::createPoint(Vector3(0.9f, 0.95f, 1.0f), (reach == Reach::All ? 4.0f : 0.4f) * radius);
        break;
    case engine::Light::SPOT:
        distance = 2.5f * radius;
        light = engine::Light::createSpot(Vector3(1.0f, 1.0f, 0.95f), 6.0f * radius, 0.35f, 0.6f);
        break;
    }
    engine::Node* node = engine::Node::create();
    node->setLight(light);
    light->release();
    node->setTranslation(model.center + towards * distance);
    // The node's forward (-z) is turned onto the direction it shines in.
    const Vector3 forward(0.0f, 0.0f, -1.0f), shine = reach == Reach::All ? -towards : towards;
    const Vector3 axis = forward.cross(shine);
    const float angle = std::acos(std::max(-1.0f, std::min(1.0f, forward.dot(shine))));
    node->setRotation(axis.length() > 1e-6f ? axis.normalized() : Vector3(0.0f, 1.0f, 0.0f), angle);
    return node;
}

// How the materials are lit: in a light pass, as the encoder writes opaque
// materials under scene lights, or each fragment as it is drawn, as
// containers written before the light pass are.
enum class Lighting { LightPass, EachFragment };

// Frame time of the loaded model lit by the first `lightCount` of the twelve
// scene lights (its materials rewritten to take that many of each kind):
// the same model, view and pixels for every count; only the lights differ.
double frameTimeWithLights(SceneViewer& viewer, const QString& modelFolder, int lightCount, Reach reach = Reach::All,
                           Lighting lighting = Lighting::LightPass)
{
    QFile file(modelFolder + "/model.material");
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    QString text = QString::fromUtf8(file.readAll());
    file.close();
    QStringList defines;
    for (const engine::Light::Type type : engine::SceneLightSet::kTypes) {
        const auto count = std::count_if(kTwelveLights, kTwelveLights + lightCount,
                                         [&](const BenchLight& light) { return light.type == type; });
        if (count > 0)
            defines << QStringLiteral("%1 %2").arg(QLatin1String(engine::SceneLightSet::countDefine(type))).arg(count);
    }
    text.replace(QRegularExpression("(DIRECTIONAL|POINT|SPOT)_LIGHT_COUNT \\d+;"), QString());
    text.replace(";DEFERRED_LIGHTING", QString());
    if (lighting == Lighting::LightPass)
        defines << "LINEAR_LIGHTING;DEFERRED_LIGHTING";
    else
        defines << "LINEAR_LIGHTING";
    text.replace("LINEAR_LIGHTING", defines.join(';'));
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return -1;
    file.close();
    viewer.loadModel();
    engine::Scene* scene = viewer.scene();
    engine::Node* root = scene->findNode("RootSceneNode");
    const engine::BoundingSphere bounds = root->getBoundingSphere();
    const engine::Matrix cameraTurn = scene->getActiveCamera()->getNode()->getWorldMatrix();
    engine::Node* lights = engine::Node::create("BenchLights");
    std::vector<engine::Light*> sceneLights;
    for (int i = 0; i < lightCount; ++i) {
        engine::Node* node = lightNode(kTwelveLights[i], cameraTurn, bounds, reach);
        lights->addChild(node);
        sceneLights.push_back(node->getLight());
        node->release();
    }
    scene->addNode(lights);
    scene->visit([&](engine::Node* node) {
        if (auto* model = dynamic_cast<engine::Model*>(node->getDrawable())) {
            for (int part = -1; part < int(model->getMeshPartCount()); ++part) {
                if (engine::Material* material = model->getMaterial(part))
                    engine::LightParameterBinder::bindSceneLights(material, node, sceneLights);
            }
        }
        return true;
    });
    viewer.frame();
    glFinish();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kFrames; ++i)
        viewer.frame();
    glFinish();
    const double ms = double(clock.nsecsElapsed()) / 1e6 / kFrames;
    scene->removeNode(lights);
    lights->release();
    return ms;
}

const int kLightRounds = 5;

// One light and twelve take turns, several rounds: on a shared machine the
// load changes from second to second, and the medians are compared.
void timeLights(SceneViewer& viewer, const QString& modelFolder)
{
    std::vector<double> ones, twelves, sunsOnly, onesEach, twelvesEach;
    for (int round = 0; round < kLightRounds; ++round) {
        ones.push_back(frameTimeWithLights(viewer, modelFolder, 1));
        twelves.push_back(frameTimeWithLights(viewer, modelFolder, 12));
        sunsOnly.push_back(frameTimeWithLights(viewer, modelFolder, 12, Reach::SunsOnly));
        onesEach.push_back(frameTimeWithLights(viewer, modelFolder, 1, Reach::All, Lighting::EachFragment));
        twelvesEach.push_back(frameTimeWithLights(viewer, modelFolder, 12, Reach::All, Lighting::EachFragment));
    }
    printRuns("  frames lit by 1 scene light:", ones, " %.1f");
    printRuns(" ms; by 12:", twelves, " %.1f");
    printRuns(" ms; by 12 missing:", sunsOnly, " %.1f");
    const double one = median(ones), twelve = median(twelves);
    std::printf(" ms\n  lit by 1 scene light: %.1f ms, by 12: %.1f ms (medians of %d), ratio %.2f (goal at most 1.3)\n",
                one, twelve, kLightRounds, one > 0 ? twelve / one : 0.0);
    std::printf("  by 12 of which the 8 point and spot lights miss the model: %.1f ms\n", median(sunsOnly));
    const double oneEach = median(onesEach), twelveEach = median(twelvesEach);
    std::printf("  lit as each fragment is drawn, without the light pass: by 1: %.1f ms, by 12: %.1f ms, ratio %.2f\n",
                oneEach, twelveEach, oneEach > 0 ? twelveEach / oneEach : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QString source = qEnvironmentVariable("VELMORA_SOURCE_DIR", QStringLiteral(VELMORA_SOURCE_DIR));
    QStringList arguments = application.arguments().mid(1);
    const bool lightsOnly = arguments.removeAll(QStringLiteral("--lights-only")) > 0;
    const QString shared = arguments.isEmpty() ? source + "/../shared/models" : arguments.first();
    const QString sample = source + "/samples/velmora-sample.fbx";
    const QString dense = shared + "/generated/e_highpoly_200k.fbx";
    const QString barbarian = shared + "/ufbx/data/blender_293_barbarian_7400_binary.fbx";
    QTemporaryDir temp;
    WorkspaceService workspace(temp.path(), QStringLiteral(VELMORA_BUILD_DIR));

    HeadlessContext context;
    if (!context.isValid() || !engine::Platform_Qt::isUsable(engine::Platform_Qt::initializeExtensions())) {
        std::printf("no off-screen OpenGL context\n");
        return 1;
    }
    OffscreenTarget window(kViewWidth, kViewHeight);
    SceneViewer viewer(nullptr);
    OffscreenPlatform platform(&viewer, kViewWidth, kViewHeight);
    viewer.setPlatform(&platform);
    viewer.setFolders({workspace.applicationParentFolder(), workspace.modelFolder(), workspace.metaFolder()});
    viewer.run();
    viewer.frame();

    if (!QFileInfo::exists(dense)) {
        std::printf("%s is missing: no 200k figures\n", qPrintable(dense));
    } else if (lightsOnly) {
        // Converted once, then only the frame times with lights.
        convert(workspace, dense);
        viewer.setFolders({workspace.applicationParentFolder(), workspace.modelFolder(), workspace.metaFolder()});
        timeLights(viewer, workspace.modelFolder());
        return 0;
    } else {
        timeFirstPicture(viewer, workspace, dense, temp.path());
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kFrames; ++i)
            viewer.frame();
        glFinish();
        std::printf("frame time, 196 608 triangles at %d x %d: %.1f ms\n", kViewWidth, kViewHeight,
                    double(clock.nsecsElapsed()) / 1e6 / kFrames);
        timeLights(viewer, workspace.modelFolder());
    }

    if (QFileInfo::exists(barbarian))
        timeFirstPicture(viewer, workspace, barbarian, temp.path());
    const QStringList clips = timeFirstPicture(viewer, workspace, sample, temp.path(), true);
    std::printf("heap allocations per frame, sample at rest: %.2f\n", allocationsPerFrame(viewer));
    if (clips.isEmpty()) {
        std::printf("the sample has no animation\n");
        return 1;
    }
    engine::Node* root = viewer.scene()->findNode("RootSceneNode");
    std::vector<engine::Animation*> animations;
    root->collectAnimations(animations);
    for (engine::Animation* animation : animations)
        animation->findClip()->setRepeatCount(0);
    const std::string clip = clips.front().toStdString();
    viewer.playAnimation(clip);
    std::printf("heap allocations per frame, \"%s\" playing: %.2f\n", clip.c_str(), allocationsPerFrame(viewer));
    root->addRef();
    viewer.scene()->removeNode(root);
    std::printf("heap allocations per frame, playing with the model's draw skipped: %.2f\n",
                allocationsPerFrame(viewer));
    viewer.scene()->addNode(root);
    root->release();
    attributeAllocations(viewer);
    viewer.stopAnimation(clip);
    return 0;
}
