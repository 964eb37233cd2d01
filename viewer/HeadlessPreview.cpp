#include "HeadlessPreview.h"

#include "ConsoleViewerHost.h"
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

QString HeadlessPreview::write(const ViewerFolders& folders, const std::atomic<bool>* stop)
{
    SceneViewer::writeEmptyInfoFile(folders.metaFolder);
    if (stopped(stop))
        return withoutPreviews(tr("the conversion was stopped."));
    HeadlessContext context;
    if (!context.isValid() || !engine::Platform_Qt::isUsable(engine::Platform_Qt::initializeExtensions()))
        return withoutPreviews(tr("there is no display and no off-screen OpenGL."));

    ConsoleViewerHost host;
    QString problem;
    {
        SceneViewer viewer(&host);
        viewer.setFolders(folders);
        OffscreenPlatform platform(&viewer, kViewSize, kViewSize);
        viewer.setPlatform(&platform);
        if (viewer.run() != 0)
            return withoutPreviews(tr("the engine could not start on the off-screen context."));
        viewer.initialize();
        // Loading a large model is the long step: a stop during it skips the drawing.
        const EncoderOutputLogs* records
            = stopped(stop) ? nullptr : viewer.loadModel(QStringLiteral("model.gpb"), QString(), 0);
        if (records && !records->isEmpty())
            problem = records->first().message;
        if (stopped(stop))
            return withoutPreviews(tr("the conversion was stopped."));
        if (!viewer.captureRequestedThumbnails() && problem.isEmpty() && host.failure.isEmpty())
            problem = tr("the images could not be written.");
    }
    if (!host.failure.isEmpty())
        return withoutPreviews(host.failure);
    return problem.isEmpty() ? QString() : withoutPreviews(problem);
}
