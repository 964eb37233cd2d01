#include "UpdateChecker.h"

#include "AppIdentity.h"
#include "BuildConfig.h"
#include "VersionComparator.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QTimer>

namespace {

const char* const kSkippedVersionKey = "LatestSkippedVersion";
// A feed lists a handful of releases; anything much bigger is not our feed.
const qint64 kMaximumFeedSize = 4 * 1024 * 1024;
const int kMaximumRedirects = 5;
const int kTransferTimeoutMs = 30000;
// What the network layer may hold unread: the feed is taken in pieces of
// this size, so a huge body never sits in memory whole.
const qint64 kReadBufferSize = 64 * 1024;

bool isWebScheme(const QUrl& url)
{
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

} // namespace

const char* const UpdateChecker::kRunningVersion = VELMORA_VERSION "." VELMORA_BUILD_NUMBER;

UpdateChecker::UpdateChecker(QObject* parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_deadline(new QTimer(this))
{
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, &UpdateChecker::deadlinePassed);
}

UpdateChecker::~UpdateChecker() = default;

QString UpdateChecker::platformName()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("Q_OS_WIN32");
#elif defined(Q_OS_LINUX)
    return QStringLiteral("Q_OS_LINUX");
#else
    return QStringLiteral("Q_OS_UNKNOWN");
#endif
}

QUrl UpdateChecker::configuredFeedUrl()
{
    const QString overridden = qEnvironmentVariable("VELMORA_UPDATE_FEED_URL");
    return QUrl(overridden.isEmpty() ? QStringLiteral(VELMORA_UPDATE_FEED_URL) : overridden);
}

bool UpdateChecker::isIgnoredVersion(const QString& version)
{
    const QString running = QLatin1String(kRunningVersion);
    if (version == running)
        return true;
    const QSettings settings;
    if (settings.contains(QLatin1String(kSkippedVersionKey))
        && settings.value(QLatin1String(kSkippedVersionKey)).toString() == version)
        return true;
    return VersionComparator::compare(running.toUtf8(), version.toUtf8()) != VersionComparator::Order::Older;
}

void UpdateChecker::setFeedURL(const QUrl& url) { m_feedUrl = url; }

bool UpdateChecker::CheckForUpdates(bool silentAsMuchAsItCouldGet)
{
    if (m_feedUrl.isEmpty()) {
        qCritical("Please set feed URL via setFeedURL() before calling CheckForUpdates().");
        return false;
    }
    completeApplicationIdentity();
    // A user who asks while a silent check runs wants to hear its answer.
    m_silentAsMuchAsItCouldGet
        = isChecking() ? m_silentAsMuchAsItCouldGet && silentAsMuchAsItCouldGet : silentAsMuchAsItCouldGet;
    if (!isChecking()) {
        m_redirectsFollowed = 0;
        m_deadlinePassed = false;
        m_deadline->start(m_deadlineMs);
        startDownload();
    }
    return true;
}

void UpdateChecker::completeApplicationIdentity()
{
    if (QCoreApplication::organizationName().isEmpty())
        qCritical("QApplication::organizationName is not set. Please do that.");
    if (QCoreApplication::organizationDomain().isEmpty())
        qCritical("QApplication::organizationDomain is not set. Please do that.");
    if (QCoreApplication::applicationName().isEmpty()) {
        QCoreApplication::setApplicationName(QLatin1String(AppIdentity::kApplicationName));
        qWarning("QApplication::applicationName is not set, setting it to '%s'", AppIdentity::kApplicationName);
    }
    if (QCoreApplication::applicationVersion().isEmpty()) {
        QCoreApplication::setApplicationVersion(QLatin1String(kRunningVersion));
        qWarning("QApplication::applicationVersion is not set, setting it to '%s'", kRunningVersion);
    }
}

void UpdateChecker::CheckForUpdatesSilent() { CheckForUpdates(true); }

void UpdateChecker::CheckForUpdatesNotSilent() { CheckForUpdates(false); }

void UpdateChecker::startDownload()
{
    m_feed.clear();
    m_downloadAborted = false;
    QNetworkRequest request(m_feedUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/xml"));
    request.setHeader(QNetworkRequest::UserAgentHeader, QCoreApplication::applicationName());
    // Redirects are followed here, one hop at a time, so each target is checked.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(kTransferTimeoutMs);
    m_reply = m_network->get(request);
    m_reply->setReadBufferSize(kReadBufferSize);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &UpdateChecker::checkDeclaredLength);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateChecker::httpFeedReadyRead);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &UpdateChecker::httpFeedUpdateDataReadProgress);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateChecker::httpFeedDownloadFinished);
}

// A feed that says it is too large is refused before a byte of it is read.
void UpdateChecker::checkDeclaredLength()
{
    if (!m_reply || m_downloadAborted)
        return;
    const QVariant declared = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (declared.isValid() && declared.toLongLong() > kMaximumFeedSize) {
        m_downloadAborted = true;
        m_reply->abort();
    }
}

void UpdateChecker::httpFeedReadyRead()
{
    if (!m_reply || m_downloadAborted)
        return;
    readFeedBytes(m_reply);
}

// Never more than one byte past the limit is kept.
void UpdateChecker::readFeedBytes(QNetworkReply* reply)
{
    while (!m_downloadAborted && reply->bytesAvailable() > 0) {
        m_feed += reply->read(kMaximumFeedSize + 1 - m_feed.size());
        if (m_feed.size() > kMaximumFeedSize) {
            m_downloadAborted = true;
            reply->abort();
        }
    }
}

// Left running between hops and after the check: with no transfer under
// way it has nothing to stop.
void UpdateChecker::deadlinePassed()
{
    if (!m_reply)
        return;
    m_deadlinePassed = true;
    m_reply->abort();
}

void UpdateChecker::httpFeedUpdateDataReadProgress(qint64 bytesRead, qint64 totalBytes)
{
    Q_UNUSED(bytesRead);
    Q_UNUSED(totalBytes);
}

void UpdateChecker::httpFeedDownloadFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    m_reply = nullptr;
    reply->deleteLater();
    if (m_deadlinePassed) {
        showError(tr("Failed to connect to update service. Please try again later."),
                  tr("The update feed did not arrive within %1 seconds.").arg(m_deadlineMs / 1000.0));
        return;
    }
    if (m_downloadAborted) {
        showError(tr("Error in update file. Please try again later."),
                  tr("The update feed is larger than %1 bytes.").arg(kMaximumFeedSize));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        showError(tr("Failed to connect to update service. Please try again later."),
                  tr("Feed download failed: %1.").arg(reply->errorString()));
        return;
    }
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (!target.isEmpty()) {
        if (followRedirect(m_feedUrl.resolved(target)))
            return;
        showError(tr("Failed to connect to update service. Please try again later."),
                  tr("Feed download failed: the feed moved to %1.").arg(target.toString()));
        return;
    }
    readFeedBytes(reply); // what is left of the body
    if (m_downloadAborted) {
        showError(tr("Error in update file. Please try again later."),
                  tr("The update feed is larger than %1 bytes.").arg(kMaximumFeedSize));
        return;
    }
    handleFeed(m_feed);
}

bool UpdateChecker::followRedirect(const QUrl& target)
{
    // Never to a local file or another scheme, and never round in circles.
    if (!isWebScheme(target) || m_redirectsFollowed >= kMaximumRedirects)
        return false;
    ++m_redirectsFollowed;
    m_feedUrl = target;
    startDownload();
    return true;
}

void UpdateChecker::handleFeed(const QByteArray& feed)
{
    const AppcastParser::Result result = AppcastParser::parse(feed, platformName());
    switch (result.outcome) {
    case AppcastParser::Outcome::UpdateFound:
        proposeUpdate(result.update);
        break;
    case AppcastParser::Outcome::NoItem:
        showInformation(tr("No updates were found."));
        break;
    default:
        showFeedError(result.outcome, result);
        break;
    }
}

void UpdateChecker::showFeedError(AppcastParser::Outcome outcome, const AppcastParser::Result& result)
{
    QString details;
    switch (outcome) {
    case AppcastParser::Outcome::MissingReleaseNotes:
        details = tr("Feed error: \"release notes\" link is empty");
        break;
    case AppcastParser::Outcome::InvalidReleaseNotes:
        details = tr("Feed error: invalid \"release notes\" link");
        break;
    case AppcastParser::Outcome::InvalidEnclosure:
        details = tr("Feed error: invalid \"enclosure\" with the download link");
        break;
    default:
        details = tr("Feed parsing failed: %1 %2.").arg(result.errorLine).arg(result.errorText);
        break;
    }
    showError(tr("Error in update file. Please try again later."), details);
}

void UpdateChecker::proposeUpdate(const AvailableUpdate& update)
{
    qDebug() << "Title:" << update.title << "Release notes link:" << update.releaseNotesLink
             << "Pub. date:" << update.publicationDate << "Enclosure URL:" << update.enclosureUrl
             << "Enclosure version:" << update.enclosureVersion << "Enclosure platform:" << update.enclosurePlatform
             << "Enclosure length:" << update.enclosureLength << "Enclosure type:" << update.enclosureType;
    if (isIgnoredVersion(update.enclosureVersion)) {
        qDebug("Version '%s' is ignored, too old or something like that.", qUtf8Printable(update.enclosureVersion));
        showInformation(tr("No updates were found."));
        return;
    }
    m_proposedUpdate = std::make_unique<AvailableUpdate>(update);
    emit updateOffered(*m_proposedUpdate);
}

void UpdateChecker::RemindMeLater()
{
    qDebug("Remind me later");
    emit offerWithdrawn();
    emit confirmationWithdrawn();
}

void UpdateChecker::SkipUpdate()
{
    qDebug("Skip update");
    if (!m_proposedUpdate) {
        qWarning("Proposed update is NULL (shouldn't be at this point)");
        return;
    }
    const QString version = m_proposedUpdate->enclosureVersion;
    if (!version.isEmpty() && version != QLatin1String(kRunningVersion))
        QSettings().setValue(QLatin1String(kSkippedVersionKey), version);
    emit offerWithdrawn();
    emit confirmationWithdrawn();
}

void UpdateChecker::InstallUpdate()
{
    qDebug("Install update");
    if (!m_proposedUpdate) {
        qWarning("Proposed update is NULL (shouldn't be at this point)");
        return;
    }
    emit confirmationWithdrawn();
    emit installConfirmationRequested(*m_proposedUpdate);
}

void UpdateChecker::UpdateInstallationConfirmed()
{
    qDebug("Confirm update installation");
    if (!m_proposedUpdate) {
        qWarning("Proposed update is NULL (shouldn't be at this point)");
        return;
    }
    emit downloadRequested(m_proposedUpdate->enclosureUrl);
    emit offerWithdrawn();
    emit confirmationWithdrawn();
}

void UpdateChecker::UpdateInstallationNotConfirmed()
{
    qDebug("Do not confirm update installation");
    emit confirmationWithdrawn();
}

void UpdateChecker::reportBrowserFailure(const QUrl& url)
{
    showError(tr("Unable to open this link in a browser. Please do it manually."), url.toString(),
              Importance::EvenWhenSilent);
}

void UpdateChecker::showError(const QString& text, const QString& details, Importance importance)
{
    if (m_silentAsMuchAsItCouldGet && importance != Importance::EvenWhenSilent)
        return;
    emit messageForUser(MessageKind::Error, tr("Error"), text, details);
}

void UpdateChecker::showInformation(const QString& text)
{
    if (!m_silentAsMuchAsItCouldGet)
        emit messageForUser(MessageKind::Information, tr("Information"), text, QString());
}
