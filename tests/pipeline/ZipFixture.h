#pragma once

// Writes zip archives with Python's zipfile, which takes any entry name we
// give it, hostile ones included. Also used by the application's tests.

#include "PipelineTestSupport.h"

namespace ZipFixture {

using Entries = QVector<QPair<QString, QByteArray>>;

// method: a zipfile constant such as "ZIP_DEFLATED", "ZIP_STORED", "ZIP_BZIP2".
inline bool write(const QString& archivePath, const Entries& entries, const QString& method = "ZIP_DEFLATED")
{
    QJsonArray list;
    for (const auto& entry : entries)
        list.append(QJsonArray {entry.first, QString::fromLatin1(entry.second.toBase64())});
    const QString script = QStringLiteral("import sys, json, zipfile, base64\n"
                                          "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.%1) as z:\n"
                                          "    for name, data in json.load(sys.stdin):\n"
                                          "        z.writestr(name, base64.b64decode(data))\n")
                               .arg(method);
    return testsupport::runPython(script, {archivePath}, QJsonDocument(list).toJson()).exitCode == 0;
}

inline QByteArray versionFile(const QByteArray& version, const QByteArray& formatJson)
{
    return "{\"encoderversion\":\"" + version + "\",\"format\":" + formatJson + "}\n";
}

// A container as the exporter writes it: bundle, version file, one shader.
inline Entries validModel(const QByteArray& formatJson = "4", const QByteArray& version = "1.7")
{
    return {{"model/model.gpb", QByteArray("GPB\xab container bundle")},
            {"model/version", versionFile(version, formatJson)},
            {"model/shaders/colored.vert", "void main() {}\n"}};
}

} // namespace ZipFixture
