#include "UpdateConfirmDialog.h"

#include "AppIdentity.h"
#include "AvailableUpdate.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

UpdateConfirmDialog::UpdateConfirmDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("updateConfirmDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Velmora 3D Encoder Update"));
    const QString name = QLatin1String(AppIdentity::kApplicationName);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("The update is available at:"), this));
    m_link = new QLabel(this);
    m_link->setObjectName(QStringLiteral("downloadLink"));
    m_link->setTextFormat(Qt::RichText);
    // The link is shown, not followed: OK opens it.
    m_link->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_link);
    layout->addWidget(
        new QLabel(tr("Download the update, close \"%1\", install it, and then reopen \"%1\".").arg(name), this));
    layout->addWidget(new QLabel(tr("Once you click \"OK\", this link will be opened in your browser."), this));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

bool UpdateConfirmDialog::fill(const AvailableUpdate* update)
{
    if (!update)
        return false;
    const QString link = update->enclosureUrl.toString(QUrl::FullyEncoded).toHtmlEscaped();
    m_link->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(link));
    return true;
}
