#pragma once

#include "EncoderOutputLog.h"

#include <QString>
#include <QStringList>

namespace engine {
class Scene;
}

// What one load of a converted model came to, handed back to the caller.
struct LoadResult {
    enum class Outcome {
        Shown, // the model replaced the one shown before
        Refused, // the bundle holds no model; the records say why, the last model stays
        Failed, // nothing could be loaded (see failure); the last model stays
        NotDrawn, // rendering is off: the model converted, nothing is drawn
    };

    Outcome outcome = Outcome::Failed;
    engine::Scene* scene = nullptr; // the scene that shows the model, when shown
    unsigned int vertexCount = 0;
    unsigned int meshCount = 0;
    QStringList clips; // the model's clips, in the order they are listed
    EncoderOutputLogs records; // the viewer's own findings about the model
    QString failure; // why nothing loaded, for Failed

    bool shown() const { return outcome == Outcome::Shown; }
};
