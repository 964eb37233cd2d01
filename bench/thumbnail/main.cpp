// The file manager's preview of a large vm3 container: the program's
// --thumbnail (a process start, the container judged and unpacked as
// --convert does, its bundle read, the preview scaled) against unpacking the
// whole container with Info-ZIP's unzip, in the same run. Prints the median
// times and our time divided by unzip's.
//
//   bench_thumbnail [--runs N] [--megabytes M]

#include "BenchFiles.h"
#include "BenchTiming.h"
#include "ContainerThumbnail.h"
#include "Exporter.h"
#include "VersionFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using bench::randomBytes;
using bench::writeBytes;

// A model folder as a real conversion leaves it: the sample's bundle, big
// textures, the preview and the version file.
bool writeModelFolder(const QString& folder, int megabytes)
{
    const int textures = 8;
    const int textureBytes = megabytes * 1024 * 1024 / textures;
    if (!QDir().mkpath(folder) || QProcess::execute(MODEL_ENCODER_PATH, {SAMPLE_MODEL, folder + "/model.gpb"}) != 0)
        return false;
    for (int i = 0; i < textures; ++i) {
        if (!writeBytes(folder + QString("/tex/texture%1.png").arg(i), randomBytes(textureBytes, quint64(i) + 2)))
            return false;
    }
    // Conversions write 300 x 300 previews.
    QImage preview(300, 300, QImage::Format_RGB32);
    for (int y = 0; y < preview.height(); ++y) {
        for (int x = 0; x < preview.width(); ++x)
            preview.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
    }
    return QDir().mkpath(folder + "/.meta") && preview.save(folder + "/.meta/perspective.png")
        && VersionFile::write(folder);
}

// Milliseconds, or -1 when a run failed.
double medianMs(int runs, const std::function<bool()>& work)
{
    const std::vector<bench::Timing> timings = bench::timeRuns(runs, work);
    return timings.empty() ? -1 : bench::median(timings).wall * 1e3;
}

bool runQuietly(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption runsOption("runs", "Timed runs of each side (median printed).", "N", "9");
    const QCommandLineOption sizeOption("megabytes", "Size of the container.", "M", "100");
    parser.addOptions({runsOption, sizeOption});
    parser.addHelpOption();
    parser.process(application);
    const int runs = std::max(1, parser.value(runsOption).toInt());
    const int megabytes = std::max(1, parser.value(sizeOption).toInt());

    QTemporaryDir work;
    const QString container = work.filePath("big.vm3");
    if (!writeModelFolder(work.filePath("model"), megabytes)
        || !Exporter::exportFolder(work.filePath("model"), container).ok) {
        std::fprintf(stderr, "could not write the test container\n");
        return 1;
    }
    const QString thumbnail = work.filePath("thumb.png");
    const double ours = medianMs(runs, [&] {
        return runQuietly(VELMORA_PROGRAM, {"--thumbnail", container, thumbnail, "256"});
    });
    const double inProcess = medianMs(runs, [&] {
        return ContainerThumbnail::write(work.filePath("model/.meta/perspective.png"), thumbnail, 256, nullptr);
    });
    const double unzip = medianMs(runs, [&] {
        QDir(work.filePath("unpacked")).removeRecursively();
        return runQuietly("unzip", {"-q", "-o", container, "-d", work.filePath("unpacked")});
    });
    if (ours < 0 || inProcess < 0 || unzip < 0) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    std::printf("container: %.1f MB\n", double(QFileInfo(container).size()) / 1e6);
    std::printf("--thumbnail (process):     %8.2f ms\n", ours);
    std::printf("scaling the preview alone: %8.2f ms\n", inProcess);
    std::printf("unzip (whole container):   %8.2f ms\n", unzip);
    std::printf("ratio --thumbnail / unzip: %8.3f\n", ours / unzip);
    return 0;
}
