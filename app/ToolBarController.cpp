#include "ToolBarController.h"

#include <QAction>
#include <QIcon>
#include <QToolBar>
#include <QWidget>

ToolBarController::ToolBarController(QToolBar* toolBar, QObject* parent)
    : QObject(parent)
    , m_toolBar(toolBar)
{
    m_openAction = createAction(QStringLiteral(":/IconOpenFile"), tr("Open"));
    m_exportAction = createAction(QStringLiteral(":/IconExportFile"), tr("Export"));
    m_resetCameraAction = createAction(QStringLiteral(":/IconCameraReset"), tr("Reset Camera"));

    connect(m_openAction, &QAction::triggered, this, &ToolBarController::openFileSlot);
    connect(m_exportAction, &QAction::triggered, this, &ToolBarController::exportFileSlot);
    connect(m_resetCameraAction, &QAction::triggered, this, &ToolBarController::resetCameraSlot);

    m_toolBar->addAction(m_openAction);
    m_toolBar->addAction(m_exportAction);
    // Pushes Reset Camera to the right end of the bar.
    QWidget* spacer = new QWidget(m_toolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_toolBar->addWidget(spacer);
    m_toolBar->addAction(m_resetCameraAction);
}

QAction* ToolBarController::createAction(const QString& iconName, const QString& text)
{
    QAction* action = new QAction(QIcon(iconName), text, this);
    action->setToolTip(text);
    return action;
}

void ToolBarController::setExportEnabled(bool enabled) { m_exportAction->setEnabled(enabled); }

void ToolBarController::openFileSlot() { emit openFileSignal(); }

void ToolBarController::exportFileSlot() { emit exportFileSignal(); }

void ToolBarController::resetCameraSlot() { emit resetCameraSignal(); }
