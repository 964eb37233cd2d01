#pragma once

#include <QObject>

#include <memory>

class QWidget;

// What the about, preferences and system information windows share: each is
// built on the first request, gets a title bar with only a close button, a
// Close button below its contents and closes with Escape, is centred once on
// the main window as it stands then, and lives until exit.
class ToolWindowController : public QObject {
    Q_OBJECT
public:
    // `mainWindow` is only looked at, never owned.
    explicit ToolWindowController(QWidget* mainWindow, QObject* parent = nullptr);
    ~ToolWindowController() override;

    // Null until the first request.
    QWidget* window() const { return m_window.get(); }

    // Escape, unless a part of the window took it, closes the window.
    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    // Builds the window and everything in it, without a parent, at its final size.
    virtual QWidget* createWindow() = 0;
    virtual Qt::WindowFlags extraWindowFlags() const { return {}; }
    // Creates the window on the first call, then shows it.
    QWidget* showWindow();

private:
    void addCloseControls();
    void centreOnMainWindow();

    QWidget* m_mainWindow;
    std::unique_ptr<QWidget> m_window; // top-level: no parent owns it
};
