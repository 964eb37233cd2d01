#include "ModelInfoFile.h"

#include <QFile>
#include <QSaveFile>

#include <json/json.h>

#include <memory>
#include <string>

namespace {

// A real info file is a few hundred bytes; anything far larger is not ours.
const qint64 kMaximumInfoFileSize = 64 * 1024;

Json::Value boxObject(const engine::BoundingBox& box)
{
    const engine::Vector3 center = box.getCenter();
    Json::Value object(Json::objectValue);
    object["minX"] = box.min.x;
    object["minY"] = box.min.y;
    object["minZ"] = box.min.z;
    object["maxX"] = box.max.x;
    object["maxY"] = box.max.y;
    object["maxZ"] = box.max.z;
    object["centerX"] = center.x;
    object["centerY"] = center.y;
    object["centerZ"] = center.z;
    return object;
}

bool writeRoot(const QString& filePath, const Json::Value& root)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    const std::string text = Json::writeString(builder, root) + "\n";
    // Written aside and renamed, so a full disk never leaves half a file.
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.data(), qint64(text.size()));
    return file.commit();
}

bool readRoot(const QString& filePath, Json::Value* root)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaximumInfoFileSize)
        return false;
    const QByteArray text = file.readAll();
    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    try {
        return reader->parse(text.constData(), text.constData() + text.size(), root, &errors) && root->isObject();
    } catch (const std::exception&) {
        return false; // nesting deeper than JsonCpp's stack limit
    }
}

} // namespace

QString ModelInfoFile::path(const QString& metaFolder) { return metaFolder + QStringLiteral("/info"); }

bool ModelInfoFile::writeBoundingBox(const QString& metaFolder, const engine::BoundingBox& box)
{
    Json::Value root(Json::objectValue);
    root["boundingBox"] = boxObject(box);
    return writeRoot(path(metaFolder), root);
}

bool ModelInfoFile::setInfoValue(const QString& metaFolder, const char* key, const char* value)
{
    Json::Value root;
    if (!readRoot(path(metaFolder), &root))
        return false;
    root[key] = value;
    return writeRoot(path(metaFolder), root);
}
