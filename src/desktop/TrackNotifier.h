#pragma once

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QTimer>
#include <QUrl>

class PlayerController;

/**
 * Tells the desktop which track plays now, by a notification
 * (org.freedesktop.Notifications) on each track change while the player's
 * window is not the active one: the title, "artist — album" and the cover
 * when one is known. Each notification replaces the one before, so one stays
 * on screen, not a pile. The calls never wait for the answer; without a
 * session bus or a notification service nothing happens.
 */
class TrackNotifier : public QObject {
    Q_OBJECT

public:
    /** How long a track must stay before it is announced: quick skips show only where they end.
     */
    static constexpr int settleMs = 250;
    /** The largest width and height of the cover handed to the desktop. */
    static constexpr int coverSize = 128;

    /** Announces the track changes of @p controller on @p bus. */
    explicit TrackNotifier(PlayerController *controller, QObject *parent = nullptr,
        const QDBusConnection &bus = QDBusConnection::sessionBus());
    ~TrackNotifier() override;

    /** Whether track changes are announced at all. */
    bool isEnabled() const;
    void setEnabled(bool on);

    /** The window became the active window (@p active) or stopped being it. */
    void setWindowActive(bool active);

    /**
     * The cover of the track that plays now (a null image for none); it
     * belongs to that track and is not shown for the next. When the track was
     * announced already, the notification is shown again with it.
     */
    void setCover(const QImage &cover);

private:
    void trackChanged(const QUrl &source);
    void announce();
    void answered(uint id);

    PlayerController *player;
    QDBusConnection connection;
    QTimer settle;
    bool enabled = true;
    bool windowActive = false;
    QUrl lastSource;
    // The track settled before its tags were known; the read's answer announces it.
    bool awaitingTags = false;
    QImage cover;
    QUrl coverTrack;
    // The track of the notification on screen, and the id the service gave it.
    QUrl shownTrack;
    uint shownId = 0;
    // One call at a time, so that each knows the id of the one before.
    bool calling = false;
    bool callAgain = false;
};
