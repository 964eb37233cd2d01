#include "PreferencesWindowController.h"

#include "ClickableLabel.h"
#include "UserSettings.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

namespace {

QGridLayout* twoColumnLayout(QWidget* parent)
{
    auto* layout = new QGridLayout(parent);
    layout->setColumnStretch(1, 1);
    return layout;
}

} // namespace

QColor PreferencesWindowController::storedBackgroundColor(const UserSettings& settings)
{
    const QColor color(settings.backgroundColor());
    return color.isValid() ? color : QColor(UserSettings::defaultBackgroundColor());
}

PreferencesWindowController::PreferencesWindowController(UserSettings& settings, QWidget* mainWindow, QObject* parent)
    : ToolWindowController(mainWindow, parent)
    , m_settings(settings)
{
}

QString PreferencesWindowController::swatchStyleSheet(const QColor& color)
{
    return QStringLiteral("background-color: rgb(%1,%2,%3); border: 2px solid grey")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue());
}

void PreferencesWindowController::showPreferencesWindow() { showWindow()->raise(); }

QWidget* PreferencesWindowController::createWindow()
{
    auto* window = new QWidget();
    window->setObjectName(QStringLiteral("preferencesWindow"));
    window->setFixedSize(420, 160);
    window->setWindowTitle(tr("Preferences"));
    auto* layout = new QGridLayout(window);
    layout->setContentsMargins(5, 5, 5, 5);
    m_confirmedColor = storedBackgroundColor(m_settings);
    m_appearanceGroup = createAppearanceGroup();
    m_generalGroup = createGeneralGroup();
    layout->addWidget(m_appearanceGroup, 0, 0);
    layout->addWidget(m_generalGroup, 1, 0);
    createColorDialog(window);
    return window;
}

QGroupBox* PreferencesWindowController::createGeneralGroup()
{
    auto* group = new QGroupBox(tr("General"));
    auto* layout = twoColumnLayout(group);
    auto* tracking = new QCheckBox(group);
    tracking->setObjectName(QStringLiteral("trackingCheckBox"));
    tracking->setFixedWidth(20);
    tracking->setChecked(m_settings.isTrackingEnabled());
    connect(tracking, &QCheckBox::stateChanged, this, &PreferencesWindowController::stateChanged);
    layout->addWidget(tracking, 0, 0, Qt::AlignCenter);
    layout->addWidget(new QLabel(tr("Send anonymous usage information."), group), 0, 1);
    return group;
}

QGroupBox* PreferencesWindowController::createAppearanceGroup()
{
    auto* group = new QGroupBox(tr("Appearance"));
    auto* layout = twoColumnLayout(group);
    m_swatch = new ClickableLabel(QString(), group);
    m_swatch->setObjectName(QStringLiteral("backgroundSwatch"));
    m_swatch->setFixedSize(20, 20);
    m_swatch->setStyleSheet(swatchStyleSheet(m_confirmedColor));
    connect(m_swatch, &ClickableLabel::clicked, this, &PreferencesWindowController::labelClicked);
    layout->addWidget(m_swatch, 0, 0);
    layout->addWidget(new QLabel(tr("Pick color of scene background."), group), 0, 1);
    return group;
}

void PreferencesWindowController::createColorDialog(QWidget* window)
{
    // A child of the window, so the dialog is not hidden behind a window that stays on top.
    m_colorDialog = new QColorDialog(m_confirmedColor, window);
    m_colorDialog->setObjectName(QStringLiteral("backgroundColorDialog"));
    connect(m_colorDialog, &QColorDialog::colorSelected, this, &PreferencesWindowController::colorSelected);
    connect(m_colorDialog, &QColorDialog::rejected, this, &PreferencesWindowController::colorPickerCanceled);
    connect(m_colorDialog, &QColorDialog::currentColorChanged, this,
            &PreferencesWindowController::backgroundColorPreviewed);
}

void PreferencesWindowController::labelClicked(QMouseEvent* event)
{
    Q_UNUSED(event);
    m_colorDialog->setCurrentColor(m_confirmedColor);
    m_colorDialog->open();
}

void PreferencesWindowController::colorSelected(const QColor& color)
{
    if (!color.isValid())
        return;
    m_confirmedColor = color;
    m_settings.setBackgroundColor(color.name(QColor::HexArgb));
    m_swatch->setStyleSheet(swatchStyleSheet(color));
    emit backgroundColorPreviewed(color);
    window()->raise();
}

void PreferencesWindowController::colorPickerCanceled()
{
    m_settings.setBackgroundColor(m_confirmedColor.name(QColor::HexArgb));
    m_swatch->setStyleSheet(swatchStyleSheet(m_confirmedColor));
    emit backgroundColorPreviewed(m_confirmedColor);
}

void PreferencesWindowController::stateChanged(int state) { m_settings.setTrackingEnabled(state != Qt::Unchecked); }
