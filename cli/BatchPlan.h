#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Which inputs a batch converts and where each output goes, decided before
// anything is converted. A file given by name goes to DIR/<name>.vm3; the
// model files found below a folder go to DIR/<path below the folder>/<name>.vm3.
// The order is stable (the inputs as given, each folder's files sorted by
// their path below it), so that --shard K/N picks the same files on every
// machine.
struct BatchPlan {
    struct Item {
        QString input; // absolute
        QString output; // absolute
        QString sameOutputAs; // an earlier input that maps to the same output; empty when none
        // The file's name is not text in the system's encoding, so no path of
        // this program can name it: input shows its bytes as \xFF, output is empty.
        bool undecodableName = false;
    };

    QVector<Item> items; // those of this shard
    int inputCount = 0; // over all shards
    QString inputsDigest; // digestOf() the inputs of all shards

    // SHA-256 (hexadecimal) of the absolute input paths, one a line, in the
    // plan's order: equal for every shard of one run on the same inputs.
    static QString digestOf(const QStringList& absoluteInputs);

    // Files below the output folder are not inputs: converting a folder into
    // a folder inside it must not pick up the last run's outputs, also when
    // either is reached through a link.
    static BatchPlan make(const QStringList& inputs, const QString& outputFolder, int shardIndex, int shardCount);
};
