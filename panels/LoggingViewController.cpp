#include "LoggingViewController.h"

#include "BuildConfig.h"
#include "CustomTextBrowser.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {
const int windowWidth = 500;
const int windowHeight = 300;
const int tableRowHeight = 25;
const int tableMinimumHeight = 105;
const int detailBoxMaximumHeight = 90;
} // namespace

LoggingViewController::LoggingViewController(QWidget* windowParent, QObject* parent)
    : QObject(parent)
    , m_loggingManager(new LoggingManager(this))
    , m_windowParent(windowParent)
{
    connect(m_loggingManager, &LoggingManager::loggingManagerHasNewLogsAvailable, this,
            &LoggingViewController::loggingManagerHasNewLogsAvailable);
}

LoggingViewController::~LoggingViewController()
{
    // The table shows the manager's model: the window goes first.
    delete m_window.data();
}

QString LoggingViewController::documentationUrl()
{
    return QStringLiteral(VELMORA_WEB_HOST "/documentation/assetsworkflow.html#3d-assets-workflow");
}

void LoggingViewController::clear() { m_loggingManager->clear(); }

void LoggingViewController::addLoggingMessages(const EncoderOutputLogs& logs) { m_loggingManager->addLogs(logs); }

void LoggingViewController::loggingManagerHasNewLogsAvailable(const EncoderOutputLogs& logs,
                                                              LoggingManager::LoggingPriority priority)
{
    if (logs.isEmpty() || priority != LoggingManager::Error)
        return;
    showLoggingWindow(true);
    emit userDidChangedLoggingWindowVisibility(true);
}

void LoggingViewController::showLoggingWindow(bool visible)
{
    emit loggingWindowVisibilityWillChange();
    if (!m_window)
        buildWindow();
    if (visible) {
        m_closeButton->setFocusPolicy(Qt::StrongFocus);
        m_closeButton->setFocus();
        m_window->show();
    } else {
        m_window->hide();
    }
}

void LoggingViewController::hideLoggingWindow() { showLoggingWindow(false); }

void LoggingViewController::userDidCloseLoggingWindow()
{
    showLoggingWindow(false);
    emit userDidChangedLoggingWindowVisibility(false);
}

void LoggingViewController::selectedLoggingItemChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    Q_UNUSED(selected);
    Q_UNUSED(deselected);
    // The encoder's texts carry names out of the model file: shown as plain
    // text, never interpreted as markup, and with their line breaks.
    for (const QModelIndex& index : m_table->selectionModel()->selectedIndexes())
        m_detailPane->setPlainText(m_loggingManager->detailMessage(index.row()));
}

// The window manager's own close button counts as the user closing the
// window, like our Close button.
bool LoggingViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Close) {
        event->ignore();
        userDidCloseLoggingWindow();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void LoggingViewController::buildWindow()
{
    m_window = new QWidget();
    m_window->setObjectName(QStringLiteral("loggingWindow"));
    m_window->setParent(m_windowParent, Qt::Sheet);
    m_window->resize(windowWidth, windowHeight);
    m_window->setWindowTitle(tr("Logger Output"));
    m_window->installEventFilter(this);

    QGroupBox* outerBox = new QGroupBox(tr("Some Warnings and Errors occured during the import"), m_window);
    outerBox->setContentsMargins(5, 25, 5, 5);
    QGridLayout* grid = new QGridLayout(outerBox);
    grid->setContentsMargins(5, 5, 5, 5);
    grid->addWidget(createTable(), 0, 0);
    grid->addWidget(createDetailBox(), 1, 0);

    m_closeButton = new QPushButton(tr("Close"), outerBox);
    m_closeButton->setObjectName(QStringLiteral("loggingCloseButton"));
    connect(m_closeButton, &QPushButton::released, this, &LoggingViewController::userDidCloseLoggingWindow);
    grid->addWidget(m_closeButton, 2, 0);

    QVBoxLayout* windowLayout = new QVBoxLayout(m_window);
    windowLayout->setContentsMargins(8, 25, 8, 8);
    windowLayout->addWidget(outerBox);
}

QWidget* LoggingViewController::createTable()
{
    m_table = new QTableView();
    m_table->setObjectName(QStringLiteral("loggingTable"));
    m_table->setShowGrid(false);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->hide();
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setDefaultSectionSize(tableRowHeight);
    m_table->setMinimumHeight(tableMinimumHeight);
    m_table->setModel(m_loggingManager->model());
    m_table->resizeColumnsToContents();
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LoggingViewController::selectedLoggingItemChanged);
    return m_table;
}

QWidget* LoggingViewController::createDetailBox()
{
    QGroupBox* detailBox = new QGroupBox(tr("Detailed Description"));
    detailBox->setMaximumHeight(detailBoxMaximumHeight);
    QGridLayout* layout = new QGridLayout(detailBox);
    layout->setContentsMargins(0, 0, 0, 0);
    m_detailPane = new CustomTextBrowser(detailBox);
    m_detailPane->setObjectName(QStringLiteral("loggingDetail"));
    m_detailPane->setReadOnly(true);
    m_detailPane->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 0%)"));
    m_detailPane->setHtml(tr("Select a message above to see a more detailed description.")
                          + QStringLiteral(" <a href='") + documentationUrl() + QStringLiteral("'>click here</a>."));
    layout->addWidget(m_detailPane);
    return detailBox;
}
