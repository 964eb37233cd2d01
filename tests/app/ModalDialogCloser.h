#pragma once

#include <QApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the next modal dialog from inside its own event loop: polls until a
// modal widget other than `ignore` is active, then hands it to `answer`, which
// must close it. Gives up after a few seconds so a test never hangs on a
// dialog that did not appear.
class ModalDialogCloser : public QObject {
public:
    using Answer = std::function<void(QWidget* dialog)>;

    static void answerNext(Answer answer, QWidget* ignore = nullptr)
    {
        new ModalDialogCloser(std::move(answer), ignore);
    }

    // Drops every closer still waiting, so none answers a later test's
    // dialog with a lambda whose captures are gone.
    static void cancelAll()
    {
        for (ModalDialogCloser* closer : pending())
            delete closer;
        pending().clear();
    }

    ~ModalDialogCloser() override { pending().removeAll(this); }

private:
    ModalDialogCloser(Answer answer, QWidget* ignore)
        : m_answer(std::move(answer))
        , m_ignore(ignore)
    {
        pending().append(this);
        m_clock.start();
        connect(&m_timer, &QTimer::timeout, this, &ModalDialogCloser::poll);
        m_timer.start(20);
    }

    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != m_ignore && modal->isVisible()) {
            m_timer.stop();
            pending().removeAll(this);
            m_answer(modal);
            deleteLater();
        } else if (m_clock.elapsed() > 5000) {
            m_timer.stop();
            pending().removeAll(this);
            deleteLater();
        }
    }

    static QList<ModalDialogCloser*>& pending()
    {
        static QList<ModalDialogCloser*> closers;
        return closers;
    }

    Answer m_answer;
    QPointer<QWidget> m_ignore;
    QTimer m_timer;
    QElapsedTimer m_clock;
};
