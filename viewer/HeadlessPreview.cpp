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

} // namespace

QString HeadlessPreview::write(const ViewerFolders& folders)
{
    SceneViewer::writeEmptyInfoFile(folders.metaFolder);
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
        const EncoderOutputLogs* records = viewer.loadModel(QStringLiteral("model.gpb"), QString(), 0);
        if (records && !records->isEmpty())
            problem = records->first().message;
        if (!viewer.captureRequestedThumbnails() && problem.isEmpty() && host.failure.isEmpty())
            problem = tr("the images could not be written.");
    }
    if (!host.failure.isEmpty())
        return withoutPreviews(host.failure);
    return problem.isEmpty() ? QString() : withoutPreviews(problem);
}
