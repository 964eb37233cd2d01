#include "StatusBarController.h"

#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QStatusBar>

namespace {

const int kStartUpClearDelayMs = 750;
const int kMessageDurationMs = 3000;

// Keeps two decimals without rounding up, so 1.999 kB never shows as 2 kB.
double cutToTwoDecimals(double value) { return double(qint64(value * 100.0)) / 100.0; }

// The megabyte and gigabyte steps work in single precision throughout.
float cutToTwoDecimals(float value) { return float(qint64(value * 100.0f)) / 100.0f; }

QString formatUnit(double value, const char* unit) { return QString::number(value, 'g', 6) + QLatin1String(unit); }

} // namespace

QString StatusBarController::startHint() { return tr("To get started drag a supported 3D file onto the canvas"); }

QString StatusBarController::formatFileSize(quint64 sizeInBytes)
{
    double k = double(sizeInBytes) / 1024.0;
    if (!(k > 1.0))
        return QString::number(sizeInBytes) + QLatin1String(" bytes");
    k = cutToTwoDecimals(k);
    QString text = formatUnit(k, " kB");

    float m = float(k / 1024.0);
    if (m > 1.0f) {
        m = cutToTwoDecimals(m);
        text = formatUnit(m, " MB");
    }
    float g = m / 1024.0f;
    if (g > 1.0f) {
        g = cutToTwoDecimals(g);
        text = formatUnit(g, " GB");
    }
    return text;
}

StatusBarController::StatusBarController(QMainWindow* mainWindow)
    : QObject(mainWindow)
{
    m_statusBar = new QStatusBar(mainWindow);
    m_statusBar->setSizeGripEnabled(false);

    m_progressBar = new QProgressBar(m_statusBar);
    m_progressBar->setTextVisible(false);
    m_messageLabel = new QLabel(QString(17, QLatin1Char(' ')), m_statusBar);
    m_messageLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_statisticsLabel = new QLabel(m_statusBar);
    m_statisticsLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    m_statusBar->addWidget(m_progressBar, 0);
    m_statusBar->addWidget(m_messageLabel, 35);
    m_statusBar->addWidget(m_statisticsLabel, 150);

    // Kept current for whoever wants to show it; not placed in the bar.
    m_framerateLabel = new QLabel(QStringLiteral("60 fps"), m_statusBar);
    m_framerateLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_framerateLabel->hide();

    m_stopTimer.setSingleShot(true);
    connect(&m_stopTimer, &QTimer::timeout, this, &StatusBarController::forceStopStatusBarProgress);
    m_messageTimer.setSingleShot(true);
    connect(&m_messageTimer, &QTimer::timeout, this, &StatusBarController::setStatusBarInfoMessageInternal);

    stopProgressAfter(kStartUpClearDelayMs);
}

void StatusBarController::forceStopStatusBarProgress()
{
    m_messageLabel->setText(QString(18, QLatin1Char(' ')));
    m_progressBar->setRange(0, 1);
    m_progressBar->setValue(0);
}

void StatusBarController::setStatusBarInfoMessageInternal()
{
    m_messageLabel->setText(m_pendingMessage);
    stopProgressAfter(kMessageDurationMs);
}

void StatusBarController::showProgress(const QString& message, int minimum, int maximum, int value)
{
    if (message.isEmpty())
        return;
    // A new progress supersedes whatever an earlier operation still had queued.
    m_stopTimer.stop();
    m_messageTimer.stop();
    m_messageLabel->setText(message);
    m_progressBar->setRange(minimum, maximum);
    m_progressBar->setValue(value);
}

void StatusBarController::showDelayedMessage(const QString& message, int delayMs)
{
    m_pendingMessage = message;
    m_messageTimer.start(delayMs);
}

void StatusBarController::stopProgressAfter(int delayMs) { m_stopTimer.start(delayMs); }

void StatusBarController::setModelStatistics(quint32 vertexCount, quint32 meshCount, quint64 fileSize)
{
    if (vertexCount == 0 && meshCount == 0) {
        m_statisticsLabel->setText(startHint());
        return;
    }
    // Each mesh once, however often it is drawn: the counts of --info.
    m_statisticsLabel->setText(QStringLiteral("<font color='Black'>") + tr("Distinct meshes: ")
                               + QString::number(meshCount) + tr(" - Vertices: ") + QString::number(vertexCount)
                               + tr(" - File size: ") + formatFileSize(fileSize) + QStringLiteral("</font>"));
}

void StatusBarController::setFramerate(int framerate)
{
    m_framerateLabel->setText(QString::number(framerate) + QStringLiteral(" fps"));
}
