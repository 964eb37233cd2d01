#pragma once

#include "OsInfoService.h"

#include <QByteArray>
#include <QMap>
#include <QString>

// Names the distribution (from os-release), the kernel release and the
// machine architecture (from uname).
class OsInfoService_Linux : public OsInfoService {
public:
    QString versionText() const override;
    QString osName() const override;
    QString hardwareAddress() const override;

    // The pieces below need no system call, so they can be checked with any input.

    // Parses the KEY=value lines of an os-release file: comments, blank lines
    // and malformed lines are skipped, quotes and backslash escapes removed,
    // control characters dropped.
    static QMap<QString, QString> parseOsRelease(const QByteArray& contents);
    // "PRETTY_NAME", else "NAME VERSION", else "NAME", else "Linux".
    static QString distributionName(const QMap<QString, QString>& osRelease);
    // e.g. "Debian GNU/Linux 12 (bookworm), kernel 6.1.0-18-amd64, x86_64".
    static QString composeVersionText(const QString& distribution, const QString& kernelRelease,
                                      const QString& machine);

private:
    static QByteArray readOsRelease();
};
