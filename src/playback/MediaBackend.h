#pragma once

#include <QMediaPlayer>
#include <QObject>
#include <QUrl>

#include <memory>

/**
 * What the transport plays through: one source at a time, its state, its
 * position and its end. The transport holds no media player of its own, so its
 * rules run the same over any backend. The build picks the implementation
 * (src/playback/CMakeLists.txt), whose file defines create().
 *
 * A backend may hand a new source over later than asked (QtMediaBackend waits
 * for the previous one to settle). From setSource() on it speaks only of the new
 * source: position and duration 0, not seekable, the state asked for; nothing
 * the previous source still sends is passed on.
 */
class MediaBackend : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~MediaBackend() override = default;

    /** The backend this build plays through. */
    static std::unique_ptr<MediaBackend> create();

    /** Loads @p url and puts it in @p state; the latest source asked for wins. */
    virtual void setSource(const QUrl &url, QMediaPlayer::PlaybackState state) = 0;
    /** With no source nothing starts. */
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    /** Jumps to @p ms; a source still on its way is not sought. */
    virtual void setPosition(qint64 ms) = 0;

    virtual QMediaPlayer::PlaybackState playbackState() const = 0;
    virtual QMediaPlayer::MediaStatus mediaStatus() const = 0;
    /** Milliseconds into the source. */
    virtual qint64 position() const = 0;
    /** Length of the source in milliseconds; 0 while unknown. */
    virtual qint64 duration() const = 0;
    virtual bool isSeekable() const = 0;
    /** The output volume, 0 (silent) to 1 (full). */
    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;

signals:
    void playbackStateChanged(QMediaPlayer::PlaybackState state);
    void mediaStatusChanged(QMediaPlayer::MediaStatus status);
    void positionChanged(qint64 ms);
    void durationChanged(qint64 ms);
    void seekableChanged(bool seekable);
    /** The source cannot be played, for the reason @p message. */
    void errorOccurred(const QString &message);
};
