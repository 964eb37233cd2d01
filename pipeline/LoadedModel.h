#pragma once

#include "EncoderOutputLog.h"

#include <QMetaType>
#include <QString>

// What one finished import hands on: where the model lies and the records of
// its conversion. A failed import carries the records that say why.
struct LoadedModel {
    QString modelFolder; // the workspace's model folder
    QString modelPath; // the bundle ("model.gpb") or scene file inside it
    QString version;
    int format = 0;
    EncoderOutputLogs records;
};

Q_DECLARE_METATYPE(LoadedModel)
