// Reopening a model against opening it the first time, each to the first
// drawn frame the way the window gets there: the loader (the encoder, or the
// cache of finished conversions), the viewer's load and one frame, without a
// window (EGL surfaceless, Mesa). Prints the medians and the ratio; target:
// reopening takes at most 0.3 of the first opening.
// Usage: bench_reopen [model file]
#include "BenchTiming.h"
#include "HeadlessContext.h"
#include "ImportOptions.h"
#include "Loader.h"
#include "OffscreenPlatform.h"
#include "OffscreenTarget.h"
#include "Platform_Qt.h"
#include "SceneViewer.h"
#include "WorkspaceService.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <GL/glew.h>

#include <cstdio>

namespace {

const int kViewSize = 800;
const int kRuns = 3;

// The loader and the workspace narrate every copied file at debug level.
void dropDebugMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

bool openToFirstPicture(SceneViewer& viewer, WorkspaceService& workspace, const QString& model)
{
    workspace.setModelFile(model);
    {
        Loader loader(model, workspace);
        loader.setAutoDelete(false);
        loader.setImportOptions(ImportOptions());
        loader.run();
        if (loader.encoderResult().exitCode != 0)
            return false;
    }
    viewer.setFolders({workspace.applicationParentFolder(), workspace.modelFolder(), workspace.metaFolder()});
    const LoadResult loaded = viewer.loadModel();
    viewer.drawFrame();
    glFinish();
    return loaded.failure.isEmpty();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    qInstallMessageHandler(dropDebugMessages);
    const QString source = qEnvironmentVariable("VELMORA_SOURCE_DIR", QStringLiteral(VELMORA_SOURCE_DIR));
    const QString model = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                   : source + QStringLiteral("/../shared/models/generated/e_highpoly_200k.fbx");
    QTemporaryDir temp;
    WorkspaceService workspace(temp.path(), QStringLiteral(VELMORA_BUILD_DIR));
    const QString cache = QDir(WorkspacePaths::standardCompanyFolder(temp.path())).filePath(QStringLiteral("cache"));

    HeadlessContext context;
    if (!QFileInfo::exists(model) || !context.isValid()
        || !engine::Platform_Qt::isUsable(engine::Platform_Qt::initializeExtensions())) {
        std::printf("no model at %s, or no off-screen OpenGL context\n", qPrintable(model));
        return 1;
    }
    OffscreenTarget window(kViewSize, kViewSize);
    SceneViewer viewer(nullptr);
    OffscreenPlatform platform(&viewer, kViewSize, kViewSize);
    viewer.setPlatform(&platform);
    viewer.run();
    viewer.drawFrame();

    const auto first = bench::timeRuns(kRuns, [&] {
        QDir(cache).removeRecursively();
        return openToFirstPicture(viewer, workspace, model);
    });
    const auto again = bench::timeRuns(kRuns, [&] { return openToFirstPicture(viewer, workspace, model); });
    workspace.deleteCurrentWorkspace();
    if (first.empty() || again.empty()) {
        std::printf("%s did not open\n", qPrintable(model));
        return 1;
    }
    const double firstMs = bench::median(first).wall * 1e3;
    const double againMs = bench::median(again).wall * 1e3;
    std::printf("%s to first picture: first opening %.0f ms, reopening %.0f ms, ratio %.2f (goal <= 0.3)\n",
                qPrintable(QFileInfo(model).fileName()), firstMs, againMs, againMs / firstMs);
    return 0;
}
