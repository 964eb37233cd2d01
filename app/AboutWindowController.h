#pragma once

#include "ToolWindowController.h"

// Help > About: name, version, the credits of the components we build on and
// our copyright line.
class AboutWindowController : public ToolWindowController {
    Q_OBJECT
public:
    explicit AboutWindowController(QWidget* mainWindow, QObject* parent = nullptr);

    static QString versionLine();
    static QString copyrightLine();

public slots:
    void showAboutWindow();

protected:
    QWidget* createWindow() override;
};
