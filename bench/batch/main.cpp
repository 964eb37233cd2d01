// Batch conversion against the way people convert many files without it:
// every shared model, in one "--convert -j 2 --output-dir" call on the
// folder, against a shell loop of one "--convert" call per file, in the same
// run. Files that fail, fail in both (and quickly). Prints both times and the
// ratio; target: at most 0.6. Then the batch once more without --force, in
// which every output is up to date: the cost of the check per file.
//
// Usage: bench_batch [shared models folder]
#include "BenchTiming.h"
#include "ModelFileTypes.h"

#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit;
}

QStringList modelFiles(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (ModelFileTypes::isSupportedSuffix(it.fileInfo().suffix()))
            files << path;
    }
    files.sort();
    return files;
}

// The inputs whose record in the report has this status.
QStringList inputsWithStatus(const QString& reportPath, const QString& status)
{
    QFile report(reportPath);
    QStringList inputs;
    if (!report.open(QIODevice::ReadOnly))
        return inputs;
    for (const QByteArray& line : report.readAll().split('\n')) {
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        if (record.value("status").toString() == status)
            inputs << record.value("input").toString();
    }
    return inputs;
}

QString shellQuoted(const QString& text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("'\\''")) + QLatin1Char('\'');
}

} // namespace

int main(int argc, char** argv)
{
    const QString models = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(SHARED_MODELS_DIR);
    const QString app = QStringLiteral(APP_PATH);
    QTemporaryDir scratch;
    const QStringList candidates = modelFiles(models);
    if (!scratch.isValid() || candidates.isEmpty()) {
        std::printf("no models below %s\n", qPrintable(models));
        return 1;
    }

    // A first batch finds the files that convert and warms the caches.
    const QString report = scratch.filePath("report.json");
    const QStringList batchArguments
        = {"--convert", "-j", "2", "--force", "--quiet", "--report", report, "--output-dir", scratch.filePath("batch"),
           models};
    run(app, batchArguments);
    const int converted = inputsWithStatus(report, "converted").size();

    bool ok = true;
    const bench::Timing batch = bench::timeOnce([&] { return run(app, batchArguments); }, &ok);
    QString script;
    for (int i = 0; i < candidates.size(); ++i)
        script += QStringLiteral("%1 --convert %2 %3\n")
                      .arg(shellQuoted(app), shellQuoted(candidates.at(i)),
                           shellQuoted(scratch.filePath(QStringLiteral("loop/%1.vm3").arg(i))));
    QDir().mkpath(scratch.filePath("loop"));
    const bench::Timing loop = bench::timeOnce([&] { return run("/bin/sh", {"-c", script}); }, &ok);
    if (!ok || converted == 0 || inputsWithStatus(report, "converted").size() != converted) {
        std::printf("the conversions did not run\n");
        return 1;
    }
    std::printf("%d models, %d of them convert\n", int(candidates.size()), converted);
    std::printf("batch -j 2: %.1f s (cpu %.1f s); shell loop: %.1f s (cpu %.1f s); ratio %.2f (goal <= 0.6)\n",
                batch.wall, batch.cpu, loop.wall, loop.cpu, batch.wall / loop.wall);

    QStringList noOpArguments = batchArguments;
    noOpArguments.removeAll(QStringLiteral("--force"));
    const bench::Timing noOp = bench::timeOnce([&] { return run(app, noOpArguments); }, &ok);
    const int upToDate = inputsWithStatus(report, "skipped").size();
    if (!ok || upToDate != converted) {
        std::printf("the rerun found %d of %d outputs up to date\n", upToDate, converted);
        return 1;
    }
    std::printf("rerun, all up to date: %.2f s (cpu %.2f s) for %d outputs, %.1f ms a file\n", noOp.wall, noOp.cpu,
                upToDate, noOp.wall * 1000 / upToDate);
    return 0;
}
