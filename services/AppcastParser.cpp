#include "AppcastParser.h"

#include <QXmlStreamReader>

namespace {

bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

// The item's fields as the feed spells them, collected until the item ends.
struct ItemText {
    QString title;
    QString link;
    QString releaseNotesLink;
    QString publicationDate;
    AvailableUpdate enclosure;

    AvailableUpdate toUpdate() const
    {
        AvailableUpdate update = enclosure;
        update.title = title.trimmed();
        const QString notes = releaseNotesLink.trimmed().isEmpty() ? link : releaseNotesLink;
        update.releaseNotesLink = QUrl(notes.trimmed(), QUrl::StrictMode);
        update.publicationDate = publicationDate.trimmed();
        return update;
    }
};

void readEnclosure(const QXmlStreamAttributes& attributes, const QString& platform, AvailableUpdate& enclosure)
{
    const QString offeredPlatform = attributes.value(QLatin1String("velmora:platform")).toString().trimmed().toUpper();
    if (offeredPlatform != platform)
        return;
    enclosure.enclosurePlatform = offeredPlatform;
    enclosure.enclosureUrl = QUrl(attributes.value(QLatin1String("url")).toString().trimmed(), QUrl::StrictMode);
    enclosure.enclosureVersion = attributes.value(QLatin1String("velmora:version")).toString().trimmed();
    if (enclosure.enclosureVersion.isEmpty())
        enclosure.enclosureVersion = attributes.value(QLatin1String("sparkle:version")).toString().trimmed();
    enclosure.enclosureLength = attributes.value(QLatin1String("length")).toLongLong();
    enclosure.enclosureType = attributes.value(QLatin1String("type")).toString().trimmed();
}

QString* fieldFor(const QStringRef& qualifiedName, ItemText& item)
{
    if (qualifiedName == QLatin1String("title"))
        return &item.title;
    if (qualifiedName == QLatin1String("link"))
        return &item.link;
    if (qualifiedName == QLatin1String("pubDate"))
        return &item.publicationDate;
    if (qualifiedName == QLatin1String("sparkle:releaseNotesLink"))
        return &item.releaseNotesLink;
    return nullptr;
}

} // namespace

AppcastParser::Outcome AppcastParser::checkItem(const AvailableUpdate& item)
{
    if (item.releaseNotesLink.isEmpty())
        return Outcome::MissingReleaseNotes;
    if (!isWebAddress(item.releaseNotesLink))
        return Outcome::InvalidReleaseNotes;
    // The download is opened in the user's browser: only web addresses qualify.
    if (!isWebAddress(item.enclosureUrl) || item.enclosureVersion.isEmpty() || item.enclosurePlatform.isEmpty())
        return Outcome::InvalidEnclosure;
    return Outcome::UpdateFound;
}

AppcastParser::Result AppcastParser::parse(const QByteArray& feed, const QString& platform)
{
    Result result;
    QXmlStreamReader xml(feed);
    ItemText item;
    QString* currentField = nullptr;
    bool insideItem = false;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (xml.qualifiedName() == QLatin1String("item")) {
                item = ItemText();
                insideItem = true;
            } else if (insideItem && xml.qualifiedName() == QLatin1String("enclosure")) {
                readEnclosure(xml.attributes(), platform, item.enclosure);
            }
            currentField = insideItem ? fieldFor(xml.qualifiedName(), item) : nullptr;
            break;
        case QXmlStreamReader::Characters:
            if (currentField && !xml.isWhitespace())
                currentField->append(xml.text());
            break;
        case QXmlStreamReader::EndElement:
            currentField = nullptr;
            if (xml.qualifiedName() == QLatin1String("item") && insideItem) {
                insideItem = false;
                const AvailableUpdate update = item.toUpdate();
                const Outcome outcome = checkItem(update);
                if (outcome == Outcome::UpdateFound)
                    return {outcome, update, 0, QString()};
                // The first unusable item is the one to report if no later item fits.
                if (result.outcome == Outcome::NoItem)
                    result.outcome = outcome;
            }
            break;
        default:
            break;
        }
    }
    if (xml.hasError())
        return {Outcome::Malformed, AvailableUpdate(), xml.lineNumber(), xml.errorString()};
    return result;
}
