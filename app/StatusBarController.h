#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QLabel;
class QMainWindow;
class QProgressBar;
class QStatusBar;

// Owns the status bar: a progress bar, a message field for transient
// messages and a statistics field for the current model.
class StatusBarController : public QObject {
    Q_OBJECT
public:
    static QString startHint();
    // "N bytes", "N kB", "N MB" or "N GB", cut (not rounded) to two decimals.
    static QString formatFileSize(quint64 sizeInBytes);

    explicit StatusBarController(QMainWindow* mainWindow);

    QStatusBar* statusBar() const { return m_statusBar; }
    QProgressBar* progressBar() const { return m_progressBar; }
    QLabel* messageLabel() const { return m_messageLabel; }
    QLabel* statisticsLabel() const { return m_statisticsLabel; }

    void showProgress(const QString& message, int minimum, int maximum, int value);
    void showDelayedMessage(const QString& message, int delayMs);
    void stopProgressAfter(int delayMs);
    void setModelStatistics(quint32 vertexCount, quint32 meshCount, quint64 fileSize);
    void setFramerate(int framerate);

public slots:
    void forceStopStatusBarProgress();
    void setStatusBarInfoMessageInternal();

private:
    QStatusBar* m_statusBar;
    QProgressBar* m_progressBar;
    QLabel* m_messageLabel;
    QLabel* m_statisticsLabel;
    QLabel* m_framerateLabel;
    QString m_pendingMessage;
    // One timer per kind of pending change, so that a newer request replaces
    // an older one instead of an old timer wiping a newer message.
    QTimer m_stopTimer;
    QTimer m_messageTimer;
};
