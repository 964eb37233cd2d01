#include "AnimationListWidget.h"

#include "AnimationControlButton.h"
#include "AnimationPlayback.h"
#include "AnimationTimeline.h"

#include <QDebug>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include <climits>
#include <cmath>

namespace {

const int kNameLabelMargin = 25;

QString iconPath(bool playing, int look)
{
    static const char* const kPlay[]
        = {":/ControlButton_Play_Default", ":/ControlButton_Play_MouseOver", ":/ControlButton_Play_Clicked"};
    static const char* const kStop[]
        = {":/ControlButton_Stop_Default", ":/ControlButton_Stop_MouseOver", ":/ControlButton_Stop_Clicked"};
    return QLatin1String(playing ? kStop[look] : kPlay[look]);
}

} // namespace

AnimationListWidget::AnimationListWidget(QWidget* parent, AnimationPlayback* playback)
    : QTableWidget(parent)
    , m_playback(playback)
{
    setObjectName(QStringLiteral("animationList"));
    setSelectionMode(QAbstractItemView::NoSelection);
    setColumnCount(1);
    setRowCount(0);
    verticalHeader()->hide();
    restoreHeader();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    horizontalHeader()->setStretchLastSection(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setColumnWidth(0, width());
    setShowGrid(false);
    setStyleSheet(QStringLiteral("QTableWidget::item {border: none;padding: 0px;margin: 0px;}"));
}

QString AnimationListWidget::formatElapsedTime(float milliseconds)
{
    // Out-of-range values (a clip of absurd length, NaN) must not reach the
    // integer conversion.
    const double clamped = std::isfinite(milliseconds) ? qBound(0.0, double(milliseconds), double(INT_MAX)) : 0.0;
    const int total = int(clamped);
    const int hundredths = total / 10;
    const int seconds = hundredths / 100;
    return QString::asprintf("%d:%02d.%02d", seconds / 60, seconds % 60, hundredths % 100);
}

void AnimationListWidget::addItemToAnimations(const QString& anim)
{
    if (m_rowOfClip.contains(anim))
        return;
    const int row = rowCount();
    insertRow(row);
    setRowHeight(row, kClipRowHeight);
    const ClipRow clipRow = createRow(anim);
    setCellWidget(row, 0, clipRow.widget);
    m_rowOfClip.insert(anim, clipRow);
    showTime(anim, 0); // the clip's length shows before it first plays
    resizeColumnToContents(0);
    fitNameLabel(clipRow, anim);
}

// Rows of the previous model go entirely, so the next model's clips start at
// the top again, under the list's own header.
void AnimationListWidget::clearAnimationModel()
{
    m_rowOfClip.clear();
    clearContents();
    setRowCount(0);
    restoreHeader();
}

void AnimationListWidget::animationStartedPlaying(const QString& animationId)
{
    const auto row = m_rowOfClip.constFind(animationId);
    if (row == m_rowOfClip.constEnd())
        return;
    showTime(animationId, 0);
    setPlaying(row->button, true);
}

void AnimationListWidget::animationFinishedPlaying(const QString& animationId, float milliseconds)
{
    const auto row = m_rowOfClip.constFind(animationId);
    if (row == m_rowOfClip.constEnd())
        return;
    setPlaying(row->button, false);
    showTime(animationId, milliseconds);
}

void AnimationListWidget::updateElaspedTimeOfAnimation(const QString& animationId, float milliseconds)
{
    showTime(animationId, milliseconds);
}

void AnimationListWidget::showClipPlaying(const QString& clip, bool playing)
{
    const auto row = m_rowOfClip.constFind(clip);
    if (row != m_rowOfClip.constEnd())
        setPlaying(row->button, playing);
}

void AnimationListWidget::resizeEvent(QResizeEvent* event)
{
    QTableWidget::resizeEvent(event);
    for (auto it = m_rowOfClip.cbegin(); it != m_rowOfClip.cend(); ++it)
        fitNameLabel(it.value(), it.key());
}

void AnimationListWidget::controlButtonClicked()
{
    AnimationControlButton* button = senderButton();
    if (!button)
        return;
    qDebug() << "clicked was called";
    const QString clip = button->objectName();
    if (button->state() == AnimationControlButton::Playing) {
        qDebug().noquote() << "stop (pause) " << clip;
        if (m_playback)
            m_playback->pauseAnimation(clip);
        setPlaying(button, false);
        emit clipPlayingChanged(clip, false);
        return;
    }
    // A paused clip starts again from its beginning.
    if (!m_playback)
        return;
    m_playback->stopAnimation(clip);
    if (!m_playback->playAnimation(clip))
        return;
    setPlaying(button, true);
    emit clipPlayingChanged(clip, true);
}

void AnimationListWidget::controlButtonPressed()
{
    qDebug() << "pressed was called";
    showLook(senderButton(), ButtonLook::Clicked);
}

void AnimationListWidget::controlButtonReleased()
{
    qDebug() << "released was called";
    showLook(senderButton(), ButtonLook::Default);
}

void AnimationListWidget::controlButtonMouseEnter() { showLook(senderButton(), ButtonLook::MouseOver); }

void AnimationListWidget::controlButtonMouseExit() { showLook(senderButton(), ButtonLook::Default); }

AnimationListWidget::ClipRow AnimationListWidget::createRow(const QString& anim)
{
    ClipRow row;
    row.widget = new QWidget();
    row.widget->setObjectName(anim);
    row.widget->setToolTip(anim);
    QGridLayout* grid = new QGridLayout(row.widget);
    grid->setVerticalSpacing(0);
    grid->setColumnStretch(0, 1);

    QVBoxLayout* labels = new QVBoxLayout();
    labels->setContentsMargins(0, 0, 0, 0);
    labels->setSpacing(2);
    row.nameLabel = new QLabel(anim, row.widget);
    row.timeLabel = new QLabel(row.widget);
    row.timeLabel->setObjectName(QStringLiteral("0"));
    labels->addWidget(row.nameLabel);
    labels->addWidget(row.timeLabel);
    grid->addLayout(labels, 0, 0);

    row.button = new AnimationControlButton(row.widget);
    row.button->setObjectName(anim);
    row.button->setIcon(QIcon(iconPath(false, int(ButtonLook::Default))));
    row.button->setIconSize(QSize(kButtonSize, kButtonSize));
    row.button->setStyleSheet(
        QStringLiteral("QPushButton {width: 32px; height: 32px;border: 0px solid #8f8f91;border-radius: 16px;}"));
    grid->addWidget(row.button, 0, 1);

    connect(row.button, &QPushButton::clicked, this, &AnimationListWidget::controlButtonClicked);
    connect(row.button, &QPushButton::pressed, this, &AnimationListWidget::controlButtonPressed);
    connect(row.button, &QPushButton::released, this, &AnimationListWidget::controlButtonReleased);
    connect(row.button, &AnimationControlButton::mouseEnter, this, &AnimationListWidget::controlButtonMouseEnter);
    connect(row.button, &AnimationControlButton::mouseExit, this, &AnimationListWidget::controlButtonMouseExit);
    return row;
}

AnimationControlButton* AnimationListWidget::senderButton() const
{
    return qobject_cast<AnimationControlButton*>(sender());
}

void AnimationListWidget::showLook(AnimationControlButton* button, ButtonLook look)
{
    if (button)
        button->setIcon(QIcon(iconPath(button->state() == AnimationControlButton::Playing, int(look))));
}

void AnimationListWidget::setPlaying(AnimationControlButton* button, bool playing)
{
    button->setState(playing ? AnimationControlButton::Playing : AnimationControlButton::Stopped);
    showLook(button, ButtonLook::Default);
}

void AnimationListWidget::showTime(const QString& animationId, float milliseconds)
{
    const auto row = m_rowOfClip.constFind(animationId);
    if (row != m_rowOfClip.constEnd())
        row->timeLabel->setText(
            AnimationTimeline::timeText(milliseconds, m_playback ? m_playback->animationLength(animationId) : 0.0f));
}

// Long clip names end in an ellipsis that follows the panel's width.
void AnimationListWidget::fitNameLabel(const ClipRow& row, const QString& anim)
{
    const int available = columnWidth(0) - row.button->sizeHint().width() - kNameLabelMargin;
    if (available <= 0)
        return; // not laid out yet
    row.nameLabel->setMaximumWidth(available);
    row.nameLabel->setText(row.nameLabel->fontMetrics().elidedText(anim, Qt::ElideRight, available));
}

void AnimationListWidget::restoreHeader() { setHorizontalHeaderItem(0, new QTableWidgetItem(tr("Animations"))); }
