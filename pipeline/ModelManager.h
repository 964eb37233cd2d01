#pragma once

#include "EncoderOutputParser.h"
#include "Loader.h"

#include <QObject>
#include <QString>

class SceneGraph;

// Runs imports and exports and routes their results: a Loader on the thread
// pool for FBX files, unpacking and a version check on the main thread for
// vm3 files, an Exporter on the thread pool for exports.
//
// Only the newest import counts: starting an import stops the encoder of the
// one before it and drops that one's result when it arrives anyway.
class ModelManager : public QObject {
    Q_OBJECT
public:
    explicit ModelManager(QObject* parent = nullptr);
    ~ModelManager() override;

    EncoderOutputParser* encoderOutputParser() { return &m_encoderOutputParser; }
    QString containerModelPath() const { return m_containerModelPath; }

    // suffix as QFileInfo::suffix() returns it; the rule is ModelFileTypes'.
    static bool isSupportedSuffix(const QString& suffix);

signals:
    // Any import, reloads included, from the moment it starts: the model
    // shown until now is about to be replaced.
    void importStarted(const QString& modelPath);
    void newModelLoaded(const QString modelPath);
    void newSceneGraphIsReadyToDisplay(SceneGraph* theNewSceneGraph, const EncoderOutputLogs* encoderToolLogs);
    void errorLoadingModel(QString);
    void modelExported(const QString& exportedFileName);
    void signalVersionError(QString);
    // A container that cannot be unpacked (damaged, or holding entries that
    // would land outside the workspace). Carries a text for the user.
    void signalImportError(QString message);
    // An export that did not produce the file; the previous file is untouched.
    void modelExportFailed(const QString& fileName, const QString& errorText);

public slots:
    void importModel(QString modelPath);
    void reimportModel();
    void exportModel(const QString& sourceFolder, const QString& outFilePath);
    void loaderDidFinish(int retValue, QString modelPath, QString version, int format, QString log, QString error);
    void exporterDidFinish(const QString& exportedFileName);
    void loadModel();

private:
    void startNewImport();
    void importContainer();
    void importWithEncoder();
    void reportContainerFailure(const QString& versionErrorText, const QString& importErrorText);
    void reportConversionFailure(const QString& log, const QString& error);

    QString m_currentModelPath;
    EncoderOutputParser m_encoderOutputParser;
    QString m_containerModelPath;

    quint64 m_importGeneration = 0;
    Loader::CancelFlag m_runningImportCancel;
};
