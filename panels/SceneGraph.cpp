#include "SceneGraph.h"

SceneGraph::SceneGraph(const QString& modelPath, const QString& version, int format, QObject* parent)
    : QObject(parent)
    , m_modelPath(modelPath)
    , m_version(version)
    , m_format(format)
{
}
