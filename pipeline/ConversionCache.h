#pragma once

#include "ConversionStamp.h"
#include "EncoderProcess.h"

#include <QString>

// The last few conversions of the window, kept below the company folder
// ("cache/<content md5>-<path md5>-<grouping>-<culling>"), so that opening a file again, in this
// run or a later one, shows it without running the encoder: the model
// folder as the encoder left it and the encoder's console output, which
// becomes the same log records.
//
// An entry serves only the same content at the same path (the encoder names
// nodes after the file and finds textures beside it) converted with the same
// options by the same encoder (its version and its executable's size and time, so a
// rebuilt encoder converts anew). Entries are written beside their place and
// renamed into it, so a reader never sees half an entry, and processes that
// share the folder only ever lose a chance to reuse.
class ConversionCache {
public:
    static const int kCapacity = 5;

    ConversionCache(const QString& companyFolder, const QString& encoderExecutable);

    // Fills modelFolder from a matching entry and returns the encoder output
    // it recorded; false when there is none (or it could not be copied, in
    // which case modelFolder holds only what it held before).
    bool restore(const QString& inputPath, const ConversionStamp& source, const QString& modelFolder,
                 EncoderProcess::Result* result) const;
    // Keeps a successful conversion; the least recently used entries beyond
    // the capacity go.
    void store(const QString& inputPath, const ConversionStamp& source, const QString& modelFolder,
               const EncoderProcess::Result& result) const;

    QString folder() const { return m_folder; }

private:
    QString entryFolder(const QString& inputPath, const ConversionStamp& source) const;
    QString encoderIdentity() const;
    void prune() const;

    QString m_folder;
    QString m_encoderExecutable;
};
