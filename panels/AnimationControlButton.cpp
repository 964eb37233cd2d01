#include "AnimationControlButton.h"

AnimationControlButton::AnimationControlButton(QWidget* parent)
    : QPushButton(parent)
{
}

void AnimationControlButton::enterEvent(QEvent* event)
{
    emit mouseEnter();
    QPushButton::enterEvent(event);
}

void AnimationControlButton::leaveEvent(QEvent* event)
{
    emit mouseExit();
    QPushButton::leaveEvent(event);
}
