#include "FileDigestTask.h"

FileDigestTask::FileDigestTask(const QString& filePath)
    : m_filePath(filePath)
{
}

void FileDigestTask::run() { emit digestTaken(m_filePath, FileDigest::take(m_filePath)); }

void FileDigestTask::registerTypes() { qRegisterMetaType<FileDigest::Snapshot>("FileDigest::Snapshot"); }
