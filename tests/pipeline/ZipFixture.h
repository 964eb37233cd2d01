#pragma once

// Writes zip archives with Python's zipfile, which takes any entry name we
// give it, hostile ones included. Header-only; used by the model manager and
// command-line tests.

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QVector>

namespace ZipFixture {

using Entries = QVector<QPair<QString, QByteArray>>;

inline bool write(const QString& archivePath, const Entries& entries)
{
    QJsonArray list;
    for (const auto& entry : entries)
        list.append(QJsonArray{entry.first, QString::fromLatin1(entry.second.toBase64())});
    const QJsonObject request{{"path", archivePath}, {"entries", list}};

    // The system's interpreter: a per-user one may depend on a HOME that the
    // test runner replaces.
    const QString interpreter = QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                                 : QStringLiteral("python3");
    QProcess python;
    python.start(interpreter,
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, json, zipfile, base64\n"
                                 "d = json.load(sys.stdin)\n"
                                 "with zipfile.ZipFile(d['path'], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                                 "    for name, data in d['entries']:\n"
                                 "        z.writestr(name, base64.b64decode(data))\n")});
    if (!python.waitForStarted(10000))
        return false;
    python.write(QJsonDocument(request).toJson());
    python.closeWriteChannel();
    return python.waitForFinished(30000) && python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0;
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
