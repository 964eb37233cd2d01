// The viewer's speed on Mesa's software renderer, without a window (EGL
// surfaceless, as a batch conversion draws), on models the real encoder
// converts first (untimed):
//  - time to the first drawn frame of a converted model (load, first frame;
//    the previews follow on the next frame), against f3d rendering the same
//    FBX to an image in the same run (f3d needs a display: run under
//    xvfb-run);
//  - frame time of the 200 000-triangle model;
//  - heap allocations per frame while the sample's animation plays (target:
//    none after the first frame), with the model drawn and with its draw
//    skipped, and how many of a frame's allocations come from inside the
//    OpenGL driver (their call stacks show it).
// Usage: bench_viewer [shared models folder]

#include "Animation.h"
#include "AnimationClip.h"
#include "ConsoleViewerHost.h"
#include "CountingAllocator.h"
#include "EncoderProcess.h"
#include "HeadlessContext.h"
#include "Node.h"
#include "OffscreenPlatform.h"
#include "OffscreenTarget.h"
#include "Platform_Qt.h"
#include "Scene.h"
#include "SceneViewer.h"
#include "WorkspaceService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <GL/glew.h>

#include <cstdio>
#include <dlfcn.h>
#include <execinfo.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const int viewWidth = 800;
const int viewHeight = 600;
const int frames = 30;

// A host that keeps the clip names the viewer announces.
class ClipListHost : public ConsoleViewerHost {
public:
    std::vector<std::string> clips;
    void viewerClearedAnimations() override { clips.clear(); }
    void viewerFoundAnimation(const char* clipId) override { clips.emplace_back(clipId); }
};

bool convert(WorkspaceService& workspace, const QString& fbx)
{
    workspace.setModelFile(fbx);
    workspace.prepareWorkspace();
    QDir().mkpath(workspace.metaFolder());
    EncoderProcess::run(
        workspace.encoderExecutable(),
        EncoderProcess::arguments(QStringLiteral("root"), QStringLiteral("off"), fbx, workspace.modelFile()),
        workspace.toolsFolder());
    return QFileInfo(workspace.modelFile()).size() > 0;
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
    const unsigned long long before = allocationCount;
    for (int i = 0; i < frames; ++i)
        viewer.frame();
    glFinish();
    return double(allocationCount - before) / frames;
}

// Who allocates during a frame: each allocation's stack is recorded by the
// allocation hook (backtrace does not allocate once the unwinder is loaded)
// and counted as the driver's when any of its frames lies in a Mesa or
// libGL library. The first few stacks are printed as they are.
const int tracedAllocations = 4096;
const int tracedDepth = 24;
const int printedStacks = 2;
void* tracedStacks[tracedAllocations][tracedDepth];
int tracedDepths[tracedAllocations];
int tracedCount = 0;

void recordAllocationStack()
{
    if (tracedCount < tracedAllocations) {
        const int slot = tracedCount++;
        tracedDepths[slot] = backtrace(tracedStacks[slot], tracedDepth);
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
    tracedCount = 0;
    allocationHook = recordAllocationStack;
    viewer.frame();
    glFinish();
    allocationHook = nullptr;
    int driver = 0;
    for (int i = 0; i < tracedCount; ++i) {
        bool inDriver = false;
        for (int frame = 0; frame < tracedDepths[i] && !inDriver; ++frame)
            inDriver = isDriverFrame(tracedStacks[i][frame]);
        driver += inDriver ? 1 : 0;
        if (!inDriver || i < printedStacks) {
            std::printf("allocation %d of a frame (%s), innermost first:\n", i + 1, inDriver ? "driver" : "ours");
            std::fflush(stdout);
            // Skips the hook and the counting function.
            backtrace_symbols_fd(tracedStacks[i] + 2, tracedDepths[i] - 2, STDOUT_FILENO);
        }
    }
    std::printf("allocations in one frame: %d, %d of them inside the OpenGL driver\n", tracedCount, driver);
}

void timeFirstPicture(SceneViewer& viewer, WorkspaceService& workspace, const QString& fbx, const QString& scratch)
{
    if (!convert(workspace, fbx)) {
        std::printf("%s: the encoder wrote nothing\n", qPrintable(fbx));
        return;
    }
    QElapsedTimer clock;
    clock.start();
    viewer.setFolders({workspace.applicationParentFolder(), workspace.modelFolder(), workspace.metaFolder()});
    viewer.loadModel(QStringLiteral("model.gpb"), QString(), 0);
    const double loadMs = double(clock.nsecsElapsed()) / 1e6;
    viewer.frame();
    glFinish();
    const double viewerMs = double(clock.nsecsElapsed()) / 1e6;
    viewer.frame(); // the previews, which wait for the first picture
    glFinish();
    const double f3dMs = timeF3d(fbx, scratch + "/f3d.png");
    std::printf("time to first picture, %s: viewer %.1f ms (load %.1f, first frame %.1f), f3d %.1f ms, "
                "ratio %.3f\n",
                qPrintable(QFileInfo(fbx).fileName()), viewerMs, loadMs, viewerMs - loadMs, f3dMs,
                f3dMs > 0 ? viewerMs / f3dMs : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QString source = qEnvironmentVariable("VELMORA_SOURCE_DIR", QStringLiteral(VELMORA_SOURCE_DIR));
    const QString shared = argc > 1 ? QString::fromLocal8Bit(argv[1]) : source + "/../shared/models";
    const QString sample = source + "/samples/velmora-sample.fbx";
    const QString dense = shared + "/generated/e_highpoly_200k.fbx";
    QTemporaryDir temp;
    WorkspaceService workspace(temp.path(), QStringLiteral(VELMORA_BUILD_DIR));

    HeadlessContext context;
    if (!context.isValid() || !engine::Platform_Qt::isUsable(engine::Platform_Qt::initializeExtensions())) {
        std::printf("no off-screen OpenGL context\n");
        return 1;
    }
    OffscreenTarget window(viewWidth, viewHeight);
    ClipListHost host;
    SceneViewer viewer(&host);
    OffscreenPlatform platform(&viewer, viewWidth, viewHeight);
    viewer.setPlatform(&platform);
    viewer.setFolders({workspace.applicationParentFolder(), workspace.modelFolder(), workspace.metaFolder()});
    viewer.run();
    viewer.frame();

    if (QFileInfo::exists(dense)) {
        timeFirstPicture(viewer, workspace, dense, temp.path());
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < frames; ++i)
            viewer.frame();
        glFinish();
        std::printf("frame time, 196 608 triangles at %d x %d: %.1f ms\n", viewWidth, viewHeight,
                    double(clock.nsecsElapsed()) / 1e6 / frames);
    } else {
        std::printf("%s is missing: no 200k figures\n", qPrintable(dense));
    }

    timeFirstPicture(viewer, workspace, sample, temp.path());
    std::printf("heap allocations per frame, sample at rest: %.2f\n", allocationsPerFrame(viewer));
    if (host.clips.empty()) {
        std::printf("the sample has no animation\n");
        return 1;
    }
    engine::Node* root = viewer.scene()->findNode("RootSceneNode");
    std::vector<engine::Animation*> animations;
    root->collectAnimations(animations);
    for (engine::Animation* animation : animations)
        animation->findClip()->setRepeatCount(0);
    viewer.playAnimation(host.clips.front());
    std::printf("heap allocations per frame, \"%s\" playing: %.2f\n", host.clips.front().c_str(),
                allocationsPerFrame(viewer));
    root->addRef();
    viewer.scene()->removeNode(root);
    std::printf("heap allocations per frame, playing with the model's draw skipped: %.2f\n",
                allocationsPerFrame(viewer));
    viewer.scene()->addNode(root);
    root->release();
    attributeAllocations(viewer);
    viewer.stopAnimation(host.clips.front());
    return 0;
}
