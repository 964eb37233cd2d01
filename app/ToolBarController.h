#pragma once

#include <QObject>

class QAction;
class QToolBar;

// Fills the main tool bar with Open, Export and Reset Camera and turns the
// buttons into signals.
class ToolBarController : public QObject {
    Q_OBJECT
public:
    ToolBarController(QToolBar* toolBar, QObject* parent);

    void setExportEnabled(bool enabled);

    QToolBar* toolBar() const { return m_toolBar; }
    QAction* openAction() const { return m_openAction; }
    QAction* exportAction() const { return m_exportAction; }

signals:
    void openFileSignal();
    void exportFileSignal();
    void resetCameraSignal();

public slots:
    void openFileSlot();
    void exportFileSlot();
    void resetCameraSlot();

private:
    QAction* createAction(const QString& iconName, const QString& text);

    QToolBar* m_toolBar;
    QAction* m_openAction = nullptr;
    QAction* m_exportAction = nullptr;
    QAction* m_resetCameraAction = nullptr;
};
