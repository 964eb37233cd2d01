#include "AnalyticsTracker.h"

#include "AnalyticsSendingThread.h"
#include "BuildConfig.h"
#include "OsInfoService.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrlQuery>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <climits>

const char* const AnalyticsTracker::kStateFileName = "GA_Tracker.xml";
// A collector that never answers must not let the state file, rewritten after
// every event, grow without bound; the oldest requests give way first.
const int AnalyticsTracker::kMaxPendingRequests = 500;

namespace {

// A real state file holds at most kMaxPendingRequests URLs of a few hundred
// bytes each; anything far larger is not ours.
const qint64 kMaxStateFileSize = 4 * 1024 * 1024;
const int kDefaultSendIntervalMs = 10000;
const int kMaxUserIdLength = 16;

QString nowInSeconds() { return QString::number(QDateTime::currentSecsSinceEpoch()); }

bool isDecimal(const QString& text, int maxLength)
{
    if (text.isEmpty() || text.size() > maxLength)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

QUrl collectorEndpoint(const QUrl& configured)
{
    QUrl endpoint;
    endpoint.setScheme(configured.scheme());
    endpoint.setHost(configured.host());
    endpoint.setPort(configured.port());
    endpoint.setPath(QStringLiteral("/__utm.gif"));
    return endpoint;
}

QString machineIdentifier(const OsInfoService* osInfo)
{
    QString identifier;
    if (osInfo)
        identifier = osInfo->hardwareAddress();
    // Without a network card every machine would share one user id.
    if (identifier.isEmpty())
        identifier = QString::fromLatin1(QSysInfo::machineUniqueId());
    return identifier;
}

// The state file lives in the user's data folder rather than in whatever
// folder the program was started from: that folder may be read-only (an
// installation folder) or belong to the user's own files, and unsent
// requests written there would be lost or litter it.
QString defaultStateFilePath()
{
    const QString folder
        = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1String("/Velmora3dEncoder");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + QLatin1String(AnalyticsTracker::kStateFileName);
}

} // namespace

AnalyticsTracker::AnalyticsTracker(const QString& accountId, const OsInfoService* osInfo, QObject* parent)
    : AnalyticsTracker(accountId, QUrl(QStringLiteral(VELMORA_ANALYTICS_URL)), defaultStateFilePath(), osInfo, parent)
{
}

AnalyticsTracker::AnalyticsTracker(const QString& accountId, const QUrl& collectorUrl, const QString& stateFilePath,
                                   const OsInfoService* osInfo, QObject* parent)
    : QObject(parent)
    , m_accountId(accountId)
    , m_collectorUrl(collectorEndpoint(collectorUrl))
    , m_stateFilePath(stateFilePath)
    , m_osInfo(osInfo)
{
    m_sendTimer.setInterval(kDefaultSendIntervalMs);
    initialise();
}

AnalyticsTracker::~AnalyticsTracker()
{
    m_sendTimer.stop();
    if (m_sendingThread) {
        m_sendingThread->stop();
        delete m_sendingThread;
    }
}

void AnalyticsTracker::initialise()
{
    const QString now = nowInSeconds();
    m_userId = userIdFromMachineId(machineIdentifier(m_osInfo));
    m_firstVisit = now;
    m_previousVisit = now;
    m_currentVisit = now;
    m_numberOfVisits = 0;

    loadState();
    if (m_numberOfVisits < INT_MAX)
        ++m_numberOfVisits;

    m_language = QLocale::system().name().replace(QLatin1Char('_'), QLatin1Char('-'));
}

void AnalyticsTracker::setScreen(const QSize& size, int bitDepth)
{
    m_screenResolution = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
    m_colorDepth = QStringLiteral("%1-bit").arg(bitDepth);
}

bool AnalyticsTracker::isTrackingEnabled() const { return m_trackingEnabled.load(); }

void AnalyticsTracker::setTrackingEnabled(bool enabled) { m_trackingEnabled.store(enabled); }

QString AnalyticsTracker::userIdFromMachineId(const QString& machineId)
{
    return userIdFromDigest(QCryptographicHash::hash(machineId.toLatin1(), QCryptographicHash::Md5));
}

QString AnalyticsTracker::userIdFromDigest(const QByteArray& md5Digest)
{
    if (md5Digest.size() < 4)
        return QStringLiteral("0");
    const auto byte = [&](int i) { return quint32(quint8(md5Digest.at(i))); };
    const qint32 number = qint32(byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24));
    // Widened first: the absolute value of the smallest 32-bit number does not fit in 32 bits.
    const qint64 magnitude = qAbs(qint64(number));
    return QString::number(magnitude).left(kMaxUserIdLength);
}

QString AnalyticsTracker::escapeEventValue(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\'':
            escaped += QLatin1String("'0");
            break;
        case ')':
            escaped += QLatin1String("'1");
            break;
        case '*':
            escaped += QLatin1String("'2");
            break;
        case '!':
            escaped += QLatin1String("'3");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString AnalyticsTracker::eventText(const QString& category, const QString& action, const QString& label, int value)
{
    return QStringLiteral("5(%1*%2*%3)(%4)")
        .arg(escapeEventValue(category), escapeEventValue(action), escapeEventValue(label))
        .arg(value);
}

QString AnalyticsTracker::composeUserAgent(const QString& platform, const QString& osDescription,
                                           const QString& language)
{
    QString agent = QStringLiteral("AnalyticsTracker/1.0 (%1; U; %2; %3)").arg(platform, osDescription, language);
    // The text goes into an HTTP header: no line breaks or other control characters.
    QString clean;
    clean.reserve(agent.size());
    for (const QChar c : agent)
        clean += (c.unicode() < 0x20 || c.unicode() == 0x7f) ? QChar(QLatin1Char(' ')) : c;
    return clean;
}

void AnalyticsTracker::pageView(const QString& page)
{
    if (!isTrackingEnabled())
        return;
    qDebug().noquote() << QStringLiteral("AnalyticsTracker::pageView(") + page + QStringLiteral(")");
    queueRequest({{QStringLiteral("utmp"), page}});
}

void AnalyticsTracker::trackEvent(const QString& category, const QString& action, const QString& label, int value)
{
    if (!isTrackingEnabled())
        return;
    qDebug().noquote()
        << QStringLiteral("AnalyticsTracker::trackEvent(%1,%2,%3,%4)").arg(category, action, label).arg(value);
    queueRequest({{QStringLiteral("utmt"), QStringLiteral("event")},
                  {QStringLiteral("utme"), eventText(category, action, label, value)}});
}

QByteArray AnalyticsTracker::buildRequest(const QList<QueryItem>& ownItems) const
{
    // The visit fields change only while the state is loaded, before any
    // request can be built, so they are read here without the lock.
    const QString utma = QStringList {m_domainHash,    m_userId,       m_firstVisit,
                                      m_previousVisit, m_currentVisit, QString::number(m_numberOfVisits)}
                             .join(QLatin1Char('.'));
    const QList<QueryItem> commonItems = {
        {QStringLiteral("utmac"), m_accountId},
        {QStringLiteral("utmcc"), QStringLiteral("__utma=") + utma},
        {QStringLiteral("utmcs"), QStringLiteral("UTF-8")},
        {QStringLiteral("utmn"), QString::number(QRandomGenerator::global()->generate() & 0x7fffffffu)},
        {QStringLiteral("utmsc"), m_colorDepth},
        {QStringLiteral("utmsr"), m_screenResolution},
        {QStringLiteral("utmul"), m_language},
        {QStringLiteral("utmwv"), QStringLiteral("4.3")},
    };
    // Every delimiter a collector could misread ("&", "=", "+", "#", "%") is
    // percent-encoded, so no page name or label can change the query's shape;
    // the event text's own punctuation stays readable.
    const QByteArray keepLiteral("()*!',:@/");
    QByteArray query;
    for (const QList<QueryItem>* items : {&ownItems, &commonItems}) {
        for (const QueryItem& item : *items) {
            if (!query.isEmpty())
                query += '&';
            query += QUrl::toPercentEncoding(item.key, keepLiteral) + '='
                + QUrl::toPercentEncoding(item.value, keepLiteral);
        }
    }
    return m_collectorUrl.toEncoded() + '?' + query;
}

void AnalyticsTracker::queueRequest(const QList<QueryItem>& ownItems)
{
    const QString request = QString::fromLatin1(buildRequest(ownItems));
    QMutexLocker lock(&m_mutex);
    m_pendingRequests.append(request);
    dropOverflowLocked();
    saveStateLocked();
}

void AnalyticsTracker::dropOverflowLocked()
{
    // Never the one in flight: its reply removes it.
    const int firstDroppable = m_requestInFlight ? 1 : 0;
    while (m_pendingRequests.size() > kMaxPendingRequests && m_pendingRequests.size() > firstDroppable)
        m_pendingRequests.removeAt(firstDroppable);
}

bool AnalyticsTracker::isCollectorRequest(const QString& encodedUrl) const
{
    // The state file is outside our control; only requests to our own
    // collector may leave the machine.
    const QUrl url = QUrl::fromEncoded(encodedUrl.toLatin1(), QUrl::StrictMode);
    return url.isValid() && url.scheme() == m_collectorUrl.scheme() && url.host() == m_collectorUrl.host()
        && url.port() == m_collectorUrl.port() && url.path() == m_collectorUrl.path() && url.userInfo().isEmpty()
        && !url.hasFragment() && encodedUrl.size() < 8192;
}

void AnalyticsTracker::loadState()
{
    // Only a plain file: opening a pipe placed there would block the start-up.
    if (!QFileInfo(m_stateFilePath).isFile())
        return;
    QFile file(m_stateFilePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    if (file.size() > kMaxStateFileSize) {
        qWarning().noquote() << QStringLiteral("Tracker state file is too large, ignored:") << m_stateFilePath;
        return;
    }
    QXmlStreamReader xml(&file);
    if (!readState(xml))
        qDebug().noquote() << xml.errorString();
}

bool AnalyticsTracker::readState(QXmlStreamReader& xml)
{
    // Read into locals first: a file that turns out broken halfway leaves the
    // defaults untouched instead of a mix of old and new values.
    QString userId;
    QString firstVisit;
    QString lastVisit;
    QString visits;
    QStringList requests;

    if (!xml.readNextStartElement())
        return !xml.hasError();
    if (xml.name() != QLatin1String("trackerstate")
        || xml.attributes().value(QLatin1String("version")) != QLatin1String("1.0")) {
        xml.raiseError(tr("Tracker state is not saved in compatible version."));
        return false;
    }
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("userid")) {
            userId = xml.readElementText();
        } else if (xml.name() == QLatin1String("firstVisit")) {
            firstVisit = xml.readElementText();
        } else if (xml.name() == QLatin1String("lastVisit")) {
            lastVisit = xml.readElementText();
        } else if (xml.name() == QLatin1String("numberOfVisits")) {
            visits = xml.readElementText();
        } else if (xml.name() == QLatin1String("requests")) {
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("request"))
                    requests.append(xml.readElementText().trimmed());
                else
                    xml.skipCurrentElement();
            }
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError())
        return false;

    if (isDecimal(userId, kMaxUserIdLength))
        m_userId = userId;
    if (isDecimal(firstVisit, 19))
        m_firstVisit = firstVisit;
    if (isDecimal(lastVisit, 19))
        m_previousVisit = lastVisit;
    bool visitsOk = false;
    const int visitCount = visits.toInt(&visitsOk);
    if (visitsOk && visitCount >= 0)
        m_numberOfVisits = visitCount;
    for (const QString& request : qAsConst(requests)) {
        if (isCollectorRequest(request))
            m_pendingRequests.append(request);
        else
            qWarning().noquote() << QStringLiteral("Tracker state: foreign request dropped");
    }
    dropOverflowLocked();
    return true;
}

void AnalyticsTracker::saveStateLocked()
{
    // Written to a temporary file and renamed over the old one, so the file
    // on disk is always either the previous or the new complete state.
    QSaveFile file(m_stateFilePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qDebug() << "Writting tracker state failed.";
        return;
    }
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE gatrackerstate>"));
    xml.writeStartElement(QStringLiteral("trackerstate"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    xml.writeTextElement(QStringLiteral("userid"), m_userId);
    xml.writeTextElement(QStringLiteral("firstVisit"), m_firstVisit);
    xml.writeTextElement(QStringLiteral("lastVisit"), m_currentVisit);
    xml.writeTextElement(QStringLiteral("numberOfVisits"), QString::number(m_numberOfVisits));
    xml.writeStartElement(QStringLiteral("requests"));
    for (const QString& request : qAsConst(m_pendingRequests))
        xml.writeTextElement(QStringLiteral("request"), request);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit())
        qDebug() << "Writting tracker state failed.";
}

void AnalyticsTracker::startSending()
{
    if (!isTrackingEnabled()) {
        qDebug() << "Usage tracking is switched off";
        return;
    }
    if (m_sendingThread)
        return;
    const QString platform = m_osInfo ? m_osInfo->osName() : QSysInfo::kernelType();
    const QString description = m_osInfo ? m_osInfo->versionText() : QSysInfo::prettyProductName();
    m_sendingThread = new AnalyticsSendingThread(this, composeUserAgent(platform, description, m_language));
    connect(&m_sendTimer, &QTimer::timeout, this, &AnalyticsTracker::wakeSender);
    m_sendingThread->start(QThread::LowestPriority);
    m_sendTimer.start();
}

void AnalyticsTracker::setSendInterval(int milliseconds) { m_sendTimer.setInterval(milliseconds); }

bool AnalyticsTracker::isSending() const { return m_sendingThread != nullptr; }

void AnalyticsTracker::wakeSender()
{
    if (m_sendingThread)
        m_sendingThread->sendAll();
}

bool AnalyticsTracker::hasSendableRequestLocked() const { return !m_pendingRequests.isEmpty() && isTrackingEnabled(); }

void AnalyticsTracker::requestFinished(const QString& encodedUrl)
{
    QMutexLocker lock(&m_mutex);
    m_requestInFlight = false;
    // Normally the oldest; compared anyway so that nothing else is dropped.
    if (!m_pendingRequests.isEmpty() && m_pendingRequests.first() == encodedUrl)
        m_pendingRequests.removeFirst();
    else
        m_pendingRequests.removeOne(encodedUrl);
    saveStateLocked();
}

QString AnalyticsTracker::userId() const
{
    QMutexLocker lock(&m_mutex);
    return m_userId;
}

QString AnalyticsTracker::firstVisit() const
{
    QMutexLocker lock(&m_mutex);
    return m_firstVisit;
}

QString AnalyticsTracker::currentVisit() const
{
    QMutexLocker lock(&m_mutex);
    return m_currentVisit;
}

int AnalyticsTracker::numberOfVisits() const
{
    QMutexLocker lock(&m_mutex);
    return m_numberOfVisits;
}

QStringList AnalyticsTracker::pendingRequests() const
{
    QMutexLocker lock(&m_mutex);
    return m_pendingRequests;
}
