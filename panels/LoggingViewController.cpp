#include "LoggingViewController.h"

#include "BuildConfig.h"
#include "CustomTextBrowser.h"

#include "WebLink.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTextDocument>
#include <QVBoxLayout>

#include <cmath>

namespace {
const int kWindowWidth = 500;
const int kWindowHeight = 300;
const int kTableRowHeight = 25;
const int kTableMinimumHeight = 105;
// Room the detail pane keeps for a short message; it takes more when the
// message needs it and the window has it.
const int kDetailBoxMinimumHeight = 90;
} // namespace

LoggingViewController::LoggingViewController(QWidget* windowParent, QObject* parent)
    : QObject(parent)
    , m_loggingManager(new LoggingManager(this))
    , m_windowParent(windowParent)
{
    connect(m_loggingManager, &LoggingManager::loggingManagerHasNewLogsAvailable, this,
            &LoggingViewController::loggingManagerHasNewLogsAvailable);
}

// The window is a child of the window parent and goes with it; a table that
// outlives the manager lets go of its model as the model goes.
LoggingViewController::~LoggingViewController() = default;

QString LoggingViewController::documentationUrl()
{
    return QStringLiteral(VELMORA_WEB_HOST "/documentation/assetsworkflow.html#3d-assets-workflow");
}

// The detail of a record that is gone must not stay beside the next list.
void LoggingViewController::clear()
{
    m_loggingManager->clear();
    if (m_detailPane)
        showDetailPrompt();
}

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
    growDetailPaneToFit();
}

// A long message gets the room it needs: the window grows (within the
// screen), then the list above gives up room down to its least height;
// beyond that the pane scrolls.
void LoggingViewController::growDetailPaneToFit()
{
    const int frame = m_splitter->widget(1)->height() - m_detailPane->viewport()->height();
    m_detailPane->document()->setTextWidth(m_detailPane->viewport()->width());
    const QTextDocument* text = m_detailPane->document();
    const int wanted = int(std::ceil(text->size().height() + text->documentMargin())) + frame;
    const int missing = wanted - (m_splitter->height() - kTableMinimumHeight);
    if (missing > 0 && m_window->isVisible()) {
        const QRect screen = m_window->screen()->availableGeometry();
        m_window->resize(m_window->width(), qMin(m_window->height() + missing, screen.height() * 4 / 5));
    }
    const int total = m_splitter->height();
    const int detail
        = qBound(kDetailBoxMinimumHeight, wanted, qMax(kDetailBoxMinimumHeight, total - kTableMinimumHeight));
    m_splitter->setSizes({total - detail, detail});
}

QList<int> LoggingViewController::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedIndexes())
        rows.append(index.row());
    return rows;
}

void LoggingViewController::copySelectedClicked()
{
    if (!selectedRows().isEmpty())
        QGuiApplication::clipboard()->setText(m_loggingManager->copyText(selectedRows()));
}

void LoggingViewController::copyAllClicked() { QGuiApplication::clipboard()->setText(m_loggingManager->copyAllText()); }

// The window manager's own close button, and Escape, count as the user
// closing the window, like our Close button.
bool LoggingViewController::eventFilter(QObject* watched, QEvent* event)
{
    const bool escape = event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
    if (watched == m_window && (event->type() == QEvent::Close || escape)) {
        event->ignore();
        userDidCloseLoggingWindow();
        return true;
    }
    // The table's own Ctrl+C would copy only the current row's title.
    if (watched == m_table && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        copySelectedClicked();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void LoggingViewController::buildWindow()
{
    m_window = new QWidget();
    m_window->setObjectName(QStringLiteral("loggingWindow"));
    m_window->setParent(m_windowParent, Qt::Sheet);
    m_window->resize(kWindowWidth, kWindowHeight);
    m_window->setWindowTitle(tr("Logger Output"));
    m_window->installEventFilter(this);

    QGroupBox* outerBox = new QGroupBox(tr("Some Warnings and Errors occured during the import"), m_window);
    outerBox->setContentsMargins(5, 25, 5, 5);
    QGridLayout* grid = new QGridLayout(outerBox);
    grid->setContentsMargins(5, 5, 5, 5);
    m_splitter = new QSplitter(Qt::Vertical, outerBox);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(createTable());
    m_splitter->addWidget(createDetailBox());
    grid->addWidget(m_splitter, 0, 0, 1, 2);

    QPushButton* copyAllButton = new QPushButton(m_copyAllAction->text(), outerBox);
    copyAllButton->setObjectName(QStringLiteral("loggingCopyAllButton"));
    connect(copyAllButton, &QPushButton::clicked, m_copyAllAction, &QAction::trigger);
    grid->addWidget(copyAllButton, 1, 0);
    m_closeButton = new QPushButton(tr("Close"), outerBox);
    m_closeButton->setObjectName(QStringLiteral("loggingCloseButton"));
    connect(m_closeButton, &QPushButton::released, this, &LoggingViewController::userDidCloseLoggingWindow);
    grid->addWidget(m_closeButton, 1, 1);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), m_window);
    connect(escape, &QShortcut::activated, this, &LoggingViewController::userDidCloseLoggingWindow);

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
    m_table->verticalHeader()->setDefaultSectionSize(kTableRowHeight);
    m_table->setMinimumHeight(kTableMinimumHeight);
    m_table->setModel(m_loggingManager->model());
    m_table->resizeColumnsToContents();
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LoggingViewController::selectedLoggingItemChanged);

    QAction* copy = new QAction(tr("Copy"), m_table);
    copy->setObjectName(QStringLiteral("loggingCopyAction"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &LoggingViewController::copySelectedClicked);
    m_copyAllAction = new QAction(tr("Copy all"), m_table);
    m_copyAllAction->setObjectName(QStringLiteral("loggingCopyAllAction"));
    connect(m_copyAllAction, &QAction::triggered, this, &LoggingViewController::copyAllClicked);
    m_table->addActions({copy, m_copyAllAction});
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_table->installEventFilter(this);
    return m_table;
}

QWidget* LoggingViewController::createDetailBox()
{
    QGroupBox* detailBox = new QGroupBox(tr("Detailed Description"));
    detailBox->setMinimumHeight(kDetailBoxMinimumHeight);
    QGridLayout* layout = new QGridLayout(detailBox);
    layout->setContentsMargins(0, 0, 0, 0);
    m_detailPane = new CustomTextBrowser(detailBox);
    m_detailPane->setObjectName(QStringLiteral("loggingDetail"));
    m_detailPane->setReadOnly(true);
    m_detailPane->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 0%)"));
    showDetailPrompt();
    layout->addWidget(m_detailPane);
    return detailBox;
}

void LoggingViewController::showDetailPrompt()
{
    // Nothing answers at a reserved host: no link rather than a dead one.
    const QString prompt = tr("Select a message above to see a more detailed description.");
    if (WebLink::isReachable(QUrl(documentationUrl())))
        m_detailPane->setHtml(prompt + QStringLiteral(" <a href='") + documentationUrl()
                              + QStringLiteral("'>click here</a>."));
    else
        m_detailPane->setPlainText(prompt);
}
