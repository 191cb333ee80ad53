#pragma once

#include "library/SettingsStore.h"

#include <QObject>
#include <QSettings>

class CoverArtLoader;
class Library;
class MprisService;
class PlayerController;
class QueueController;
class SleepInhibitor;
class TrackNotifier;

/**
 * The program's core in one object: it owns the settings store, the library,
 * the play-next queue, the transport, the cover art reader and the desktop bus
 * services (MPRIS, track notifications, holding off sleep while playing), and wires
 * them to each other in the order the program needs. The views are built on
 * it afterwards and connect to its services before start() puts the stored
 * settings in and starts the library's load, so every change of the start
 * reaches them.
 */
class PlayerCore : public QObject {
    Q_OBJECT

public:
    /** Whether start() offers the player on the session bus (the program does, tests need not). */
    enum class DesktopBus { Off, Session };

    explicit PlayerCore(DesktopBus bus = DesktopBus::Off, QObject *parent = nullptr);
    ~PlayerCore() override;

    /** The settings and favourites, read once at construction. */
    SettingsStore *settings();
    /** The music library. */
    Library *library() const;
    /** The play-next queue over the library's records. */
    QueueController *queue() const;
    /** The transport. */
    PlayerController *controller() const;
    /** The cover of the playing track, read afresh whenever the track changes. */
    CoverArtLoader *coverArt() const;
    /** The desktop bus service; null before start(), with DesktopBus::Off or without D-Bus. */
    MprisService *desktopBus() const;
    /** The track change notifications; null as desktopBus() is. */
    TrackNotifier *notifier() const;
    /** What holds off sleep while playing; null as desktopBus() is. */
    SleepInhibitor *sleepInhibitor() const;

    /**
     * Restores the stored track, the music folder (whose cache load then
     * starts), shuffle, loop mode and volume into the core, sends
     * settingsLoaded(), and then offers the player on the desktop bus (with
     * its notifications and sleep inhibitor).
     */
    void start();

    /** Makes @p path the music folder, stores it and scans it in full. */
    void setMusicFolder(const QString &path);
    /**
     * Keeps the track that plays in favourite slot @p slot (0 to 15). With
     * nothing loaded there is nothing to keep: the slot stays as it was and
     * the answer is false.
     */
    bool keepFavorite(int slot);
    /** Plays the favourite of slot @p slot as playUrl() does; false when the slot is free. */
    bool playFavorite(int slot);

    /** Whether track changes are announced by a desktop notification (stored, on by default). */
    bool notificationsEnabled() const;
    void setNotificationsEnabled(bool on);
    /** The window became the active window or stopped being it: no notifications while it is. */
    void setWindowActive(bool active);

    /** Writes the core's state to the store: folder, shuffle, loop, volume, last track, favourites.
     */
    void saveSettings();

signals:
    /** start() has put the stored settings into the core; the views read theirs now. */
    void settingsLoaded();
    /** A bus client asked to bring the window to the front. */
    void raiseRequested();
    /** A bus client asked the player to quit. */
    void quitRequested();

private:
    void offerOnDesktopBus();

    const DesktopBus bus;
    QSettings storage;
    SettingsStore store;
    Library *mediaLibrary;
    QueueController *playQueue;
    PlayerController *player;
    CoverArtLoader *cover;
    MprisService *busService = nullptr;
    TrackNotifier *trackNotifier = nullptr;
    SleepInhibitor *inhibitor = nullptr;
    bool windowActive = false;
};
