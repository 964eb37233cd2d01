#include "ToolWindowController.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
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
        addCloseControls();
        // The layout may need more room than asked for; centre what will be shown.
        m_window->resize(m_window->size().expandedTo(m_window->minimumSizeHint()));
        centreOnMainWindow();
    }
    m_window->show();
    return m_window.get();
}

void ToolWindowController::addCloseControls()
{
    QWidget* window = m_window.get();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, window);
    buttons->setObjectName(QStringLiteral("closeButtons"));
    buttons->setContentsMargins(10, 0, 10, 0);
    connect(buttons, &QDialogButtonBox::rejected, window, &QWidget::close);
    if (auto* grid = qobject_cast<QGridLayout*>(window->layout()))
        grid->addWidget(buttons, grid->rowCount(), 0, 1, grid->columnCount());
    // A window of fixed size grows by the button row, and stays fixed.
    if (window->minimumSize() == window->maximumSize())
        window->setFixedSize(window->size().expandedTo(window->minimumSizeHint()));
    window->installEventFilter(this);
}

bool ToolWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window.get() && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        m_window->close();
        return true;
    }
    return QObject::eventFilter(watched, event);
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
