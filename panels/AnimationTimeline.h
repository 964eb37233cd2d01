#pragma once

#include <QHash>
#include <QSet>
#include <QWidget>

class AnimationPlayback;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

// The time line of one clip under the animation list: a slider from the
// clip's start to its length that poses the model wherever it is dragged,
// whether the clip plays or not, with play/pause, looping and the time shown
// against the clip's length.
class AnimationTimeline : public QWidget {
    Q_OBJECT
public:
    // `playback` may be null: then the controls stay disabled.
    AnimationTimeline(QWidget* parent, AnimationPlayback* playback);

    QString clip() const;
    QSlider* slider() const { return m_slider; }
    QPushButton* playButton() const { return m_playButton; }
    QCheckBox* loopBox() const { return m_loopBox; }
    QLabel* timeLabel() const { return m_timeLabel; }

    // One step of the arrow keys: a frame at 30 frames a second.
    static constexpr int kFrameStepMs = 33;
    // A click on the groove moves by a tenth of the clip, at least this much.
    static constexpr int kMinimumPageStepMs = 100;

    // What a reload of the same model keeps of the time line.
    struct Shown {
        QString clip;
        float milliseconds = 0.0f;
        bool playing = false;
        bool looping = false;
    };
    Shown shown() const;
    // After the reloaded model's clips are in; a clip that is gone is skipped.
    void restore(const Shown& shown);

    // "elapsed / length", both as minutes, seconds and hundredths.
    static QString timeText(float elapsedMs, float lengthMs);
    static float cycleTime(float elapsedMs, float lengthMs);

signals:
    // The user started or paused a clip here.
    void clipPlayingChanged(const QString& clip, bool playing);
    // The user moved the time line to that time of the clip.
    void clipSought(const QString& clip, float milliseconds);

public slots:
    void addClip(const QString& clip);
    void clearClips();
    void chooseClip(const QString& clip);
    void showClipPlaying(const QString& clip, bool playing);
    void clipStarted(const QString& clip);
    void clipFinished(const QString& clip, float milliseconds);
    void clipAdvanced(const QString& clip, float milliseconds);
    // Plays the chosen clip, or pauses it when it plays.
    void togglePlaying();
    // Moves the time line by whole frames, forwards or backwards.
    void stepFrames(int frames);

private slots:
    void playClicked();
    void loopToggled(bool looping);
    void sliderMoved(int milliseconds);
    void chosenClipChanged();

private:
    void showTime(float milliseconds);
    void markPlaying(const QString& clip, bool playing);
    float clipLength() const;

    AnimationPlayback* m_playback;
    QComboBox* m_clipChooser;
    QPushButton* m_playButton;
    QCheckBox* m_loopBox;
    QSlider* m_slider;
    QLabel* m_timeLabel;
    // Per clip, as last seen: whether it plays, whether it loops, where it is.
    QSet<QString> m_playingClips;
    QSet<QString> m_loopingClips;
    QHash<QString, float> m_clipTimes;
};
