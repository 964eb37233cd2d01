#include "ModelFileTypes.h"

#include <QFileInfo>

const QList<ModelFileTypes::Format>& ModelFileTypes::formats()
{
    static const QList<Format> kList {
        {"Velmora 3D model", "application/x-velmora-vm3", {QStringLiteral("vm3")}},
        {"FBX", "application/vnd.autodesk.fbx", {QStringLiteral("fbx")}},
        {"glTF 2.0", "model/gltf+json", {QStringLiteral("gltf")}},
        {"glTF 2.0 binary", "model/gltf-binary", {QStringLiteral("glb")}},
        {"Wavefront OBJ", "model/obj", {QStringLiteral("obj")}},
        {"Collada", "model/vnd.collada+xml", {QStringLiteral("dae")}},
        {"Stanford PLY", "application/x-ply", {QStringLiteral("ply")}},
        {"STL", "model/stl", {QStringLiteral("stl")}},
        {"3D Studio", "image/x-3ds", {QStringLiteral("3ds")}},
    };
    return kList;
}

const QStringList& ModelFileTypes::suffixes()
{
    static const QStringList kAll = [] {
        QStringList list;
        for (const Format& format : formats())
            list += format.suffixes;
        return list;
    }();
    return kAll;
}

bool ModelFileTypes::isSupportedSuffix(const QString& suffix)
{
    return !suffix.isEmpty() && suffixes().contains(suffix, Qt::CaseInsensitive);
}

bool ModelFileTypes::isOpenableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && isSupportedSuffix(info.suffix());
}

bool ModelFileTypes::isContainerFile(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("vm3"), Qt::CaseInsensitive) == 0;
}

QString ModelFileTypes::openDialogFilter()
{
    QStringList patterns;
    for (const QString& suffix : suffixes())
        patterns << QStringLiteral("*.") + suffix;
    return QStringLiteral("3d-Model Files (%1)").arg(patterns.join(QLatin1Char(' ')));
}

QString ModelFileTypes::suffixListText()
{
    QStringList dotted;
    for (const QString& suffix : suffixes())
        dotted << QStringLiteral(".") + suffix;
    return dotted.join(QStringLiteral(", "));
}
