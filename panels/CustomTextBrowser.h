#pragma once

#include <QTextBrowser>

// A text browser that never navigates itself: every link the user follows
// is handed to the system's web browser.
class CustomTextBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit CustomTextBrowser(QWidget* parent = nullptr);

    void setSource(const QUrl& url) override;
};
