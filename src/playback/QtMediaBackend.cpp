#include "playback/QtMediaBackend.h"

#include "playback/SourceGate.h"

#include <QAudioOutput>

std::unique_ptr<MediaBackend> MediaBackend::create()
{
    return std::make_unique<QtMediaBackend>();
}

QtMediaBackend::QtMediaBackend(QObject *parent)
    : MediaBackend(parent)
    , player(new QMediaPlayer(this))
    , audioOutput(new QAudioOutput(this))
    , gate(new SourceGate(player, this))
{
    player->setAudioOutput(audioOutput);

    // The gate hears the player first: what follows sees whether a source
    // still waits after the gate had its say. While one waits, the player
    // still speaks of the previous source (and of the empty one between them).
    connect(player, &QMediaPlayer::playbackStateChanged, this,
        [this] { emit playbackStateChanged(playbackState()); });
    connect(gate, &SourceGate::applied, this, [this] {
        emit playbackStateChanged(playbackState());
        emit seekableChanged(isSeekable());
    });
    connect(player, &QMediaPlayer::seekableChanged, this, [this](bool seekable) {
        if (!gate->isPending())
            emit seekableChanged(seekable);
    });
    connect(player, &QMediaPlayer::durationChanged, this, [this](qint64 ms) {
        if (!gate->isPending())
            emit durationChanged(ms);
    });
    connect(player, &QMediaPlayer::positionChanged, this, [this](qint64 ms) {
        if (!gate->isPending())
            emit positionChanged(ms);
    });
    connect(
        player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
            if (!gate->isPending())
                emit mediaStatusChanged(status);
        });
    connect(player, &QMediaPlayer::errorOccurred, this, [this] {
        if (!gate->isPending())
            emit errorOccurred(player->errorString());
    });
}

QtMediaBackend::~QtMediaBackend()
{
    // The pipeline is taken down while the player, its output and the file it
    // reads are all still there: a backend torn down with a failed decoder
    // still attached can crash in its own destructor.
    player->disconnect();
    player->stop();
    player->setSource(QUrl());
}

void QtMediaBackend::setSource(const QUrl &url, QMediaPlayer::PlaybackState state)
{
    gate->open(url, state);
}

void QtMediaBackend::play()
{
    if (gate->isPending())
        gate->setStateWhenApplied(QMediaPlayer::PlayingState);
    else
        player->play();
}

void QtMediaBackend::pause()
{
    if (gate->isPending())
        gate->setStateWhenApplied(QMediaPlayer::PausedState);
    else
        player->pause();
}

void QtMediaBackend::stop()
{
    if (gate->isPending())
        gate->setStateWhenApplied(QMediaPlayer::StoppedState);
    player->stop();
}

void QtMediaBackend::setPosition(qint64 ms)
{
    if (!gate->isPending())
        player->setPosition(ms);
}

QMediaPlayer::PlaybackState QtMediaBackend::playbackState() const
{
    return gate->isPending() ? gate->stateWhenApplied() : player->playbackState();
}

QMediaPlayer::MediaStatus QtMediaBackend::mediaStatus() const
{
    return gate->isPending() ? QMediaPlayer::LoadingMedia : player->mediaStatus();
}

qint64 QtMediaBackend::position() const
{
    return gate->isPending() ? 0 : player->position();
}

qint64 QtMediaBackend::duration() const
{
    return gate->isPending() ? 0 : player->duration();
}

bool QtMediaBackend::isSeekable() const
{
    return !gate->isPending() && player->isSeekable();
}

float QtMediaBackend::volume() const
{
    return audioOutput->volume();
}

void QtMediaBackend::setVolume(float volume)
{
    audioOutput->setVolume(volume);
}
