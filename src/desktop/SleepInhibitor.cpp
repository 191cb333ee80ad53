#include "desktop/SleepInhibitor.h"

#include "playback/PlayerController.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <functional>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
// The portal's flag for suspend; idle (8) would also keep the screen from locking.
constexpr uint suspendFlag = 4;

/** Calls @p call on @p bus and hands the reply to @p done, in @p context, without waiting. */
template <typename Reply>
void callLater(const QDBusConnection &bus, const QDBusMessage &call, QObject *context,
    std::function<void(const Reply &)> done)
{
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, done] {
        watcher->deleteLater();
        done(Reply(*watcher));
    });
}

} // namespace

SleepInhibitor::SleepInhibitor(PlayerController *controller, QObject *parent,
    const QDBusConnection &session, const QDBusConnection &system)
    : QObject(parent)
    , session(session)
    , system(system)
{
    releaseTimer.setSingleShot(true);
    releaseTimer.setInterval(releaseMs);
    connect(&releaseTimer, &QTimer::timeout, this, [this] {
        wanted = false;
        release();
    });
    connect(controller, &PlayerController::playbackStateChanged, this, &SleepInhibitor::follow);
    follow(controller->playbackState());
}

SleepInhibitor::~SleepInhibitor()
{
    wanted = false;
    release();
}

bool SleepInhibitor::isInhibiting() const
{
    return held != Held::Nothing;
}

void SleepInhibitor::follow(QMediaPlayer::PlaybackState state)
{
    if (state != QMediaPlayer::PlayingState) {
        if (wanted && !releaseTimer.isActive())
            releaseTimer.start();
        return;
    }
    releaseTimer.stop();
    // Playing on after a track change: the request of the list still holds.
    if (std::exchange(wanted, true) || held != Held::Nothing)
        return;
    held = Held::Asking;
    askPortal();
}

void SleepInhibitor::askPortal()
{
    if (!session.isConnected()) {
        askLogin();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(portalService,
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    call << QString() << suspendFlag
         << QVariantMap{{QStringLiteral("reason"), tr("Playing music")}};
    callLater<QDBusPendingReply<QDBusObjectPath>>(
        session, call, this, [this](const QDBusPendingReply<QDBusObjectPath> &reply) {
            if (reply.isError()) {
                askLogin();
                return;
            }
            request = reply.value();
            held = Held::Portal;
            // Stopped for good while the answer was on its way.
            if (!wanted)
                release();
        });
}

void SleepInhibitor::askLogin()
{
    if (!system.isConnected()) {
        held = Held::Nothing;
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << tr("Corvel Media Player") << tr("Playing music")
         << QStringLiteral("block");
    callLater<QDBusPendingReply<QDBusUnixFileDescriptor>>(
        system, call, this, [this](const QDBusPendingReply<QDBusUnixFileDescriptor> &reply) {
            // Neither service answered: the player plays on without.
            if (reply.isError()) {
                held = Held::Nothing;
                return;
            }
            lock = reply.value();
            held = Held::Login;
            if (!wanted)
                release();
        });
}

void SleepInhibitor::release()
{
    switch (held) {
    case Held::Nothing:
    case Held::Asking: // released when the answer comes
        return;
    case Held::Portal:
        session.send(QDBusMessage::createMethodCall(portalService, request.path(),
            QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")));
        request = QDBusObjectPath();
        break;
    case Held::Login:
        // logind holds off sleep while the descriptor is open.
        lock = QDBusUnixFileDescriptor();
        break;
    }
    held = Held::Nothing;
}
