#include "playback/SourceGate.h"

#include <QFile>
#include <QTimer>

#include <utility>

SourceGate::SourceGate(QMediaPlayer *player, QObject *parent)
    : QObject(parent)
    , player(player)
    , fallback(new QTimer(this))
{
    fallback->setSingleShot(true);
    fallback->setInterval(3000);
    connect(fallback, &QTimer::timeout, this, [this] {
        if (pending && !draining)
            apply();
    });
    connect(player, &QMediaPlayer::mediaStatusChanged, this, &SourceGate::tryApply);
    connect(player, &QMediaPlayer::playbackStateChanged, this, &SourceGate::tryApply);
}

void SourceGate::open(const QUrl &url, QMediaPlayer::PlaybackState state)
{
    pendingUrl = url;
    pendingState = state;
    if (!pending) {
        pending = true;
        fallback->start();
    }
    tryApply();
}

bool SourceGate::isPending() const
{
    return pending;
}

QMediaPlayer::PlaybackState SourceGate::stateWhenApplied() const
{
    return pendingState;
}

void SourceGate::setStateWhenApplied(QMediaPlayer::PlaybackState state)
{
    pendingState = state;
}

bool SourceGate::settled() const
{
    const QMediaPlayer::MediaStatus status = player->mediaStatus();
    if (status == QMediaPlayer::LoadingMedia)
        return false;
    // A play() on a loaded track is still connecting the decoder's output.
    return !(status == QMediaPlayer::LoadedMedia
        && player->playbackState() == QMediaPlayer::PlayingState);
}

void SourceGate::tryApply()
{
    if (pending && !draining && settled())
        apply();
}

void SourceGate::apply()
{
    fallback->stop();
    draining = true;
    // Safe now that the previous source has settled; the new one follows one
    // event-loop turn later, after the old file's queued reads have run.
    player->setSource(QUrl());
    QFile *old = file;
    file = nullptr;
    QMetaObject::invokeMethod(
        this,
        [this, old] {
            delete old;
            draining = false;
            const QUrl url = pendingUrl;
            const QMediaPlayer::PlaybackState state = pendingState;
            pending = false;
            // The player's child: it may still read the file while it is destroyed.
            file = new QFile(url.toLocalFile(), player);
            if (file->open(QIODevice::ReadOnly)) {
                player->setSourceDevice(file, url);
            } else {
                // No data, no decoder thread: the backend only reports the error.
                delete std::exchange(file, nullptr);
                player->setSource(url);
            }
            if (state == QMediaPlayer::PlayingState)
                player->play();
            else if (state == QMediaPlayer::PausedState)
                player->pause();
            emit applied();
        },
        Qt::QueuedConnection);
}
