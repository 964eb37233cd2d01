#pragma once

#include "ToolWindowController.h"

#include <QString>

// Help > System Info: program version, operating system and OpenGL, as known
// when the window is first opened.
class SystemInfoWindowController : public ToolWindowController {
    Q_OBJECT
public:
    explicit SystemInfoWindowController(QWidget* mainWindow, QObject* parent = nullptr);

    // "<version>, <renderer>" of a context made on an offscreen surface, or
    // "not available" when this system cannot make one.
    static QString openGLDescription();

public slots:
    void showSystemInfoWindow();

protected:
    QWidget* createWindow() override;
};
