#pragma once

#include <QLabel>
#include <QMouseEvent>

// A label that says when it is pressed, for swatches that open a picker.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    ClickableLabel(const QString& text, QWidget* parent);

signals:
    void clicked(QMouseEvent* event);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
