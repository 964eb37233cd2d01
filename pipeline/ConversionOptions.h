#pragma once

#include <QString>

// How the console converts a model. Grouping and culling come from the
// command line or the built-in defaults, never from the window's menus: one
// command gives one container everywhere.
struct ConversionOptions {
    QString grouping = QStringLiteral("root"); // none, root, take
    QString culling = QStringLiteral("off"); // off, ccw, cw, material
};
