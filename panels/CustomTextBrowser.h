#pragma once

#include <QTextBrowser>

// A text browser that never navigates and never fetches: every http or https
// link the user follows is handed to the system's web browser (links of any
// other scheme are ignored), and the page may refer only
// to images compiled into the program. What it shows may come from the
// network, so it must not reach the local file system either.
class CustomTextBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit CustomTextBrowser(QWidget* parent = nullptr);

    void setSource(const QUrl& url) override;
    // Hands the page to the system's browser; when none takes it, a box
    // over `parent` says so.
    static void openLink(const QUrl& url, QWidget* parent);
    QVariant loadResource(int type, const QUrl& name) override;
};
