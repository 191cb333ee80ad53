#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QMediaPlayer>
#include <QObject>
#include <QTimer>

class PlayerController;

/**
 * Keeps the computer from suspending while the player plays: one request
 * while a list plays through, released a few seconds after a pause, a stop or
 * the end of the list (a track change passes through a stopped moment, which
 * must not end it). It asks the desktop portal (org.freedesktop.portal.Inhibit)
 * on the session bus, else logind (org.freedesktop.login1) on the system bus.
 * Only suspend is held off; the screen still locks. The calls never wait for
 * the answer; where neither service answers nothing happens.
 */
class SleepInhibitor : public QObject {
    Q_OBJECT

public:
    /** How long after playing stopped the request is released. */
    static constexpr int releaseMs = 3000;

    /**
     * Follows @p controller's playback state, asking the portal on @p session
     * and logind on @p system.
     */
    explicit SleepInhibitor(PlayerController *controller, QObject *parent = nullptr,
        const QDBusConnection &session = QDBusConnection::sessionBus(),
        const QDBusConnection &system = QDBusConnection::systemBus());
    ~SleepInhibitor() override;

    /** Whether a request is held or on its way. */
    bool isInhibiting() const;

private:
    enum class Held { Nothing, Asking, Portal, Login };

    void follow(QMediaPlayer::PlaybackState state);
    void askPortal();
    void askLogin();
    void release();

    QDBusConnection session;
    QDBusConnection system;
    QTimer releaseTimer;
    // Playing now, or stopped for less than releaseMs.
    bool wanted = false;
    Held held = Held::Nothing;
    // What releases it: the portal's request object, or logind's lock.
    QDBusObjectPath request;
    QDBusUnixFileDescriptor lock;
};
