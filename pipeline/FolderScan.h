#pragma once

#include <QByteArray>
#include <QVector>

// The regular files below a folder (and links to them), by their path
// relative to it as the system names them: bytes, not text. QDir's listings
// leave out every name that does not decode in the locale's encoding (a
// Latin-1 name on a UTF-8 system), so a batch would drop such a file without
// a word; this walk keeps them, for the caller to say why it cannot take
// them. Linked folders are not entered, so a link cannot make the walk loop.
class FolderScan {
public:
    static QVector<QByteArray> filesBelow(const QByteArray& folder);

private:
    static void scan(const QByteArray& folder, const QByteArray& relative, QVector<QByteArray>* found);
};
