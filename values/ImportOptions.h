#pragma once

#include <QString>
#include <QStringList>

// How one import asks the model encoder to group animations and cull back
// faces. The names are the encoder's own option values ("--grouping root"),
// which the settings store and the command line use as well.
struct ImportOptions {
    enum class Grouping { None, Root, Take };
    enum class Culling { Off, Ccw, Cw, Material };

    Grouping grouping = Grouping::Root;
    Culling culling = Culling::Off;

    // In the order of the enumerators: "none", "root", "take".
    static const QStringList& groupingNames();
    // "off", "ccw", "cw", "material".
    static const QStringList& cullingNames();

    static QString nameOf(Grouping value) { return groupingNames().at(int(value)); }
    static QString nameOf(Culling value) { return cullingNames().at(int(value)); }
    QString groupingName() const { return nameOf(grouping); }
    QString cullingName() const { return nameOf(culling); }
    // False, leaving the options as they are, for a name the encoder does not know.
    bool setGroupingName(const QString& name);
    bool setCullingName(const QString& name);
};
