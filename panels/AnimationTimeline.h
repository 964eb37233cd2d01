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

    // "elapsed / length", both as minutes, seconds and hundredths.
    static QString timeText(float elapsedMs, float lengthMs);
    static float cycleTime(float elapsedMs, float lengthMs);

signals:
    // The user started or paused a clip here.
    void clipPlayingChanged(const QString& clip, bool playing);

public slots:
    void addClip(const QString& clip);
    void clearClips();
    void chooseClip(const QString& clip);
    void showClipPlaying(const QString& clip, bool playing);
    void clipStarted(const QString& clip);
    void clipFinished(const QString& clip, float milliseconds);
    void clipAdvanced(const QString& clip, float milliseconds);

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
