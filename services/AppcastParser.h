#pragma once

#include "AvailableUpdate.h"

#include <QByteArray>
#include <QString>

// Reads an appcast feed (RSS items with a "sparkle" enclosure) and picks the
// first item that offers a download for one platform. It only decides; the
// update checker talks to the user.
class AppcastParser {
public:
    enum class Outcome {
        UpdateFound, // `update` holds the first usable item
        NoItem, // a well-formed feed without any item
        MissingReleaseNotes, // items, but none usable; the first one lacked a release-notes link
        InvalidReleaseNotes, // ... its release-notes link is not a web address
        InvalidEnclosure, // ... it has no download for this platform
        Malformed, // not a well-formed XML document
    };

    struct Result {
        Outcome outcome = Outcome::NoItem;
        AvailableUpdate update;
        // For Malformed: line and text of the XML reader's complaint.
        qint64 errorLine = 0;
        QString errorText;
    };

    // `platform` is the enclosure's "velmora:platform" value this build installs.
    static Result parse(const QByteArray& feed, const QString& platform);
    // Why an item cannot be offered, or UpdateFound when it can.
    static Outcome checkItem(const AvailableUpdate& item);
};
