#pragma once

#include <QString>
#include <QStringList>

// The files the program opens: its own vm3 container and every source format
// the model encoder converts. The Open dialog, drag and drop, the command
// line, the operating system's open events and --convert all ask here, so a
// format is added in one place. Suffixes compare without regard to case.
class ModelFileTypes {
public:
    struct Format {
        const char* description; // what the user reads in the Open dialog
        const char* mimeType; // as the desktop's shared-mime-info knows it
        QStringList suffixes; // lower case, without the dot
    };

    // The container first, then FBX, then the other source formats.
    static const QList<Format>& formats();
    // Every suffix of every format, lower case.
    static const QStringList& suffixes();

    // suffix as QFileInfo::suffix() returns it; false for an empty text.
    static bool isSupportedSuffix(const QString& suffix);
    // An existing regular file (not a folder that happens to be named x.glb)
    // with a supported suffix.
    static bool isOpenableFile(const QString& path);
    static bool isContainerFile(const QString& path);

    // "3d-Model Files (*.vm3 *.fbx ...)" for QFileDialog.
    static QString openDialogFilter();
    // ".vm3, .fbx, ..." for messages that say what would have been accepted.
    static QString suffixListText();
};
