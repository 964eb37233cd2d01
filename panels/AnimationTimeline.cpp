#include "AnimationTimeline.h"

#include "AnimationListWidget.h"
#include "AnimationPlayback.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <algorithm>
#include <cmath>

AnimationTimeline::AnimationTimeline(QWidget* parent, AnimationPlayback* playback)
    : QWidget(parent)
    , m_playback(playback)
    , m_clipChooser(new QComboBox(this))
    , m_playButton(new QPushButton(this))
    , m_loopBox(new QCheckBox(tr("Loop"), this))
    , m_slider(new QSlider(Qt::Horizontal, this))
    , m_timeLabel(new QLabel(timeText(0, 0), this))
{
    setObjectName(QStringLiteral("animationTimeline"));
    m_clipChooser->setToolTip(tr("The clip the time line shows"));
    m_slider->setObjectName(QStringLiteral("timelineSlider"));
    m_slider->setToolTip(tr("Drag to pose the model at any time of the clip"));
    m_playButton->setObjectName(QStringLiteral("timelinePlayButton"));
    m_loopBox->setObjectName(QStringLiteral("timelineLoopBox"));
    m_timeLabel->setObjectName(QStringLiteral("timelineTime"));

    QGridLayout* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->addWidget(m_clipChooser, 0, 0, 1, 3);
    grid->addWidget(m_slider, 1, 0, 1, 3);
    grid->addWidget(m_playButton, 2, 0);
    grid->addWidget(m_loopBox, 2, 1);
    grid->addWidget(m_timeLabel, 2, 2, Qt::AlignRight);

    connect(m_playButton, &QPushButton::clicked, this, &AnimationTimeline::playClicked);
    connect(m_loopBox, &QCheckBox::toggled, this, &AnimationTimeline::loopToggled);
    connect(m_slider, &QSlider::sliderMoved, this, &AnimationTimeline::sliderMoved);
    // A click on the groove or a key moves the slider without a drag.
    connect(m_slider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && action != QAbstractSlider::SliderNoAction)
            sliderMoved(m_slider->sliderPosition());
    });
    connect(m_clipChooser, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &AnimationTimeline::chosenClipChanged);
    chosenClipChanged();
}

QString AnimationTimeline::clip() const { return m_clipChooser->currentText(); }

// Within one cycle: a repeating clip's time runs on past its length.
float AnimationTimeline::cycleTime(float elapsedMs, float lengthMs)
{
    const float elapsed = std::isfinite(elapsedMs) ? elapsedMs : 0.0f;
    return lengthMs > 0.0f && elapsed > lengthMs ? std::fmod(elapsed, lengthMs) : elapsed;
}

QString AnimationTimeline::timeText(float elapsedMs, float lengthMs)
{
    return AnimationListWidget::formatElapsedTime(cycleTime(elapsedMs, lengthMs)) + QStringLiteral(" / ")
        + AnimationListWidget::formatElapsedTime(lengthMs);
}

void AnimationTimeline::addClip(const QString& clip)
{
    if (m_clipChooser->findText(clip) < 0)
        m_clipChooser->addItem(clip);
}

void AnimationTimeline::clearClips()
{
    m_playingClips.clear();
    m_loopingClips.clear();
    m_clipTimes.clear();
    m_clipChooser->clear();
}

void AnimationTimeline::chooseClip(const QString& clip)
{
    const int index = m_clipChooser->findText(clip);
    if (index >= 0)
        m_clipChooser->setCurrentIndex(index);
}

void AnimationTimeline::showClipPlaying(const QString& clip, bool playing)
{
    chooseClip(clip);
    markPlaying(clip, playing);
}

void AnimationTimeline::clipStarted(const QString& clip) { showClipPlaying(clip, true); }

void AnimationTimeline::clipFinished(const QString& clip, float milliseconds)
{
    markPlaying(clip, false);
    m_clipTimes.insert(clip, milliseconds);
    if (clip == this->clip())
        showTime(milliseconds);
}

void AnimationTimeline::clipAdvanced(const QString& clip, float milliseconds)
{
    m_clipTimes.insert(clip, milliseconds);
    // The hand on the slider wins over the clip running on under it.
    if (clip == this->clip() && !m_slider->isSliderDown())
        showTime(milliseconds);
}

// A clip that stands starts where the slider is; a paused one goes on.
void AnimationTimeline::togglePlaying() { playClicked(); }

void AnimationTimeline::stepFrames(int frames)
{
    if (!m_slider->isEnabled())
        return;
    const int target = qBound(m_slider->minimum(), m_slider->value() + frames * kFrameStepMs, m_slider->maximum());
    m_slider->setValue(target);
    sliderMoved(target);
}

AnimationTimeline::Shown AnimationTimeline::shown() const
{
    const QString clip = this->clip();
    return Shown {clip, m_clipTimes.value(clip), m_playingClips.contains(clip), m_loopingClips.contains(clip)};
}

void AnimationTimeline::restore(const Shown& shown)
{
    if (shown.clip.isEmpty() || m_clipChooser->findText(shown.clip) < 0)
        return;
    chooseClip(shown.clip);
    m_loopBox->setChecked(shown.looping);
    const int time = qBound(0, int(shown.milliseconds), m_slider->maximum());
    m_slider->setValue(time);
    sliderMoved(time);
    if (shown.playing && !m_playingClips.contains(shown.clip))
        playClicked();
}

void AnimationTimeline::playClicked()
{
    if (!m_playback || clip().isEmpty())
        return;
    const QString clip = this->clip();
    if (m_playingClips.contains(clip)) {
        m_playback->pauseAnimation(clip);
        markPlaying(clip, false);
        emit clipPlayingChanged(clip, false);
        return;
    }
    const int from = m_slider->value() < m_slider->maximum() ? m_slider->value() : 0;
    if (!m_playback->playAnimation(clip))
        return;
    m_playback->seekAnimation(clip, float(from));
    markPlaying(clip, true);
    emit clipPlayingChanged(clip, true);
}

void AnimationTimeline::loopToggled(bool looping)
{
    if (!m_playback || clip().isEmpty())
        return;
    if (looping)
        m_loopingClips.insert(clip());
    else
        m_loopingClips.remove(clip());
    m_playback->setAnimationLooping(clip(), looping);
}

void AnimationTimeline::sliderMoved(int milliseconds)
{
    if (m_playback && !clip().isEmpty())
        m_playback->seekAnimation(clip(), float(milliseconds));
    m_clipTimes.insert(clip(), float(milliseconds));
    m_timeLabel->setText(timeText(float(milliseconds), clipLength()));
    emit clipSought(clip(), float(milliseconds));
}

void AnimationTimeline::chosenClipChanged()
{
    const bool chosen = m_playback && !clip().isEmpty();
    m_playButton->setEnabled(chosen);
    m_loopBox->setEnabled(chosen);
    m_slider->setEnabled(chosen);
    m_slider->setRange(0, int(clipLength()));
    m_slider->setSingleStep(kFrameStepMs);
    m_slider->setPageStep(std::max(kMinimumPageStepMs, m_slider->maximum() / 10));
    m_playButton->setText(m_playingClips.contains(clip()) ? tr("Pause") : tr("Play"));
    const QSignalBlocker quiet(m_loopBox);
    m_loopBox->setChecked(m_loopingClips.contains(clip()));
    showTime(m_clipTimes.value(clip()));
}

void AnimationTimeline::showTime(float milliseconds)
{
    const QSignalBlocker quiet(m_slider);
    m_slider->setValue(int(cycleTime(milliseconds, clipLength())));
    m_timeLabel->setText(timeText(milliseconds, clipLength()));
}

// Every clip's state is kept, so that choosing another clip shows whether
// that one plays.
void AnimationTimeline::markPlaying(const QString& clip, bool playing)
{
    if (playing)
        m_playingClips.insert(clip);
    else
        m_playingClips.remove(clip);
    if (clip == this->clip())
        m_playButton->setText(playing ? tr("Pause") : tr("Play"));
}

float AnimationTimeline::clipLength() const
{
    return m_playback && !clip().isEmpty() ? m_playback->animationLength(clip()) : 0.0f;
}
