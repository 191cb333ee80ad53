#pragma once

#include "library/cover/CoverArt.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

class CoverArtLoader;
class MprisPlayerAdaptor;
class PlayerController;

/**
 * Offers the player to the desktop (media keys, panels, lock screen,
 * playerctl) as an MPRIS2 media player on the session bus, with the player's
 * own interface for queueing files beside it (CorvelQueueAdaptor). It drives
 * the transport (PlayerController) as the window's controls do and reads its
 * state and signals; of the window it asks only, by signal, to raise itself
 * and to quit. Without a session bus, or when another player holds the bus
 * name, it stays silent and the player works as ever.
 */
class MprisService : public QObject {
    Q_OBJECT

public:
    /** The bus name the player owns. */
    static const QString serviceName;
    /** The object path of both interfaces. */
    static const QString objectPath;
    /** The track id MPRIS reserves for "no track". */
    static const QString noTrackPath;

    /**
     * Registers the player for @p controller, which becomes the parent, on
     * @p bus. Quietly does nothing when the bus is not there or the name is taken.
     */
    explicit MprisService(
        PlayerController *controller, const QDBusConnection &bus = QDBusConnection::sessionBus());
    ~MprisService() override;

    /** Whether the object and the bus name are registered. */
    bool isRegistered() const;

    /** The stable track id of @p url: derived from the file's path, the same in every run. */
    static QDBusObjectPath trackId(const QUrl &url);

    /** The transport the requests go to. */
    PlayerController *controller() const;

    /** "Playing", "Paused" or "Stopped". */
    QString playbackStatus() const;
    /** "None", "Playlist" or "Track". */
    QString loopStatus() const;
    /** Sets the loop mode named by @p status; an unknown name is ignored. */
    void setLoopStatus(const QString &status);
    /** Whether shuffle is on. */
    bool shuffle() const;
    /** Switches shuffle. */
    void setShuffle(bool on);
    /** Volume, 0.0 to 1.0. */
    double volume() const;
    /** Sets the volume to @p level (0.0 to 1.0; outside is clamped), in whole percent as the slider
     * has it. */
    void setVolume(double level);
    /** Position in microseconds. */
    qlonglong position() const;
    /** The current track's metadata map. */
    QVariantMap metadata() const;
    /**
     * Shows the covers @p loader announces in the metadata (mpris:artUrl)
     * while their track is the current one, and announces each change; the
     * cover of another track, or none, leaves the key out.
     */
    void followCoverArt(CoverArtLoader *loader);

    /** Jumps @p offset microseconds from the position; past the end it acts as next. */
    void seek(qlonglong offset);
    /** Jumps to @p position microseconds if @p track is the current track and the position lies
     * within it. */
    void setPosition(const QDBusObjectPath &track, qlonglong position);
    /** Plays the local file of the file URI @p uri (PlayerController::open); other URIs are
     * ignored. */
    void openUri(const QString &uri);
    /**
     * Puts the local files of the file URIs @p uris at the front of the
     * play-next queue, in their order; other URIs are ignored. Returns at
     * once: the files are checked on a worker thread and queued in the GUI
     * thread after, in the order the calls came, so a second start handing
     * over a folder of thousands of files has its answer at once and the
     * window does not freeze.
     */
    void queueNext(const QStringList &uris);

signals:
    /** A client asked to bring the window to the front. */
    void raiseRequested();
    /** A client asked the player to quit. */
    void quitRequested();

private:
    void showCoverArt(const CoverArt &art);
    void queueChecked();
    QVariantMap readMetadata() const;
    QVariantMap playerProperties() const;
    void announceChanges();

    PlayerController *player;
    QDBusConnection connection;
    // Files to queue being checked on workers, oldest first.
    QList<QFuture<QList<QUrl>>> checking;
    MprisPlayerAdaptor *playerAdaptor = nullptr;
    bool registered = false;
    // What listeners last heard, to announce only what changed.
    QVariantMap announced;
    // Read once per track: the volume slider and the state announce often,
    // and a file outside the library is read from disk.
    QVariantMap trackMetadata;
    CoverArt cover;
};
