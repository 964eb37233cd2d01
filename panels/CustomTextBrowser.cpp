#include "CustomTextBrowser.h"

#include <QDesktopServices>
#include <QMessageBox>

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
        openLink(url, this);
}

void CustomTextBrowser::openLink(const QUrl& url, QWidget* parent)
{
    if (QDesktopServices::openUrl(url))
        return;
    QMessageBox box(QMessageBox::Warning, tr("Velmora 3D Encoder"),
                    tr("The page %1 could not be opened: no web browser took it.").arg(url.toString()), QMessageBox::Ok,
                    parent);
    box.exec();
}

QVariant CustomTextBrowser::loadResource(int type, const QUrl& name)
{
    if (name.scheme() == QLatin1String("qrc"))
        return QTextBrowser::loadResource(type, name);
    return QVariant();
}
