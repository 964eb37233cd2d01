#include "BatchPlan.h"

#include "ModelFileTypes.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>

namespace {

QString outputName(const QString& relativePath)
{
    const QFileInfo relative(relativePath);
    const QString folder = relative.path() == QLatin1String(".") ? QString() : relative.path() + QLatin1Char('/');
    return folder + relative.completeBaseName() + QStringLiteral(".vm3");
}

bool isBelow(const QString& path, const QString& folder) { return path.startsWith(folder + QLatin1Char('/')); }

// Model files below folder, by their path relative to it, sorted.
QStringList modelFilesBelow(const QString& folder, const QString& outputFolder)
{
    QStringList found;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (ModelFileTypes::isSupportedSuffix(it.fileInfo().suffix()) && !isBelow(path, outputFolder))
            found << root.relativeFilePath(path);
    }
    found.sort();
    return found;
}

} // namespace

BatchPlan BatchPlan::make(const QStringList& inputs, const QString& outputFolder, int shardIndex, int shardCount)
{
    const QString outputRoot = QDir::cleanPath(QFileInfo(outputFolder).absoluteFilePath());
    QVector<Item> all;
    for (const QString& input : inputs) {
        const QFileInfo info(input);
        const QString absolute = QDir::cleanPath(info.absoluteFilePath());
        if (!info.isDir()) {
            all.append({absolute, outputRoot + QLatin1Char('/') + outputName(info.fileName()), QString()});
            continue;
        }
        for (const QString& relative : modelFilesBelow(absolute, outputRoot))
            all.append({absolute + QLatin1Char('/') + relative, outputRoot + QLatin1Char('/') + outputName(relative),
                        QString()});
    }

    // a.fbx and a.obj in one folder would both become a.vm3: the first
    // keeps it, the others fail rather than overwrite it.
    QHash<QString, QString> firstInputOf;
    for (Item& item : all) {
        const auto first = firstInputOf.constFind(item.output);
        if (first != firstInputOf.constEnd())
            item.sameOutputAs = first.value();
        else
            firstInputOf.insert(item.output, item.input);
    }

    BatchPlan plan;
    plan.inputCount = all.size();
    for (int i = shardIndex - 1; i < all.size(); i += shardCount)
        plan.items.append(all.at(i));
    return plan;
}
