#include "OsInfoService_Linux.h"

#include <QFile>
#include <QStringList>

#include <sys/utsname.h>

namespace {

// os-release is a few hundred bytes; anything far larger is not one.
const qint64 kMaxOsReleaseSize = 64 * 1024;

QString withoutControlCharacters(const QString& text)
{
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control)
            clean.append(c);
    }
    return clean;
}

bool isValidKey(const QString& key)
{
    if (key.isEmpty())
        return false;
    for (const QChar c : key) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('_')))
            return false;
    }
    return true;
}

// Shell-like unquoting as os-release allows it: one quoted string, or a bare word.
bool unquote(const QString& raw, QString* value)
{
    if (raw.isEmpty()) {
        value->clear();
        return true;
    }
    const QChar quote = raw.at(0);
    if (quote != QLatin1Char('"') && quote != QLatin1Char('\'')) {
        *value = raw;
        return true;
    }
    QString result;
    for (int i = 1; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == quote) {
            // Text after the closing quote makes the line malformed.
            if (i != raw.size() - 1)
                return false;
            *value = result;
            return true;
        }
        if (quote == QLatin1Char('"') && c == QLatin1Char('\\') && i + 1 < raw.size()) {
            result.append(raw.at(++i));
            continue;
        }
        result.append(c);
    }
    return false; // unterminated quote
}

QString unameField(const char* field) { return withoutControlCharacters(QString::fromLocal8Bit(field)).trimmed(); }

} // namespace

QMap<QString, QString> OsInfoService_Linux::parseOsRelease(const QByteArray& contents)
{
    QMap<QString, QString> values;
    const QStringList lines = QString::fromUtf8(contents.left(kMaxOsReleaseSize)).split(QLatin1Char('\n'));
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = line.left(equals);
        if (!isValidKey(key))
            continue;
        QString value;
        if (!unquote(line.mid(equals + 1), &value))
            continue;
        values.insert(key, withoutControlCharacters(value).trimmed());
    }
    return values;
}

QString OsInfoService_Linux::distributionName(const QMap<QString, QString>& osRelease)
{
    const QString pretty = osRelease.value(QStringLiteral("PRETTY_NAME"));
    if (!pretty.isEmpty())
        return pretty;
    const QString name = osRelease.value(QStringLiteral("NAME"));
    const QString version = osRelease.value(QStringLiteral("VERSION"));
    if (!name.isEmpty() && !version.isEmpty())
        return name + QLatin1Char(' ') + version;
    if (!name.isEmpty())
        return name;
    return QStringLiteral("Linux");
}

QString OsInfoService_Linux::composeVersionText(const QString& distribution, const QString& kernelRelease,
                                                const QString& machine)
{
    QString text = distribution.isEmpty() ? QStringLiteral("Linux") : distribution;
    if (!kernelRelease.isEmpty())
        text += QStringLiteral(", kernel ") + kernelRelease;
    if (!machine.isEmpty())
        text += QStringLiteral(", ") + machine;
    return text;
}

QByteArray OsInfoService_Linux::readOsRelease()
{
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile file(QString::fromLatin1(path));
        if (file.open(QIODevice::ReadOnly))
            return file.read(kMaxOsReleaseSize);
    }
    return QByteArray();
}

QString OsInfoService_Linux::versionText() const
{
    QString kernel;
    QString machine;
    struct utsname names;
    if (uname(&names) == 0) {
        kernel = unameField(names.release);
        machine = unameField(names.machine);
    }
    return composeVersionText(distributionName(parseOsRelease(readOsRelease())), kernel, machine);
}

QString OsInfoService_Linux::osName() const { return QStringLiteral("Linux"); }

QString OsInfoService_Linux::hardwareAddress() const { return firstNonLoopbackHardwareAddress(); }
