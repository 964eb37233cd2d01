#pragma once

#include <QPushButton>

// The round play/stop button of one animation row. It knows whether its clip
// plays and reports the pointer entering and leaving it, so that the list can
// show the hover images.
class AnimationControlButton : public QPushButton {
    Q_OBJECT
public:
    enum State { Stopped = 0, Playing = 1 };

    explicit AnimationControlButton(QWidget* parent = nullptr);

    State state() const { return m_state; }
    void setState(State state) { m_state = state; }

signals:
    void mouseEnter();
    void mouseExit();

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    State m_state = Stopped;
};
