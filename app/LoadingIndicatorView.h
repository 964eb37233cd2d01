#pragma once

#include <QTimer>
#include <QWidget>

class QGridLayout;
class QLabel;
class QProgressBar;

// A small busy window shown while a model is being opened.
class LoadingIndicatorView : public QWidget {
    Q_OBJECT
public:
    explicit LoadingIndicatorView(QWidget* mainWindow);

    // Shows the window with the message once the load has taken longer than
    // showDelayMs (quick loads never flash an unpainted box), centred over
    // the main window where it is then. A non-zero time-out finishes it by
    // itself after that many milliseconds. Returns how often it was started
    // before this call.
    int start(const QString& message, int timeoutMs);
    // Fills the bar and hides the window after the delay (at once for 0).
    void stop(int delayMs);

    static constexpr int kShowDelayMs = 300;

    QLabel* messageLabel() const { return m_messageLabel; }
    QProgressBar* progressBar() const { return m_progressBar; }

public slots:
    void timerDidFinish();

private:
    void showFull();
    void hideAfter(int delayMs);
    void showCentred();

    int m_startCount = 0;
    QLabel* m_messageLabel;
    QProgressBar* m_progressBar;
    QGridLayout* m_layout;
    QTimer m_timer;
    // Pending hide of an earlier stop; a new start cancels it so that an old
    // stop never hides the indicator of a newer load.
    QTimer m_hideTimer;
    QTimer m_showTimer;
};
