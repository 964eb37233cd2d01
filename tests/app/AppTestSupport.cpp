#include "AppTestSupport.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

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

QStringList answerBoxes(const std::function<void()>& trigger, QMessageBox::StandardButton button)
{
    QStringList seen;
    std::function<void(QWidget*)> answer = [&](QWidget* widget) {
        QMessageBox* box = qobject_cast<QMessageBox*>(widget);
        if (!box)
            return ModalDialogCloser::dismiss(widget);
        // Every box carries the window's name, never the program's file name.
        seen << box->text() + (box->windowTitle() == "Velmora 3D Encoder" ? "" : " [" + box->windowTitle() + "]")
                + (box->checkBox() && box->checkBox()->isChecked() ? " [ticked]" : "");
        ModalDialogCloser::answerNext(answer, box); // be ready for a box that follows
        (box->button(button) ? box->button(button) : box->button(QMessageBox::Ok))->click();
    };
    ModalDialogCloser::answerNext(answer);
    trigger();
    ModalDialogCloser::cancelAll();
    return seen;
}

QAction* menuAction(QWidget* window, const QString& objectName)
{
    for (QMenu* menu : window->findChildren<QMenu*>())
        for (QAction* action : menu->actions())
            if (action->objectName() == objectName)
                return action;
    return nullptr;
}

void chooseThroughMenu(QAction* entry, const QString& path, QString* box)
{
    ModalDialogCloser::answerNext([path, box](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        dialog->selectFile(path); // drops a file picked in the list, which would win over the typed name
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
        if (dialog->acceptMode() == QFileDialog::AcceptSave && QFileInfo::exists(path))
            ModalDialogCloser::answerNext(
                [](QWidget* ask) { qobject_cast<QMessageBox*>(ask)->button(QMessageBox::Yes)->click(); }, dialog);
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog's own checks run
        if (box)
            answerNextBox(box, dialog);
    });
    entry->trigger();
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}
