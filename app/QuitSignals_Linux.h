#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM and SIGINT (a session ending, kill, Ctrl+C in the terminal that
// started the window) arrive as a Qt signal on the main thread, so that the
// window can quit the way its Quit entry does and leave no work folder. The
// handler only writes the signal's number into a pipe; everything else runs
// from the event loop.
class QuitSignals_Linux : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals_Linux(QObject* parent = nullptr);
    ~QuitSignals_Linux() override;

signals:
    void quitRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};
