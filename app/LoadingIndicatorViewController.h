#pragma once

#include <QObject>
#include <QPointer>

class LoadingIndicatorView;
class QWidget;

// Owns the loading indicator window of the main window.
class LoadingIndicatorViewController : public QObject {
    Q_OBJECT
public:
    LoadingIndicatorViewController(QWidget* mainWindow, QObject* parent = nullptr);
    ~LoadingIndicatorViewController() override;

    int start(const QString& message, int timeoutMs);
    void stop(int delayMs);

    LoadingIndicatorView* view() const;

private:
    // Child of the main window, so it may already be gone when we are.
    QPointer<LoadingIndicatorView> m_view;
};
