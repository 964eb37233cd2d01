#include "BatchPlan.h"

#include "CanonicalPath.h"
#include "FolderScan.h"
#include "ModelFileTypes.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace {

QString outputName(const QString& relativePath)
{
    const QFileInfo relative(relativePath);
    const QString folder = relative.path() == QLatin1String(".") ? QString() : relative.path() + QLatin1Char('/');
    return folder + relative.completeBaseName() + QStringLiteral(".vm3");
}

struct FoundFile {
    QString relative; // for a name that does not decode, its bytes shown as \xFF
    bool decodable = true;
};

// How many bytes the UTF-8 sequence led by this byte takes; 0 for no lead byte.
int sequenceLength(uchar lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    return lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
}

// A name that does not decode, as the console and the report can show it:
// its valid UTF-8 as text, every other byte as \xFF.
QString shownName(const QByteArray& raw)
{
    QString shown;
    for (int i = 0; i < raw.size();) {
        const int length = sequenceLength(uchar(raw.at(i)));
        const QByteArray piece = raw.mid(i, length);
        const QString decoded = QString::fromUtf8(piece);
        if (length > 0 && piece.size() == length && decoded.toUtf8() == piece
            && !decoded.contains(QChar::ReplacementCharacter)) {
            shown += decoded;
            i += length;
        } else {
            shown += QString::asprintf("\\x%02X", uint(uchar(raw.at(i))));
            ++i;
        }
    }
    return shown;
}

// Model files below folder, by their path relative to it, sorted; none at or
// below outputFolder (canonical).
QVector<FoundFile> modelFilesBelow(const QString& folder, const QString& outputFolder)
{
    const QString canonicalFolder = CanonicalPath::of(folder);
    QVector<FoundFile> found;
    for (const QByteArray& raw : FolderScan::filesBelow(QFile::encodeName(folder))) {
        const QString relative = QFile::decodeName(raw);
        if (!ModelFileTypes::isSupportedSuffix(QFileInfo(relative).suffix())
            || CanonicalPath::isAtOrBelow(canonicalFolder + QLatin1Char('/') + relative, outputFolder))
            continue;
        const bool decodable = QFile::encodeName(relative) == raw;
        found.append({decodable ? relative : shownName(raw), decodable});
    }
    std::sort(found.begin(), found.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.relative < b.relative; });
    return found;
}

} // namespace

QString BatchPlan::digestOf(const QStringList& absoluteInputs)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& input : absoluteInputs)
        hash.addData(input.toUtf8() + '\n');
    return QString::fromLatin1(hash.result().toHex());
}

BatchPlan BatchPlan::make(const QStringList& inputs, const QString& outputFolder, int shardIndex, int shardCount)
{
    const QString outputRoot = QDir::cleanPath(QFileInfo(outputFolder).absoluteFilePath());
    const QString canonicalOutputRoot = CanonicalPath::of(outputRoot);
    QVector<Item> all;
    for (const QString& input : inputs) {
        const QFileInfo info(input);
        const QString absolute = QDir::cleanPath(info.absoluteFilePath());
        if (!info.isDir()) {
            all.append({absolute, outputRoot + QLatin1Char('/') + outputName(info.fileName()), QString(), false});
            continue;
        }
        for (const FoundFile& file : modelFilesBelow(absolute, canonicalOutputRoot)) {
            const QString output
                = file.decodable ? outputRoot + QLatin1Char('/') + outputName(file.relative) : QString();
            all.append({absolute + QLatin1Char('/') + file.relative, output, QString(), !file.decodable});
        }
    }

    // a.fbx and a.obj in one folder would both become a.vm3: the first
    // keeps it, the others fail rather than overwrite it.
    QHash<QString, QString> firstInputOf;
    for (Item& item : all) {
        if (item.undecodableName)
            continue;
        const auto first = firstInputOf.constFind(item.output);
        if (first != firstInputOf.constEnd())
            item.sameOutputAs = first.value();
        else
            firstInputOf.insert(item.output, item.input);
    }

    BatchPlan plan;
    plan.inputCount = all.size();
    QStringList allInputs;
    for (const Item& item : qAsConst(all))
        allInputs << item.input;
    plan.inputsDigest = digestOf(allInputs);
    for (int i = shardIndex - 1; i < all.size(); i += shardCount)
        plan.items.append(all.at(i));
    return plan;
}
