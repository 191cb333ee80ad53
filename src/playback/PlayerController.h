#pragma once

#include "library/Playlist.h"
#include "playback/PlayOrder.h"
#include "playback/ReplayGain.h"
#include "playback/TrackExtras.h"

#include <QMediaPlayer>
#include <QObject>
#include <QUrl>

#include <memory>

class Library;
class MediaBackend;
class QueueController;
class TrackExtrasLoader;

/**
 * The transport: it owns the media backend and the play order, starts every
 * track through one routine, and announces each real change of state by one
 * signal. It never touches a view; the window and the desktop bus drive it
 * and paint what it announces.
 */
class PlayerController : public QObject {
    Q_OBJECT

public:
    /**
     * A transport over @p library's records and @p queue, which must outlive
     * it. It follows every library install. @p random picks shuffled rows.
     */
    PlayerController(Library *library, QueueController *queue, PlayOrder::RandomSource random = {},
        QObject *parent = nullptr);
    /** The same over @p backend, which it takes as its child. */
    PlayerController(std::unique_ptr<MediaBackend> backend, Library *library,
        QueueController *queue, PlayOrder::RandomSource random = {}, QObject *parent = nullptr);
    ~PlayerController() override;

    QMediaPlayer::PlaybackState playbackState() const;
    bool shuffle() const;
    PlayOrder::LoopMode loopMode() const;
    /** The volume in percent, 0 to 100. */
    float volume() const;
    /** Position in the current track, in milliseconds. */
    qint64 position() const;
    /** Length of the current track in milliseconds; 0 while unknown. */
    qint64 duration() const;
    /** The library row of the current track (kept while a file outside the library plays). */
    int currentRow() const;
    /** The file of the current track. */
    QString currentPath() const;
    /** Whether the next play/pause press starts the track of the last run. */
    bool resumePending() const;
    /** The rows played before, oldest first. */
    QList<int> history() const;
    /** The backend's source; empty while nothing is loaded. */
    QUrl source() const;
    /**
     * The current source as a track record: its library record, or for a file
     * outside the library its tags read from the file. An empty url when
     * nothing is loaded.
     */
    Playlist::TrackInfo nowPlaying() const;
    /**
     * nowPlaying() without reading the file here: for a file outside the
     * library its tags once the read at its start is in (extrasRead()), an
     * empty url until then.
     */
    Playlist::TrackInfo nowPlayingRead() const;

    /**
     * Restores the track of an earlier run (see PlayOrder::restore) and the
     * position in it that run stopped at, where the first play/pause press
     * goes on.
     */
    void restore(int row, const QString &path, qint64 position = 0);
    /**
     * Where the next start goes on in the current track, in milliseconds: the
     * position of the library track that plays or is paused, the restored one
     * while it waits for its press, and 0 when stopped or a file outside the
     * library plays.
     */
    qint64 resumePosition() const;

    /** Starts library row @p row; a row out of range changes nothing. */
    void playRow(int row);
    /** Plays @p url: its library row if it has one, else the file itself. */
    void playUrl(const QUrl &url);
    /**
     * Plays the first of the local files @p files as playUrl() does and puts
     * the others at the front of the play-next queue, in their order.
     */
    void open(const QList<QUrl> &files);
    /**
     * Puts the local files @p files at the front of the play-next queue, in
     * their order (QueueController::putFirst).
     */
    void queueNext(const QList<QUrl> &files);
    /** The play/pause press: pauses what plays, else play(). */
    void togglePlayPause();
    /** Plays; the first press after a start resumes the last run's track. */
    void play();
    void pause();
    void stop();
    /** The next press: the queue first, then the play order. The last row never wraps. */
    void next();
    /** The previous press: back through the history when shuffling, else the row above. */
    void previous();
    /** Jumps to @p ms in the current track and announces the jump, as soon as the track can seek.
     */
    void seek(qint64 ms);

    void setShuffle(bool on);
    void setLoopMode(PlayOrder::LoopMode mode);
    /** The loop button: Off, List, Track, Off. */
    void cycleLoopMode();
    /** Sets the volume, clamped to 0 to 100. */
    void setVolume(float percent);
    /** Mutes, or returns to the last audible volume (50 when there was none). */
    void toggleMute();
    /**
     * Which loudness correction the output follows (Off by default). The
     * volume stays the user's; only the output level changes.
     */
    void setReplayGainMode(ReplayGain::Mode mode);
    ReplayGain::Mode replayGainMode() const;
    /** What the audio output is given: the volume times the track's gain, at most 1. */
    float outputLevel() const;

signals:
    void playbackStateChanged(QMediaPlayer::PlaybackState state);
    /** The backend was given @p source. */
    void sourceChanged(const QUrl &source);
    /** Library row @p row started. */
    void rowStarted(int row);
    /** open() started the first of the files it was given; the views show what plays. */
    void opened();
    /** The last track ended and nothing follows. */
    void finished();
    /** The source or its length changed; nowPlaying() and duration() have the news. */
    void trackChanged();
    void shuffleChanged(bool on);
    void loopModeChanged(PlayOrder::LoopMode mode);
    void replayGainModeChanged(ReplayGain::Mode mode);
    void volumeChanged(float percent);
    void positionChanged(qint64 ms);
    void durationChanged(qint64 ms);
    /** Playback jumped to @p ms through seek(). */
    void seeked(qint64 ms);
    /**
     * The one read of the current track's file, on a worker at its start, is
     * in: its tags, cover and gains. A read that a newer one overtook is not heard.
     */
    void extrasRead(const TrackExtras &extras);
    /** The file @p fileName could not be played, for the reason @p error. */
    void playbackError(const QString &fileName, const QString &error);

private:
    void advance(PlayOrder::Reason reason);
    void trackEnded();
    void trackFailed(const QString &error);
    bool startQueued();
    void request(const QUrl &url);
    void startRow(int row);
    void startFile(const QUrl &url);
    void libraryInstalled();
    void adoptRowOfSource();
    void announceState();
    void applyPendingSeek();
    void readExtras(const QUrl &url, bool silent);
    void applyGain();

    Library *library;
    QueueController *queue;
    PlayOrder order;
    std::unique_ptr<MediaBackend> backend;
    // The track asked for; the backend may still be settling the previous one.
    QUrl requested;
    QMediaPlayer::PlaybackState announcedState = QMediaPlayer::StoppedState;
    // The current track reached a position past its start.
    bool played = false;
    // Tracks that failed or ended unplayed since one played or the user started one.
    int unplayedInARow = 0;
    qint64 pendingSeek = -1;
    // The pending jump is the last run's position, not one the user asked for.
    bool pendingResume = false;
    qint64 resumeAt = 0;
    QString resumeFile;
    float percent = 0;
    ReplayGain::Mode gainMode = ReplayGain::Mode::Off;
    // What the file extrasOf holds beyond the sound, read on a worker at the start of a track.
    TrackExtras extras;
    QUrl extrasOf;
    QUrl extrasReadOf; ///< the file read last, or being read
    TrackExtrasLoader *extrasReader;
    // 0 while the gain of the track that starts is being read.
    double gainFactor = 1;
    float audible = 0;
};
