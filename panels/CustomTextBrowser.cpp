#include "CustomTextBrowser.h"

#include <QDesktopServices>

CustomTextBrowser::CustomTextBrowser(QWidget* parent)
    : QTextBrowser(parent)
{
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &CustomTextBrowser::setSource);
}

void CustomTextBrowser::setSource(const QUrl& url)
{
    if (url.isValid() && !url.isRelative())
        QDesktopServices::openUrl(url);
}

QVariant CustomTextBrowser::loadResource(int type, const QUrl& name)
{
    if (name.scheme() == QLatin1String("qrc"))
        return QTextBrowser::loadResource(type, name);
    return QVariant();
}
