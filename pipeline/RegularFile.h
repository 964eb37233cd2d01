#pragma once

#include <QFile>
#include <QString>

namespace RegularFile {

// Opens 'file' (its fileName() set) for reading only when the name leads
// to a regular file, judged on what was opened: the name is opened without
// waiting, so a FIFO, whose open would wait for a writer, or a device,
// which may never answer, is refused at once and never read. On failure
// 'error' (optional) says why, the way QFile::errorString() would. Opened
// by its descriptor, the file no longer knows its name: fileName() is then
// empty.
bool openForReading(QFile* file, QIODevice::OpenMode extraMode = QIODevice::NotOpen, QString* error = nullptr);

// The refusal text for a name that is not a regular file.
QString notRegularText();

} // namespace RegularFile
