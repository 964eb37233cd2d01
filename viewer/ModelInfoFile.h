#pragma once

#include "math/BoundingBox.h"

#include <QString>

// The small JSON file "info" in a model's ".meta" folder that travels with
// every export: the model's bounding box, and the names of its preview
// images once they exist.
class ModelInfoFile {
public:
    static QString path(const QString& metaFolder);

    // Replaces the file with one holding only "boundingBox". False when the
    // file cannot be written.
    static bool writeBoundingBox(const QString& metaFolder, const engine::BoundingBox& box);

    // Sets one string member of the existing object. False, leaving the file
    // as it was, when it is missing, not a JSON object, or cannot be written.
    static bool setInfoValue(const QString& metaFolder, const char* key, const char* value);
};
