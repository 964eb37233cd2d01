#pragma once

#include <QDialog>

struct AvailableUpdate;
class QLabel;

// Tells where the update lies and that OK opens it in the browser. It deletes
// itself when closed.
class UpdateConfirmDialog : public QDialog {
    Q_OBJECT
public:
    explicit UpdateConfirmDialog(QWidget* parent = nullptr);

    // Shows the download link of `update`; false without one.
    bool fill(const AvailableUpdate* update);

private:
    QLabel* m_link = nullptr;
};
