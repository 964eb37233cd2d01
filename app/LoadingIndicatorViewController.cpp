#include "LoadingIndicatorViewController.h"

#include "LoadingIndicatorView.h"

LoadingIndicatorViewController::LoadingIndicatorViewController(QWidget* mainWindow, QObject* parent)
    : QObject(parent)
    , m_view(new LoadingIndicatorView(mainWindow))
{
}

// The view is a child of the main window and goes with it.
LoadingIndicatorViewController::~LoadingIndicatorViewController() = default;

int LoadingIndicatorViewController::start(const QString& message, int timeoutMs)
{
    return m_view ? m_view->start(message, timeoutMs) : -1;
}

void LoadingIndicatorViewController::stop(int delayMs)
{
    if (m_view)
        m_view->stop(delayMs);
}

LoadingIndicatorView* LoadingIndicatorViewController::view() const { return m_view; }
