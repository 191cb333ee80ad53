#pragma once

// A media backend the test drives: it hands every source over at once,
// records what it is told, and sends what the test makes a track do.

#include "playback/MediaBackend.h"

#include <QFileInfo>
#include <QStringList>

class FakeMediaBackend : public MediaBackend {
public:
    /** What it was told, in order: a source's file name, play, pause, stop, seekN, volumeN. */
    QStringList calls;

    void setSource(const QUrl &url, QMediaPlayer::PlaybackState state) override
    {
        calls.append(QFileInfo(url.toLocalFile()).fileName());
        source = url;
        at = length = 0;
        seekable = false;
        status = QMediaPlayer::LoadingMedia;
        moveTo(url.isEmpty() ? QMediaPlayer::StoppedState : state);
    }
    void play() override
    {
        calls.append("play");
        if (!source.isEmpty())
            moveTo(QMediaPlayer::PlayingState);
    }
    void pause() override
    {
        calls.append("pause");
        if (!source.isEmpty())
            moveTo(QMediaPlayer::PausedState);
    }
    void stop() override
    {
        calls.append("stop");
        moveTo(QMediaPlayer::StoppedState);
    }
    void setPosition(qint64 ms) override
    {
        calls.append("seek" + QString::number(ms));
        reach(ms);
    }

    QMediaPlayer::PlaybackState playbackState() const override
    {
        return state;
    }
    QMediaPlayer::MediaStatus mediaStatus() const override
    {
        return status;
    }
    qint64 position() const override
    {
        return at;
    }
    qint64 duration() const override
    {
        return length;
    }
    bool isSeekable() const override
    {
        return seekable;
    }
    float volume() const override
    {
        return level;
    }
    void setVolume(float volume) override
    {
        calls.append("volume" + QString::number(volume));
        level = volume;
    }

    /** The track's length became known. */
    void learnLength(qint64 ms)
    {
        length = ms;
        status = QMediaPlayer::LoadedMedia;
        emit durationChanged(ms);
    }
    void becomeSeekable()
    {
        seekable = true;
        emit seekableChanged(true);
    }
    /** Playback reached @p ms. */
    void reach(qint64 ms)
    {
        at = ms;
        emit positionChanged(ms);
    }
    /** The track ended: the player stops, then says why. */
    void end()
    {
        moveTo(QMediaPlayer::StoppedState);
        status = QMediaPlayer::EndOfMedia;
        emit mediaStatusChanged(status);
    }
    /** The track cannot be played; like GStreamer, the state stays as it was. */
    void fail(const QString &message)
    {
        status = QMediaPlayer::InvalidMedia;
        emit mediaStatusChanged(status);
        emit errorOccurred(message);
    }

private:
    void moveTo(QMediaPlayer::PlaybackState next)
    {
        if (std::exchange(state, next) != next)
            emit playbackStateChanged(next);
    }

    QUrl source;
    QMediaPlayer::PlaybackState state = QMediaPlayer::StoppedState;
    QMediaPlayer::MediaStatus status = QMediaPlayer::NoMedia;
    qint64 at = 0;
    qint64 length = 0;
    bool seekable = false;
    float level = 1;
};
