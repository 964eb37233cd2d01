#include "AppTestSupport.h"

void ModalDialogCloser::answerNext(Answer answer, QWidget* ignore) { new ModalDialogCloser(std::move(answer), ignore); }

void ModalDialogCloser::cancelAll()
{
    const QObjectList closers = waiting().children(); // a copy: each deletion changes the list
    qDeleteAll(closers);
}

void ModalDialogCloser::dismiss(QWidget* dialog)
{
    if (QDialog* box = qobject_cast<QDialog*>(dialog))
        box->reject();
}

ModalDialogCloser::ModalDialogCloser(Answer answer, QWidget* ignore)
    : QObject(&waiting())
    , m_answer(std::move(answer))
    , m_ignore(ignore)
{
    m_clock.start();
    m_timer.callOnTimeout(this, &ModalDialogCloser::poll);
    m_timer.start(20);
}

void ModalDialogCloser::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    const bool found = modal && modal != m_ignore && modal->isVisible();
    if (!found && m_clock.elapsed() < kWaitMs)
        return;
    // Stopped before answering: the answer may run nested event loops.
    m_timer.stop();
    setParent(nullptr);
    deleteLater();
    if (found)
        m_answer(modal);
}

QObject& ModalDialogCloser::waiting()
{
    static QObject closers;
    return closers;
}

RecordingTracker::RecordingTracker()
    : AnalyticsTracker(QStringLiteral("UA-TEST"), QUrl(QStringLiteral("http://127.0.0.1:9/")),
                       QDir::current().absoluteFilePath(QStringLiteral("recording-tracker.xml")))
{
}

void RecordingTracker::pageView(const QString& page) { calls << QStringLiteral("page:") + page; }

void RecordingTracker::trackEvent(const QString& category, const QString& action, const QString& label, int value)
{
    calls << QStringLiteral("event:%1/%2/%3/%4").arg(category, action, label).arg(value);
}

void RecordingTracker::startSending() { calls << QStringLiteral("start"); }

void answerNextBox(QString* seen, QWidget* ignore)
{
    ModalDialogCloser::answerNext(
        [seen](QWidget* widget) {
            if (QMessageBox* box = qobject_cast<QMessageBox*>(widget))
                *seen = box->text() + '|' + box->informativeText() + box->detailedText();
            ModalDialogCloser::dismiss(widget);
        },
        ignore);
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}
