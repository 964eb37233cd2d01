#include "AboutWindowController.h"

#include "AppIdentity.h"
#include "CreditsPage.h"
#include "CustomTextBrowser.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>

namespace {
const int kWindowSize = 450;
const int kIconSize = 80;
} // namespace

AboutWindowController::AboutWindowController(QWidget* mainWindow, QObject* parent)
    : ToolWindowController(mainWindow, parent)
{
}

QString AboutWindowController::versionLine()
{
    return tr("Version: ") + QLatin1String(AppIdentity::kApplicationVersion) + QLatin1Char(' ')
        + QLatin1String(AppIdentity::kBuildLabel);
}

QString AboutWindowController::copyrightLine()
{
    return tr("Copyright (C) 2013-2016 %1. All rights reserved.").arg(QLatin1String(AppIdentity::kOrganizationName));
}

void AboutWindowController::showAboutWindow() { showWindow(); }

QWidget* AboutWindowController::createWindow()
{
    auto* window = new QWidget();
    window->setObjectName(QStringLiteral("aboutWindow"));
    window->setFixedSize(kWindowSize, kWindowSize);
    window->setWindowTitle(tr("About Velmora 3D Encoder"));
    const QIcon icon(QStringLiteral(":/IconAppIconSmall"));
    window->setWindowIcon(icon);

    auto* layout = new QGridLayout(window);
    layout->setColumnStretch(1, 1);
    layout->setContentsMargins(0, 15, 0, 15);

    auto* iconLabel = new QLabel(window);
    iconLabel->setPixmap(icon.pixmap(kIconSize - 30, kIconSize - 30));
    iconLabel->setContentsMargins(15, 15, 15, 15);
    iconLabel->setFixedSize(kIconSize, kIconSize);
    layout->addWidget(iconLabel, 0, 0, 2, 1, Qt::AlignLeft);

    auto* name = new QLabel(tr("Velmora 3D Encoder"), window);
    QFont nameFont = name->font();
    nameFont.setPointSize(20);
    nameFont.setWeight(QFont::Bold);
    name->setFont(nameFont);
    layout->addWidget(name, 0, 1);
    auto* version = new QLabel(versionLine(), window);
    version->setObjectName(QStringLiteral("versionLabel"));
    layout->addWidget(version, 1, 1);

    auto* credits = new CustomTextBrowser(window);
    credits->setObjectName(QStringLiteral("creditsBrowser"));
    credits->setMinimumWidth(kWindowSize);
    credits->setHtml(CreditsPage::html());
    layout->addWidget(credits, 2, 0, 1, 2);

    auto* copyright = new QLabel(copyrightLine(), window);
    copyright->setObjectName(QStringLiteral("copyrightLabel"));
    layout->addWidget(copyright, 3, 0, 1, 2, Qt::AlignHCenter);
    return window;
}
