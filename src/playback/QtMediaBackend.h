#pragma once

#include "playback/MediaBackend.h"

class QAudioOutput;
class SourceGate;

/**
 * The backend over Qt Multimedia: a QMediaPlayer and its audio output, fed
 * through a SourceGate so that replacing a source cannot deadlock GStreamer.
 * While a source waits at the gate it reports that source as MediaBackend
 * says; once the gate hands it over, its state and seekability are announced
 * again, as the player's own may have moved on meanwhile.
 */
class QtMediaBackend : public MediaBackend {
    Q_OBJECT

public:
    explicit QtMediaBackend(QObject *parent = nullptr);
    ~QtMediaBackend() override;

    void setSource(const QUrl &url, QMediaPlayer::PlaybackState state) override;
    void play() override;
    void pause() override;
    void stop() override;
    void setPosition(qint64 ms) override;

    QMediaPlayer::PlaybackState playbackState() const override;
    QMediaPlayer::MediaStatus mediaStatus() const override;
    qint64 position() const override;
    qint64 duration() const override;
    bool isSeekable() const override;
    float volume() const override;
    void setVolume(float volume) override;

private:
    QMediaPlayer *player;
    QAudioOutput *audioOutput;
    SourceGate *gate;
};
