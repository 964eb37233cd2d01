// Packs and unpacks a model folder of realistic size with our vm3 code and
// with Info-ZIP (zip -r -q / unzip -q) in the same run, and prints the times
// and our time divided by Info-ZIP's (below 1.0 means we are faster). Then
// repacks a container of a real model (unpacked and packed again, as opening
// a vm3 file and exporting it does) against unzip + zip -r.
//
//   bench_zip [--runs N] [--scale F] [--model FILE]

#include "BenchFiles.h"
#include "BenchTiming.h"
#include "Exporter.h"
#include "VersionFile.h"
#include "ZipArchiveReader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using bench::randomBytes;
using bench::writeBytes;

// Vertex-like records: positions on a smooth surface, normals, texture
// coordinates and bone weights as 32-bit floats. Compresses somewhat, as
// real mesh data does, but far from text.
QByteArray meshLikeBytes(qint64 size, quint64 seed)
{
    QByteArray bytes;
    bytes.reserve(int(size));
    QRandomGenerator generator {quint32(seed)};
    const int floatsPerVertex = 16;
    std::vector<float> vertex(floatsPerVertex);
    for (int i = 0; bytes.size() < size; ++i) {
        const float u = float(i % 1024) / 1024.0f;
        const float v = float(i / 1024) / 1024.0f;
        vertex[0] = std::sin(u * 6.2831f) * (1.0f + 0.1f * v);
        vertex[1] = v * 4.0f;
        vertex[2] = std::cos(u * 6.2831f) * (1.0f + 0.1f * v);
        vertex[3] = vertex[0];
        vertex[4] = 0.0f;
        vertex[5] = vertex[2];
        vertex[6] = u;
        vertex[7] = v;
        vertex[8] = float(generator.bounded(4));
        vertex[9] = float(generator.bounded(4));
        vertex[10] = 0.75f;
        vertex[11] = 0.25f;
        for (int k = 12; k < floatsPerVertex; ++k)
            vertex[k] = float(generator.bounded(1000)) / 1000.0f;
        bytes.append(reinterpret_cast<const char*>(vertex.data()), int(vertex.size() * sizeof(float)));
    }
    bytes.truncate(int(size));
    return bytes;
}

QByteArray textBytes(qint64 size)
{
    const QByteArray line = "material body { technique { pass { shader { vertexShader = res/shaders/colored.vert "
                            "defines = SKINNING;SKINNING_JOINT_COUNT 32 } } } }\n";
    QByteArray bytes;
    for (int i = 0; bytes.size() < size; ++i)
        bytes += line + QByteArray::number(i) + "\n";
    bytes.truncate(int(size));
    return bytes;
}

qint64 makeModelFolder(const QString& model, double scale)
{
    struct Item {
        const char* name;
        qint64 size;
        int kind; // 0 mesh, 1 random, 2 text
    };
    const qint64 mb = 1024 * 1024;
    const std::vector<Item> items = {
        {"model.gpb", qint64(100 * mb * scale), 0},
        {"tex/diffuse.png", qint64(24 * mb * scale), 1},
        {"tex/normal.png", qint64(8 * mb * scale), 1},
        {"tex/mask.png", qint64(512 * 1024 * scale), 1},
        {"model.material", 48 * 1024, 2},
        {"model.animation", qint64(2 * mb * scale), 2},
        {"shaders/colored.vert", 9 * 1024, 2},
        {"shaders/colored.frag", 7 * 1024, 2},
        {"shaders/textured.vert", 11 * 1024, 2},
        {"shaders/textured.frag", 8 * 1024, 2},
        {"shaders/lib/lighting.frag", 5 * 1024, 2},
        {".meta/info", 180, 2},
        {".meta/thumbnail.png", 300 * 1024, 1},
    };
    qint64 total = 0;
    quint64 seed = 7;
    for (const Item& item : items) {
        QByteArray bytes = item.kind == 0 ? meshLikeBytes(item.size, seed++)
            : item.kind == 1              ? randomBytes(item.size, seed++)
                                          : textBytes(item.size);
        writeBytes(model + "/" + item.name, bytes);
        total += bytes.size();
    }
    // The exporter packs only a folder whose version file it can read.
    VersionFile::write(model + "/");
    return total + QFileInfo(model + "/version").size();
}

bool runPeer(const QString& program, const QStringList& arguments, const QString& folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString loadAverage()
{
    QFile file("/proc/loadavg");
    return file.open(QIODevice::ReadOnly) ? QString(file.readAll()).section(' ', 0, 2) : QString("unknown");
}

// Unpacks and packs again a container of a real model, ours against
// unzip + zip -r; returns our wall time divided by theirs, or -1.
double repackRealModel(const QString& root, const QString& modelFile, int runs)
{
    const QString container = root + "/real.vm3";
    if (!runPeer(APP_PATH, {"--convert", modelFile, container}, root)) {
        std::fprintf(stderr, "bench_zip: cannot convert %s\n", qPrintable(modelFile));
        return -1;
    }
    bool ok = true;
    std::vector<bench::Timing> ours, peer;
    for (int run = 0; run < runs; ++run) {
        const QString ourFolder = root + "/repack-ours", peerFolder = root + "/repack-peer";
        QDir(ourFolder).removeRecursively();
        QDir(peerFolder).removeRecursively();
        QFile::remove(root + "/repacked.vm3");
        QFile::remove(root + "/repacked.zip");
        ours.push_back(bench::timeOnce(
            [&] {
                ZipArchiveReader reader;
                return reader.open(container) && reader.extractAll(ourFolder)
                    && Exporter::exportFolder(ourFolder + "/model", root + "/repacked.vm3", nullptr, container).ok;
            },
            &ok));
        peer.push_back(bench::timeOnce(
            [&] {
                return runPeer("unzip", {"-q", container, "-d", peerFolder}, root)
                    && runPeer("zip", {"-r", "-q", root + "/repacked.zip", "model"}, peerFolder);
            },
            &ok));
    }
    if (!ok) {
        std::fprintf(stderr, "bench_zip: a repack failed\n");
        return -1;
    }
    const bench::Timing our = bench::median(ours), their = bench::median(peer);
    std::printf("repack : %s, container %.1f MB\n", qPrintable(QFileInfo(modelFile).fileName()),
                double(QFileInfo(container).size()) / (1024.0 * 1024.0));
    std::printf("repack : ours %.3f s (cpu %.3f s), unzip + zip -r %.3f s (cpu %.3f s), ratio %.2f (cpu %.2f)\n",
                our.wall, our.cpu, their.wall, their.cpu, our.wall / their.wall, our.cpu / their.cpu);
    return our.wall / their.wall;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("vm3 pack/unpack speed against Info-ZIP");
    parser.addHelpOption();
    QCommandLineOption runsOption("runs", "Runs per measurement (median is reported).", "N", "3");
    QCommandLineOption scaleOption("scale", "Scale of the large files (1.0: about 135 MB in total).", "F", "1.0");
    QCommandLineOption modelOption("model", "Model file converted for the repack.", "FILE",
                                   SHARED_MODELS_DIR "/generated/e_highpoly_200k.fbx");
    parser.addOption(runsOption);
    parser.addOption(scaleOption);
    parser.addOption(modelOption);
    parser.process(app);
    const int runs = std::max(1, parser.value(runsOption).toInt());
    const double scale = std::max(0.01, parser.value(scaleOption).toDouble());

    if (QStandardPaths::findExecutable("zip").isEmpty() || QStandardPaths::findExecutable("unzip").isEmpty()) {
        std::fprintf(stderr, "bench_zip: Info-ZIP zip and unzip are needed\n");
        return 2;
    }
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 2;
    const QString root = scratch.path();
    const QString model = root + "/src/model";
    const qint64 total = makeModelFolder(model, scale);
    std::printf("model folder: %.1f MB in 14 files\n", double(total) / (1024.0 * 1024.0));

    // Warm the page cache so that the first contender does not pay for it.
    runPeer("zip", {"-r", "-q", root + "/warm.zip", "model"}, root + "/src");
    QFile::remove(root + "/warm.zip");

    bool ok = true;
    std::vector<bench::Timing> oursPack, peerPack, oursUnpack, peerUnpack;
    for (int run = 0; run < runs; ++run) {
        const QString ourArchive = root + "/ours.vm3";
        const QString peerArchive = root + "/peer.zip";
        QFile::remove(ourArchive);
        QFile::remove(peerArchive);
        oursPack.push_back(bench::timeOnce([&] { return Exporter::exportFolder(model, ourArchive).ok; }, &ok));
        peerPack.push_back(bench::timeOnce(
            [&] {
                return runPeer("zip", {"-r", "-q", peerArchive, "model"}, root + "/src");
            },
            &ok));

        QDir(root + "/ours-out").removeRecursively();
        QDir(root + "/peer-out").removeRecursively();
        oursUnpack.push_back(bench::timeOnce(
            [&] {
                ZipArchiveReader reader;
                return reader.open(ourArchive) && reader.extractAll(root + "/ours-out");
            },
            &ok));
        peerUnpack.push_back(bench::timeOnce(
            [&] {
                return runPeer("unzip", {"-q", ourArchive, "-d", root + "/peer-out"}, root);
            },
            &ok));
        if (run == 0) {
            std::printf("archive sizes: ours %.1f MB, Info-ZIP %.1f MB\n",
                        double(QFileInfo(ourArchive).size()) / (1024.0 * 1024.0),
                        double(QFileInfo(peerArchive).size()) / (1024.0 * 1024.0));
        }
    }
    if (!ok) {
        std::fprintf(stderr, "bench_zip: a pack or unpack failed\n");
        return 1;
    }

    const bench::Timing ourPack = bench::median(oursPack), theirPack = bench::median(peerPack);
    const bench::Timing ourUnpack = bench::median(oursUnpack), theirUnpack = bench::median(peerUnpack);
    std::printf("runs: %d (median by wall time)\n", runs);
    std::printf("pack   : ours %.3f s (cpu %.3f s), zip -r -q %.3f s (cpu %.3f s), ratio %.2f (cpu %.2f)\n",
                ourPack.wall, ourPack.cpu, theirPack.wall, theirPack.cpu, ourPack.wall / theirPack.wall,
                ourPack.cpu / theirPack.cpu);
    std::printf("unpack : ours %.3f s (cpu %.3f s), unzip -q  %.3f s (cpu %.3f s), ratio %.2f (cpu %.2f)\n",
                ourUnpack.wall, ourUnpack.cpu, theirUnpack.wall, theirUnpack.cpu, ourUnpack.wall / theirUnpack.wall,
                ourUnpack.cpu / theirUnpack.cpu);
    const double repack = repackRealModel(root, parser.value(modelOption), runs);
    if (repack < 0)
        return 1;
    std::printf("repack ratio %.2f (target 0.50 or less), load average %s\n", repack, qPrintable(loadAverage()));
    return 0;
}
