#pragma once

#include <QHash>
#include <QString>
#include <QTableWidget>

class AnimationControlButton;
class AnimationPlayback;
class QLabel;

// The side panel listing the loaded model's animation clips: one row per
// clip with its name, its elapsed time and a play/stop button. Playing,
// pausing and restarting go through the given playback (the viewport); the
// viewport's clip signals drive the rows' buttons and times.
class AnimationListWidget : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int kClipRowHeight = 60;
    static constexpr int kButtonSize = 32;

    // `playback` may be null: then no clip can be started from the list.
    AnimationListWidget(QWidget* parent, AnimationPlayback* playback);

    // Minutes, seconds and hundredths: 65432 ms is "1:05.43".
    static QString formatElapsedTime(float milliseconds);

signals:
    // The user started or paused a clip here.
    void clipPlayingChanged(const QString& clip, bool playing);

public slots:
    void addItemToAnimations(const QString& anim);
    void clearAnimationModel();
    void animationStartedPlaying(const QString& animationId);
    void animationFinishedPlaying(const QString& animationId, float milliseconds);
    void updateElaspedTimeOfAnimation(const QString& animationId, float milliseconds);
    void showClipPlaying(const QString& clip, bool playing);

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void controlButtonClicked();
    void controlButtonPressed();
    void controlButtonReleased();
    void controlButtonMouseEnter();
    void controlButtonMouseExit();

private:
    enum class ButtonLook { Default, MouseOver, Clicked };

    struct ClipRow {
        QWidget* widget = nullptr;
        QLabel* nameLabel = nullptr;
        QLabel* timeLabel = nullptr;
        AnimationControlButton* button = nullptr;
    };

    ClipRow createRow(const QString& anim);
    AnimationControlButton* senderButton() const;
    void showLook(AnimationControlButton* button, ButtonLook look);
    void setPlaying(AnimationControlButton* button, bool playing);
    void showTime(const QString& animationId, float milliseconds);
    void fitNameLabel(const ClipRow& row, const QString& anim);
    void restoreHeader();

    AnimationPlayback* m_playback;
    QHash<QString, ClipRow> m_rowOfClip;
};
