#pragma once

#include <QObject>
#include <QString>

// One loaded model as the panels see it: where its bundle lies and which
// container version and format it came with.
class SceneGraph : public QObject {
    Q_OBJECT
public:
    SceneGraph(const QString& modelPath, const QString& version, int format, QObject* parent = nullptr);

    QString modelPath() const { return m_modelPath; }
    QString version() const { return m_version; }
    int format() const { return m_format; }

private:
    QString m_modelPath;
    QString m_version;
    int m_format;
};
