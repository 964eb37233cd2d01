#include "CustomTextBrowser.h"

#include <QDesktopServices>

CustomTextBrowser::CustomTextBrowser(QWidget* parent)
    : QTextBrowser(parent)
{
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &CustomTextBrowser::setSource);
}

// Only web pages: a "file:" link in release notes from the network, or in a
// log record from a model, would open whatever the desktop associates with it.
void CustomTextBrowser::setSource(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
        QDesktopServices::openUrl(url);
}

QVariant CustomTextBrowser::loadResource(int type, const QUrl& name)
{
    if (name.scheme() == QLatin1String("qrc"))
        return QTextBrowser::loadResource(type, name);
    return QVariant();
}
