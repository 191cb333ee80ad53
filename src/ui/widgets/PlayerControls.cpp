#include "ui/widgets/PlayerControls.h"

#include "ui/SvgIcon.h"
#include "ui/Theme.h"
#include "ui/widgets/ProgressBar.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpacerItem>
#include <QVBoxLayout>

#include <utility>

PlayerControls::PlayerControls(QWidget *statusLine, QWidget *parent)
    : QWidget(parent)
    , playPause(new QPushButton(this))
    , previous(new QPushButton(this))
    , forward(new QPushButton(this))
    , stop(new QPushButton(this))
    , shuffle(new QPushButton(this))
    , looping(new QPushButton(this))
    , mute(new QPushButton(this))
    , volume(new QSlider(Qt::Horizontal, this))
    , slider(new ClickableSlider(Qt::Horizontal, this))
    , timeLabel(new ClickableLabel(this))
{
    slider->setRange(0, 100);
    volume->setRange(0, 100);
    // Names for the tests and the benchmark, which see the window from outside.
    const QList<std::pair<QObject *, const char *>> names = {{timeLabel, "timeLabel"},
        {slider, "positionSlider"}, {volume, "volumeSlider"}, {playPause, "playPauseButton"},
        {previous, "previousButton"}, {forward, "nextButton"}, {stop, "stopButton"},
        {shuffle, "shuffleButton"}, {looping, "loopButton"}, {mute, "muteButton"}};
    for (const auto &[object, name] : names)
        object->setObjectName(QLatin1String(name));

    // The transport buttons show only icons; screen readers read these.
    previous->setAccessibleName(tr("Previous track"));
    previous->setAccessibleDescription(tr("Play the previous track"));
    shuffle->setAccessibleName(tr("Shuffle"));
    shuffle->setAccessibleDescription(tr("Switch shuffle on or off"));
    shuffle->setCheckable(true);
    playPause->setAccessibleDescription(tr("Play or pause the current track"));
    stop->setAccessibleName(tr("Stop"));
    stop->setAccessibleDescription(tr("Stop playback"));
    looping->setAccessibleName(tr("Loop"));
    forward->setAccessibleName(tr("Next track"));
    forward->setAccessibleDescription(tr("Play the next track"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *controlsLayout = new QHBoxLayout;
    for (QPushButton *button : {previous, shuffle}) {
        controlsLayout->addWidget(button);
    }
    controlsLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    controlsLayout->addSpacing(40);
    controlsLayout->addWidget(playPause);
    controlsLayout->addWidget(stop);
    controlsLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    controlsLayout->addSpacing(40);
    controlsLayout->addWidget(looping);
    controlsLayout->addWidget(forward);
    layout->addLayout(controlsLayout);

    slider->setAccessibleName(tr("Position"));
    layout->addWidget(slider);
    timeLabel->setFont(QFont(QStringLiteral("Arial"), 12));
    timeLabel->setText(QStringLiteral("00:00 / 00:00"));
    layout->addWidget(timeLabel);

    auto *infoLayout = new QHBoxLayout;
    infoLayout->addWidget(statusLine);
    infoLayout->addStretch(2);
    volume->setAccessibleName(tr("Volume"));
    infoLayout->addWidget(volume);
    mute->setAccessibleDescription(tr("Mute or restore the volume"));
    infoLayout->addWidget(mute);
    layout->addLayout(infoLayout);

    connect(playPause, &QPushButton::clicked, this, &PlayerControls::playPauseClicked);
    connect(stop, &QPushButton::clicked, this, &PlayerControls::stopClicked);
    connect(previous, &QPushButton::clicked, this, &PlayerControls::previousClicked);
    connect(forward, &QPushButton::clicked, this, &PlayerControls::nextClicked);
    connect(shuffle, &QPushButton::clicked, this, &PlayerControls::shuffleClicked);
    connect(looping, &QPushButton::clicked, this, &PlayerControls::loopClicked);
    connect(mute, &QPushButton::clicked, this, &PlayerControls::muteClicked);
    connect(volume, &QSlider::valueChanged, this, &PlayerControls::volumeMoved);
    connect(slider, &QSlider::sliderMoved, this, &PlayerControls::seekRequested);
    connect(timeLabel, &ClickableLabel::clicked, this, &PlayerControls::timeClicked);
}

QList<QWidget *> PlayerControls::focusOrder() const
{
    return {previous, shuffle, playPause, stop, looping, forward, slider, volume, mute};
}

void PlayerControls::setColor(const QColor &color)
{
    mainColor = color;
    SvgIcon::setColoredIcon(stop, Theme::icon("stop"), mainColor, Theme::size("small"));
    SvgIcon::setColoredIcon(previous, Theme::icon("rewind"), mainColor, Theme::size("normal"));
    SvgIcon::setColoredIcon(forward, Theme::icon("fast-forward"), mainColor, Theme::size("normal"));
}

void PlayerControls::setPlaying(bool playing)
{
    SvgIcon::setColoredIcon(
        playPause, Theme::icon(playing ? "pause" : "play"), mainColor, Theme::size("large"));
    playPause->setAccessibleName(playing ? tr("Pause") : tr("Play"));
}

void PlayerControls::setShuffle(bool on)
{
    SvgIcon::setColoredIcon(shuffle, Theme::icon("shuffle"), on ? mainColor : Theme::color("gray"),
        Theme::size("normal"));
    shuffle->setToolTip(on ? tr("Shuffle: On") : tr("Shuffle: Off"));
    // A screen reader tells the state of a checkable button.
    shuffle->setChecked(on);
}

void PlayerControls::setLoopMode(PlayOrder::LoopMode mode, const QString &trackToolTip)
{
    const QSize size = Theme::size("normal");
    switch (mode) {
    case PlayOrder::Off:
        SvgIcon::setColoredIcon(looping, Theme::icon("repeat"), Theme::color("gray"), size);
        looping->setToolTip(tr("Looping Off"));
        break;
    case PlayOrder::List:
        SvgIcon::setColoredIcon(looping, Theme::icon("repeat"), mainColor, size);
        looping->setToolTip(tr("Looping Playlist"));
        break;
    case PlayOrder::Track:
        SvgIcon::setColoredIcon(looping, Theme::icon("repeat-1"), mainColor, size);
        looping->setToolTip(trackToolTip);
        break;
    }
    // The description carries the mode, as the tool tip shows it.
    looping->setAccessibleDescription(
        tr("%1. Cycles off, whole list, current track").arg(looping->toolTip()));
}

void PlayerControls::setVolume(float percent)
{
    {
        // The slider shows the volume; it must not set it back to a whole number.
        const QSignalBlocker blocker(volume);
        volume->setValue(int(percent));
    }
    volume->setToolTip(QString::number(percent, 'g', 6) + QStringLiteral("%"));
    mute->setAccessibleName(percent <= 0 ? tr("Unmute") : tr("Mute"));
    const char *icon = percent <= 0 ? "volume-x"
        : percent < 33              ? "volume"
        : percent < 66              ? "volume-1"
                                    : "volume-2";
    SvgIcon::setColoredIcon(mute, Theme::icon(icon),
        percent <= 0 ? Theme::color("gray") : mainColor, Theme::size("small"));
}

void PlayerControls::setDuration(qint64 ms)
{
    slider->setRange(0, int(ms));
}

void PlayerControls::setPosition(qint64 ms)
{
    // A held slider is the user's: setting it would emit sliderMoved on
    // Qt 6.4 and seek back to where playback already is.
    if (!slider->isSliderDown())
        slider->setValue(int(ms));
}

void PlayerControls::setTimeText(const QString &text)
{
    timeLabel->setText(text);
}
