#pragma once

// Shared by the application shell tests: the headers they all use, answering
// modal dialogs without ever hanging, a tracker that records instead of
// sending, and small file helpers.

#include "AnalyticsTracker.h"
#include "LoadingIndicatorView.h"
#include "LoadingIndicatorViewController.h"
#include "MainWindow.h"
#include "MainWindowController.h"
#include "MenuManager.h"
#include "StatusBarController.h"
#include "VelmoraResources.h"
#include "WEApplication.h"

#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

// Answers the next modal dialog from inside its own event loop. The timer keeps
// polling until a modal widget other than `ignore` shows (a box can be late on a
// loaded machine), then hands it to `answer`, which must close it. After a minute
// it gives up; a test waiting for a box waits no longer than that.
class ModalDialogCloser : public QObject {
public:
    using Answer = std::function<void(QWidget* dialog)>;
    static const int waitMs = 60000;

    static void answerNext(Answer answer, QWidget* ignore = nullptr)
    {
        new ModalDialogCloser(std::move(answer), ignore);
    }

    // Drops closers still waiting, so none answers a later test's dialog with
    // a lambda whose captures are gone.
    static void cancelAll()
    {
        const QObjectList closers = waiting().children(); // a copy: each deletion changes the list
        qDeleteAll(closers);
    }

    static void dismiss(QWidget* dialog)
    {
        if (QDialog* box = qobject_cast<QDialog*>(dialog))
            box->reject();
    }

private:
    ModalDialogCloser(Answer answer, QWidget* ignore)
        : QObject(&waiting())
        , m_answer(std::move(answer))
        , m_ignore(ignore)
    {
        m_clock.start();
        m_timer.callOnTimeout(this, &ModalDialogCloser::poll);
        m_timer.start(20);
    }

    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        const bool found = modal && modal != m_ignore && modal->isVisible();
        if (!found && m_clock.elapsed() < waitMs)
            return;
        // Stopped before answering: the answer may run nested event loops.
        m_timer.stop();
        setParent(nullptr);
        deleteLater();
        if (found)
            m_answer(modal);
    }

    static QObject& waiting()
    {
        static QObject closers;
        return closers;
    }

    Answer m_answer;
    QPointer<QWidget> m_ignore;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

// A dialog nobody answers would block its test until the harness kills it:
// reject any modal dialog left open for half a minute, so the test fails on
// its checks instead. Starts with the application object.
inline void rejectStrayDialogs()
{
    QTimer* guard = new QTimer(QCoreApplication::instance());
    QObject::connect(guard, &QTimer::timeout, [seen = QPointer<QWidget>(), openFor = QElapsedTimer()]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != seen) {
            seen = modal;
            openFor.start();
        } else if (modal && openFor.elapsed() > 30000) {
            qWarning("Rejecting a modal dialog nobody answered: %s", qPrintable(modal->windowTitle()));
            ModalDialogCloser::dismiss(modal);
        }
    });
    guard->start(250);
}
Q_COREAPP_STARTUP_FUNCTION(rejectStrayDialogs)

// Writes down what it is asked to record, so tests can check the events and
// their order without a collector. Registered for its lifetime; puts back
// whatever was registered before.
class RecordingTracker : public AnalyticsTracker {
public:
    RecordingTracker()
        : AnalyticsTracker(QStringLiteral("UA-TEST"), QUrl(QStringLiteral("http://127.0.0.1:9/")),
                           QDir::current().absoluteFilePath(QStringLiteral("recording-tracker.xml")))
        , m_previous(AnalyticsTracker::instance())
    {
        AnalyticsTracker::setInstance(this);
    }
    ~RecordingTracker() override { AnalyticsTracker::setInstance(m_previous); }
    void pageView(const QString& page) override { calls << QStringLiteral("page:") + page; }
    void trackEvent(const QString& category, const QString& action, const QString& label, int value) override
    {
        calls << QStringLiteral("event:%1/%2/%3/%4").arg(category, action, label).arg(value);
    }
    void startSending() override { calls << QStringLiteral("start"); }

    QStringList calls;

private:
    AnalyticsTracker* m_previous;
};

// Closes the next message box and writes down "text|detail".
inline void answerNextBox(QString* seen, QWidget* ignore = nullptr)
{
    ModalDialogCloser::answerNext(
        [seen](QWidget* widget) {
            if (QMessageBox* box = qobject_cast<QMessageBox*>(widget))
                *seen = box->text() + '|' + box->detailedText();
            ModalDialogCloser::dismiss(widget);
        },
        ignore);
}

inline QString writeFile(const QString& path, const QByteArray& bytes = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}
