#pragma once

#include <QByteArray>
#include <QString>

// The "version" file of a model folder: one JSON object naming the program
// version that produced the folder and the container format number.
class VersionFile {
public:
    static const int kCurrentFormat = 4; // formats above this are refused as too new
    static QString encoderVersion(); // "1.7"
    static QByteArray contents(); // {"encoderversion":"1.7","format":4}\n

    // Writes folder + "version"; a missing trailing "/" on folder is added.
    static bool write(const QString& folder);

    // Reads modelFolder + "/version". On failure errorText receives the text
    // to show for the broken file; format is -1 unless it was read.
    static bool read(const QString& modelFolder, QString* errorText, int* format, QString* version);
    // The same for the file's bytes, read from elsewhere (a container's entry).
    static bool parse(const QByteArray& text, QString* errorText, int* format, QString* version);

    // Texts of a too new format.
    static QString tooNewText();
};
