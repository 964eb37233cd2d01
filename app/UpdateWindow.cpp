#include "UpdateWindow.h"

#include "AppIdentity.h"
#include "AvailableUpdate.h"
#include "CustomTextBrowser.h"
#include "UpdateChecker.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// Release notes are a page of text; a bigger answer is not shown.
const qint64 kMaximumReleaseNotesSize = 1024 * 1024;
const int kTransferTimeoutMs = 30000;

QPushButton* addButton(QBoxLayout* layout, const QString& text, const char* objectName)
{
    auto* button = new QPushButton(text);
    button->setObjectName(QLatin1String(objectName));
    layout->addWidget(button);
    return button;
}
} // namespace

UpdateWindow::UpdateWindow(QNetworkAccessManager* network, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_network(network)
{
    setObjectName(QStringLiteral("updateWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Velmora 3D Encoder Update"));
    resize(560, 420);

    auto* layout = new QVBoxLayout(this);
    m_heading = new QLabel(this);
    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    m_heading->setFont(headingFont);
    m_question = new QLabel(this);
    m_question->setObjectName(QStringLiteral("updateQuestion"));
    m_question->setWordWrap(true);
    m_releaseNotes = new CustomTextBrowser(this);
    m_releaseNotes->setObjectName(QStringLiteral("releaseNotes"));
    layout->addWidget(m_heading);
    layout->addWidget(m_question);
    layout->addWidget(new QLabel(tr("Release Notes: "), this));
    layout->addWidget(m_releaseNotes, 1);

    auto* buttons = new QHBoxLayout();
    connect(addButton(buttons, tr("Skip This Version"), "skipButton"), &QPushButton::clicked, this,
            &UpdateWindow::skipClicked);
    buttons->addStretch(1);
    connect(addButton(buttons, tr("Remind Me Later"), "remindButton"), &QPushButton::clicked, this,
            &UpdateWindow::remindLaterClicked);
    connect(addButton(buttons, tr("Install Update"), "installButton"), &QPushButton::clicked, this,
            &UpdateWindow::installClicked);
    layout->addLayout(buttons);
}

UpdateWindow::~UpdateWindow()
{
    if (m_releaseNotesReply) {
        m_releaseNotesReply->disconnect(this);
        m_releaseNotesReply->abort();
        m_releaseNotesReply->deleteLater();
    }
}

void UpdateWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}

bool UpdateWindow::fill(const AvailableUpdate* update)
{
    if (!update)
        return false;
    const QString name = QLatin1String(AppIdentity::kApplicationName);
    m_heading->setText(tr("A new version of %1 is available!").arg(name));
    m_question->setText(tr("%1 %2 is now available - you are currently running %3. Would you like to download it now?")
                            .arg(name, update->enclosureVersion, QLatin1String(UpdateChecker::kRunningVersion)));
    fetchReleaseNotes(update->releaseNotesLink);
    return true;
}

void UpdateWindow::fetchReleaseNotes(const QUrl& url)
{
    m_releaseNotes->setPlainText(tr("Loading the release notes..."));
    QNetworkRequest request(url);
    // Qt follows redirects itself here, but never from https down to http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(kTransferTimeoutMs);
    m_releaseNotesReply = m_network->get(request);
    connect(m_releaseNotesReply, &QNetworkReply::downloadProgress, this, &UpdateWindow::releaseNotesProgress);
    connect(m_releaseNotesReply, &QNetworkReply::finished, this, &UpdateWindow::releaseNotesArrived);
}

void UpdateWindow::releaseNotesProgress(qint64 bytesReceived)
{
    if (bytesReceived > kMaximumReleaseNotesSize)
        m_releaseNotesReply->abort();
}

void UpdateWindow::releaseNotesArrived()
{
    QNetworkReply* reply = m_releaseNotesReply;
    m_releaseNotesReply = nullptr;
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        m_releaseNotes->setPlainText(tr("The release notes could not be loaded."));
        return;
    }
    m_releaseNotes->document()->setBaseUrl(reply->url());
    const QString text = QString::fromUtf8(reply->readAll());
    if (reply->header(QNetworkRequest::ContentTypeHeader).toString().startsWith(QLatin1String("text/plain")))
        m_releaseNotes->setPlainText(text);
    else
        m_releaseNotes->setHtml(text);
}
