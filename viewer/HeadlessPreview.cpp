#include "HeadlessPreview.h"

#include "HeadlessContext.h"
#include "OffscreenPlatform.h"
#include "Platform_Qt.h"
#include "SceneViewer.h"

#include <QCoreApplication>

namespace {

const unsigned int kViewSize = 300;

QString tr(const char* text) { return QCoreApplication::translate("HeadlessPreview", text); }

QString withoutPreviews(const QString& reason) { return tr("No preview images in the container: %1").arg(reason); }

bool stopped(const std::atomic<bool>* stop) { return stop && stop->load(); }

} // namespace

QString HeadlessPreview::write(const ViewerFolders& folders, const std::atomic<bool>* stop, int size)
{
    SceneViewer::writeEmptyInfoFile(folders.metaFolder);
    if (stopped(stop))
        return withoutPreviews(tr("the conversion was stopped."));
    HeadlessContext context;
    if (!context.isValid() || !engine::Platform_Qt::isUsable(engine::Platform_Qt::initializeExtensions()))
        return withoutPreviews(tr("there is no display and no off-screen OpenGL."));

    QString problem;
    {
        SceneViewer viewer(nullptr);
        viewer.setFolders(folders);
        OffscreenPlatform platform(&viewer, kViewSize, kViewSize);
        viewer.setPlatform(&platform);
        if (viewer.run() != 0)
            return withoutPreviews(tr("the engine could not start on the off-screen context."));
        viewer.initialize();
        // Loading a large model is the long step: a stop during it skips the drawing.
        if (stopped(stop))
            return withoutPreviews(tr("the conversion was stopped."));
        const LoadResult loaded = viewer.loadModel();
        if (!loaded.failure.isEmpty())
            problem = loaded.failure;
        else if (!loaded.records.isEmpty())
            problem = loaded.records.first().message;
        if (stopped(stop))
            return withoutPreviews(tr("the conversion was stopped."));
        if (!viewer.captureRequestedThumbnails(size > 0 ? size : ThumbnailCapture::kThumbnailSize) && problem.isEmpty())
            problem = tr("the images could not be written.");
    }
    return problem.isEmpty() ? QString() : withoutPreviews(problem);
}
