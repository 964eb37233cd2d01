#include "MainWindow.h"

#include "StatusBarController.h"
#include "ToolBarController.h"

#include <QCloseEvent>
#include <QIcon>
#include <QMenuBar>
#include <QSettings>
#include <QToolBar>

#include <memory>

namespace {

// Beside the user settings, in the same store.
std::unique_ptr<QSettings> settingsStore()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("com.velmora"),
                                       QStringLiteral("velmoraEncoder"));
}

const char* const kGeometryKey = "Window/Geometry";

} // namespace

QString MainWindow::baseTitle() { return tr("Velmora 3D Encoder"); }

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    menuBar();
    QToolBar* toolBar = addToolBar(tr("Main Toolbar"));
    toolBar->setFloatable(false);
    toolBar->setMovable(false);
    m_toolBarController = new ToolBarController(toolBar, this);
    m_statusBarController = new StatusBarController(this);
    setStatusBar(m_statusBarController->statusBar());
    m_statusBarController->setModelStatistics(0, 0, 0);
    setWindowTitle(baseTitle());
    setWindowIcon(QIcon(QStringLiteral(":/IconAppIconSmall")));
}

MainWindow::~MainWindow() = default;

void MainWindow::setTitleFileName(const QString& fileName)
{
    setWindowTitle(fileName.isEmpty() ? baseTitle() : baseTitle() + QStringLiteral(" - ") + fileName);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The current workspace is deleted by whoever listens here; the event
    // stays accepted so the window always closes.
    storeGeometry();
    emit windowWillClose();
    event->accept();
}

void MainWindow::storeGeometry() const
{
    settingsStore()->setValue(QLatin1String(kGeometryKey), QMainWindow::saveGeometry());
}

bool MainWindow::restoreSavedGeometry()
{
    // restoreGeometry() keeps a window on a screen that still exists, and
    // shows it maximized again when it closed so.
    const QByteArray saved = settingsStore()->value(QLatin1String(kGeometryKey)).toByteArray();
    return !saved.isEmpty() && restoreGeometry(saved);
}
