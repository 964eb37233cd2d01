#include "VersionFile.h"

#include "BuildConfig.h"
#include "RegularFile.h"

#include <QFile>

#include <json/json.h>

#include <exception>
#include <memory>
#include <sstream>

namespace {

// A real version file is a few dozen bytes; anything much larger is not one
// and must not be read into memory whole.
const qint64 kMaxVersionFileSize = 64 * 1024;

const char* const kMissing
    = "Error reading version/format from the vm3 file: Version file missing. Please create the vm3-file again.";
const char* const kParseError
    = "Error reading version/format from the vm3 file: Json parsing error. Please create the vm3-file again.";
const char* const kNotObject
    = "Error reading version/format from the vm3 file: Json parsing error Please create the vm3-file again.";
const char* const kBadVersion = "Error reading version/format from the vm3 file: Json parsing error on file version. "
                                "Please create the vm3-file again.";
const char* const kBadFormat = "Error reading version/format from the vm3 file: Json parsing error on file format. "
                               "Please create the vm3-file again.";

bool fail(QString* errorText, const char* text)
{
    if (errorText)
        *errorText = QString::fromLatin1(text);
    return false;
}

// Lines are joined without separators, as the file is one JSON line anyway.
QByteArray readJoinedLines(QFile& file)
{
    QByteArray joined;
    while (!file.atEnd()) {
        QByteArray line = file.readLine(kMaxVersionFileSize + 1);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        joined += line;
        if (joined.size() > kMaxVersionFileSize)
            break;
    }
    return joined;
}

} // namespace

QString VersionFile::encoderVersion() { return QLatin1String(VELMORA_VERSION); }

QByteArray VersionFile::contents()
{
    Json::Value root(Json::objectValue);
    root["encoderversion"] = encoderVersion().toStdString();
    root["format"] = kCurrentFormat;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    const std::string text = Json::writeString(builder, root) + "\n";
    return QByteArray(text.data(), int(text.size()));
}

bool VersionFile::write(const QString& folder)
{
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    QFile file(path + QStringLiteral("version"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = contents();
    return file.write(bytes) == bytes.size() && file.flush();
}

bool VersionFile::read(const QString& modelFolder, QString* errorText, int* format, QString* version)
{
    if (format)
        *format = -1;
    QFile file(modelFolder + QStringLiteral("/version"));
    // Only a regular file is opened (a FIFO would block); a large one is
    // refused by its size, before a byte of it is read.
    if (!RegularFile::openForReading(&file, QIODevice::Text))
        return fail(errorText, kMissing);
    if (file.size() > kMaxVersionFileSize)
        return fail(errorText, kParseError);
    return parse(readJoinedLines(file), errorText, format, version);
}

bool VersionFile::parse(const QByteArray& text, QString* errorText, int* format, QString* version)
{
    if (format)
        *format = -1;
    if (text.size() > kMaxVersionFileSize)
        return fail(errorText, kParseError);

    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string parseErrors;
    bool parsed = false;
    try {
        parsed = reader->parse(text.constData(), text.constData() + text.size(), &root, &parseErrors);
    } catch (const std::exception&) {
        parsed = false; // JsonCpp throws on nesting deeper than its stack limit
    }
    if (!parsed)
        return fail(errorText, kParseError);
    if (!root.isObject())
        return fail(errorText, kNotObject);

    const Json::Value& encoderVersion = root["encoderversion"];
    if (!encoderVersion.isString())
        return fail(errorText, kBadVersion);
    if (version)
        *version = QString::fromStdString(encoderVersion.asString());

    // Only a JSON integer in int range counts: 4.0, "4" or 2^40 are refused.
    const Json::Value& formatValue = root["format"];
    if (formatValue.type() != Json::intValue || !formatValue.isInt())
        return fail(errorText, kBadFormat);
    if (format)
        *format = formatValue.asInt();
    return true;
}

QString VersionFile::tooNewText()
{
    return QStringLiteral("VM3 file format version not supported. Please update your Application Velmora3dEncoder");
}
