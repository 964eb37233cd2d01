#include "CustomTextBrowser.h"

#include <QDesktopServices>

CustomTextBrowser::CustomTextBrowser(QWidget* parent)
    : QTextBrowser(parent)
{
}

void CustomTextBrowser::setSource(const QUrl& url)
{
    if (url.isValid())
        QDesktopServices::openUrl(url);
}
