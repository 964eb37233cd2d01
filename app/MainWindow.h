#pragma once

#include <QMainWindow>

class StatusBarController;
class ToolBarController;

// The main window: menu bar (filled by the menu manager), a fixed tool bar
// and the status bar. The central area belongs to the main view controller.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static QString baseTitle();

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    ToolBarController* toolBarController() const { return m_toolBarController; }
    StatusBarController* statusBarController() const { return m_statusBarController; }

    void setTitleFileName(const QString& fileName);
    // Size, place and maximized state as the window last closed, from the
    // user's settings store; false, and the window as it was, without any.
    bool restoreSavedGeometry();

signals:
    // Emitted while the window closes, before the event loop may end.
    void windowWillClose();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void storeGeometry() const;

private:
    ToolBarController* m_toolBarController = nullptr;
    StatusBarController* m_statusBarController = nullptr;
};
