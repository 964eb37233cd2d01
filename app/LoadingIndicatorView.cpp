#include "LoadingIndicatorView.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>

namespace {
const int kHideAfterTimeoutMs = 750;
}

LoadingIndicatorView::LoadingIndicatorView(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Sheet)
{
    setFixedSize(450, 75);
    m_messageLabel = new QLabel(this);
    m_progressBar = new QProgressBar(this);
    m_progressBar->setTextVisible(false);
    m_progressBar->setRange(0, 0);
    m_layout = new QGridLayout(this);
    m_layout->addWidget(m_progressBar, 0, 0);
    m_layout->addWidget(m_messageLabel, 0, 1);

    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &LoadingIndicatorView::timerDidFinish);
    m_hideTimer.setSingleShot(true);
    connect(&m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
    m_showTimer.setSingleShot(true);
    connect(&m_showTimer, &QTimer::timeout, this, &LoadingIndicatorView::showCentred);
}

int LoadingIndicatorView::start(const QString& message, int timeoutMs)
{
    m_hideTimer.stop();
    m_timer.stop();
    if (timeoutMs != 0)
        m_timer.start(timeoutMs);

    m_progressBar->setRange(0, 0);
    m_messageLabel->setText(message);
    if (!isVisible())
        m_showTimer.start(kShowDelayMs);
    return m_startCount++;
}

// Placed only now: at start-up the window manager may not have placed the
// main window yet, and centring on its first guess covered the menu bar.
void LoadingIndicatorView::showCentred()
{
    if (QWidget* owner = parentWidget())
        move(owner->frameGeometry().center() - rect().center());
    show();
}

void LoadingIndicatorView::stop(int delayMs)
{
    m_timer.stop();
    m_showTimer.stop();
    showFull();
    hideAfter(delayMs);
}

void LoadingIndicatorView::timerDidFinish()
{
    m_showTimer.stop();
    showFull();
    hideAfter(kHideAfterTimeoutMs);
}

void LoadingIndicatorView::showFull()
{
    m_progressBar->setRange(0, 1);
    m_progressBar->setValue(1);
}

void LoadingIndicatorView::hideAfter(int delayMs)
{
    if (delayMs == 0) {
        m_hideTimer.stop();
        hide();
    } else {
        m_hideTimer.start(delayMs);
    }
}
