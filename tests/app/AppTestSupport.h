#pragma once

// Shared by the application shell tests: the headers they all use, answering
// modal dialogs without ever hanging, a tracker that records instead of
// sending, and writing small files.

#include "AnalyticsTracker.h"
#include "LoadingIndicatorView.h"
#include "MainWindow.h"
#include "MainWindowController.h"
#include "MenuManager.h"
#include "StatusBarController.h"
#include "UserSettings.h"
#include "VelmoraResources.h"
#include "WEApplication.h"
#include "WorkspaceService.h"

#include <QAction>
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
    static constexpr int kWaitMs = 60000;

    static void answerNext(Answer answer, QWidget* ignore = nullptr);
    // Drops closers still waiting, so none answers a later test's dialog with
    // a lambda whose captures are gone.
    static void cancelAll();
    static void dismiss(QWidget* dialog);

private:
    ModalDialogCloser(Answer answer, QWidget* ignore);
    void poll();
    static QObject& waiting();

    Answer m_answer;
    QPointer<QWidget> m_ignore;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

// Writes down what it is asked to record, so tests can check the events and
// their order without a collector.
class RecordingTracker : public AnalyticsTracker {
public:
    RecordingTracker();
    void pageView(const QString& page) override;
    void trackEvent(const QString& category, const QString& action, const QString& label, int value) override;
    void startSending() override;

    QStringList calls;
};

// Closes the next message box and writes down "text|detail".
void answerNextBox(QString* seen, QWidget* ignore = nullptr);

// Runs `trigger` and answers every message box it shows with `button` (Ok if
// the box has no such button); returns the box texts in order, a ticked
// "Do not show" box marked " [ticked]".
QStringList answerBoxes(const std::function<void()>& trigger, QMessageBox::StandardButton button);

// The widget of the controller's main window named `name`.
template <typename T = QWidget>
T* findInWindow(const MainWindowController& controller, const char* name)
{
    return controller.mainWindow()->findChild<T*>(QLatin1String(name));
}

// The menu entry of `window` named `objectName`; null when there is none.
QAction* menuAction(QWidget* window, const QString& objectName);

// Triggers a menu entry that asks for a file and chooses `path` in its dialog
// (agreeing to replace a file of that name); the next message box after it is
// answered into `box` when one is given.
void chooseThroughMenu(QAction* entry, const QString& path, QString* box = nullptr);

// The path written, or an empty string when writing failed.
QString writeFile(const QString& path, const QByteArray& bytes = "x");
