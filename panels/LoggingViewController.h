#pragma once

#include "EncoderOutputLog.h"
#include "LoggingManager.h"

#include <QItemSelection>
#include <QObject>
#include <QPointer>

class CustomTextBrowser;
class QAction;
class QPushButton;
class QSplitter;
class QTableView;
class QWidget;

// The logging window: the encoder's warnings and errors of the last import,
// one row each, with the long text of the selected row below. Owns the
// logging manager that keeps the rows. The window is built the first time it
// shows and kept from then on; every change of its visibility the user makes
// is reported, so that the menu's check mark can follow.
class LoggingViewController : public QObject {
    Q_OBJECT
public:
    // The window stays on top of `windowParent` (the main window).
    explicit LoggingViewController(QWidget* windowParent, QObject* parent = nullptr);
    ~LoggingViewController() override;

    LoggingManager* loggingManager() const { return m_loggingManager; }
    void clear();

    static QString documentationUrl();

signals:
    void userDidChangedLoggingWindowVisibility(bool visible);
    // Before the window shows or hides, so that an overlay covering the main
    // window (the loading indicator) can make way.
    void loggingWindowVisibilityWillChange();

public slots:
    void addLoggingMessages(const EncoderOutputLogs& logs);
    void loggingManagerHasNewLogsAvailable(const EncoderOutputLogs& logs, LoggingManager::LoggingPriority priority);
    void showLoggingWindow(bool visible);
    void hideLoggingWindow();
    void userDidCloseLoggingWindow();
    void selectedLoggingItemChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void copySelectedClicked();
    void copyAllClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void showDetailPrompt();
    QWidget* createTable();
    QWidget* createDetailBox();
    void growDetailPaneToFit();
    QList<int> selectedRows() const;

    LoggingManager* m_loggingManager = nullptr;
    QPointer<QWidget> m_windowParent;
    // Owned by the window parent once built; a QPointer because the main
    // window may go first.
    QPointer<QWidget> m_window;
    QTableView* m_table = nullptr;
    CustomTextBrowser* m_detailPane = nullptr;
    QSplitter* m_splitter = nullptr;
    QAction* m_copyAllAction = nullptr;
    QPushButton* m_closeButton = nullptr;
};
