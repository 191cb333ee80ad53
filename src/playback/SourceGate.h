#pragma once

#include <QMediaPlayer>
#include <QObject>
#include <QUrl>

class QElapsedTimer;
class QFile;
class QTimer;

/**
 * Hands tracks to a QMediaPlayer in the one way that Qt 6.4's GStreamer
 * backend cannot deadlock on. There, setSource() seeks the new pipeline while
 * the previous file's decoder may still be connecting its output, and the two
 * threads wait for each other's locks for good. So a new track is applied only
 * once the current one has settled (not loading, and not loaded with a play
 * still on its way), as a device rather than a URL (its data then reaches the
 * decoder only through the event loop, so no decoder thread is running while
 * setSource() works), and one event-loop turn after the previous source was
 * cleared (the old file's queued reads finish against the old file). Requests
 * that come while a track settles are coalesced: the latest wins, the ones
 * skipped over are never loaded.
 */
class SourceGate : public QObject {
    Q_OBJECT

public:
    /** Feeds @p player, which must outlive the gate. */
    explicit SourceGate(QMediaPlayer *player, QObject *parent = nullptr);

    /** Asks for @p url to be loaded and put in @p state; the latest request wins. */
    void open(const QUrl &url, QMediaPlayer::PlaybackState state);
    /** Whether a request waits to be applied: the player still shows the previous source. */
    bool isPending() const;
    /** The state the waiting request is put in once applied. */
    QMediaPlayer::PlaybackState stateWhenApplied() const;
    /** Changes the state the waiting request is put in once applied. */
    void setStateWhenApplied(QMediaPlayer::PlaybackState state);

signals:
    /** The waiting request was handed to the player and put in its state. */
    void applied();

private:
    bool settled() const;
    void tryApply();
    void apply();

    QMediaPlayer *player;
    QFile *file = nullptr;
    QUrl pendingUrl;
    bool pending = false;
    QMediaPlayer::PlaybackState pendingState = QMediaPlayer::StoppedState;
    bool draining = false;
    // A request never waits longer than this for the current track to settle.
    QTimer *fallback;
};
