#include "ToolWindowController.h"

#include <QWidget>

ToolWindowController::ToolWindowController(QWidget* mainWindow, QObject* parent)
    : QObject(parent)
    , m_mainWindow(mainWindow)
{
}

ToolWindowController::~ToolWindowController() = default;

QWidget* ToolWindowController::showWindow()
{
    if (!m_window) {
        m_window.reset(createWindow());
        m_window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint
                                 | extraWindowFlags());
        // The layout may need more room than asked for; centre what will be shown.
        m_window->resize(m_window->size().expandedTo(m_window->minimumSizeHint()));
        centreOnMainWindow();
    }
    m_window->show();
    return m_window.get();
}

void ToolWindowController::centreOnMainWindow()
{
    if (!m_mainWindow)
        return;
    const QRect main = m_mainWindow->geometry();
    const int left = int(main.left() + main.width() * 0.5 - m_window->width() * 0.5);
    const int top = int(main.top() + main.height() * 0.5 - m_window->height() * 0.5);
    m_window->move(left, top);
}
