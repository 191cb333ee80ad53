#include "desktop/MprisService.h"

#include "desktop/CorvelQueueAdaptor.h"
#include "desktop/MprisPlayerAdaptor.h"
#include "desktop/MprisRootAdaptor.h"
#include "library/cover/CoverArtLoader.h"
#include "playback/PlayerController.h"

#include <QCryptographicHash>
#include <QDBusMessage>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

const QString MprisService::serviceName = QStringLiteral("org.mpris.MediaPlayer2.corvel");
const QString MprisService::objectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString MprisService::noTrackPath
    = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

namespace {

const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

} // namespace

MprisService::MprisService(PlayerController *controller, const QDBusConnection &bus)
    : QObject(controller)
    , player(controller)
    , connection(bus)
{
    if (!connection.isConnected())
        return;

    new MprisRootAdaptor(this);
    playerAdaptor = new MprisPlayerAdaptor(this);
    new CorvelQueueAdaptor(this);
    if (!connection.registerObject(objectPath, this))
        return;
    // A start that claimed the name before building its window
    // (SingleInstance) holds it already, and is told so.
    if (!connection.registerService(serviceName)) {
        // Another player has the name: this one stays off the bus.
        connection.unregisterObject(objectPath);
        return;
    }
    registered = true;
    trackMetadata = readMetadata();
    announced = playerProperties();

    connect(player, &PlayerController::playbackStateChanged, this, [this] { announceChanges(); });
    connect(player, &PlayerController::shuffleChanged, this, [this] { announceChanges(); });
    connect(player, &PlayerController::loopModeChanged, this, [this] { announceChanges(); });
    connect(player, &PlayerController::volumeChanged, this, [this] { announceChanges(); });
    connect(player, &PlayerController::trackChanged, this, [this] {
        trackMetadata = readMetadata();
        announceChanges();
    });
    connect(player, &PlayerController::seeked, this,
        [this](qint64 ms) { emit playerAdaptor->Seeked(ms * 1000); });
}

MprisService::~MprisService()
{
    if (!registered)
        return;
    connection.unregisterService(serviceName);
    connection.unregisterObject(objectPath);
}

bool MprisService::isRegistered() const
{
    return registered;
}

QDBusObjectPath MprisService::trackId(const QUrl &url)
{
    if (url.isEmpty())
        return QDBusObjectPath(noTrackPath);
    // Object path elements allow only [A-Za-z0-9_]: the hex digest of the
    // path fits, and it stays the same across library refreshes and runs,
    // unlike the row.
    const QString key = url.isLocalFile() ? url.toLocalFile() : url.toString();
    const QByteArray digest
        = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QDBusObjectPath(
        QStringLiteral("/com/tavrenin/CorvelPlayer/track/") + QString::fromLatin1(digest));
}

PlayerController *MprisService::controller() const
{
    return player;
}

QString MprisService::playbackStatus() const
{
    switch (player->playbackState()) {
    case QMediaPlayer::PlayingState:
        return QStringLiteral("Playing");
    case QMediaPlayer::PausedState:
        return QStringLiteral("Paused");
    case QMediaPlayer::StoppedState:
        break;
    }
    return QStringLiteral("Stopped");
}

QString MprisService::loopStatus() const
{
    switch (player->loopMode()) {
    case PlayOrder::List:
        return QStringLiteral("Playlist");
    case PlayOrder::Track:
        return QStringLiteral("Track");
    case PlayOrder::Off:
        break;
    }
    return QStringLiteral("None");
}

void MprisService::setLoopStatus(const QString &status)
{
    if (status == QLatin1String("None"))
        player->setLoopMode(PlayOrder::Off);
    else if (status == QLatin1String("Playlist"))
        player->setLoopMode(PlayOrder::List);
    else if (status == QLatin1String("Track"))
        player->setLoopMode(PlayOrder::Track);
}

bool MprisService::shuffle() const
{
    return player->shuffle();
}

void MprisService::setShuffle(bool on)
{
    player->setShuffle(on);
}

double MprisService::volume() const
{
    return int(player->volume()) / 100.0;
}

void MprisService::setVolume(double level)
{
    player->setVolume(qRound(std::clamp(level, 0.0, 1.0) * 100));
}

qlonglong MprisService::position() const
{
    return player->position() * 1000;
}

QVariantMap MprisService::metadata() const
{
    return trackMetadata;
}

QVariantMap MprisService::readMetadata() const
{
    const Playlist::TrackInfo track = player->nowPlaying();
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId(track.url)));
    if (track.url.isEmpty())
        return map;
    const qint64 duration = player->duration();
    if (duration > 0)
        map.insert(QStringLiteral("mpris:length"), qlonglong(duration) * 1000);
    // A desktop panel shows the title; an untagged file shows its name, as the track list does.
    map.insert(QStringLiteral("xesam:title"),
        track.title.isEmpty() ? QFileInfo(track.url.path()).fileName() : track.title);
    if (!track.artist.isEmpty())
        map.insert(QStringLiteral("xesam:artist"), QStringList{track.artist});
    if (!track.album.isEmpty())
        map.insert(QStringLiteral("xesam:album"), track.album);
    map.insert(QStringLiteral("xesam:url"), track.url.toString());
    // The art of the previous track is not shown while the new one's is read.
    if (!cover.artUrl.isEmpty() && cover.track == track.url.toLocalFile())
        map.insert(QStringLiteral("mpris:artUrl"), cover.artUrl);
    return map;
}

void MprisService::followCoverArt(CoverArtLoader *loader)
{
    showCoverArt(loader->current());
    connect(loader, &CoverArtLoader::coverChanged, this, &MprisService::showCoverArt);
}

void MprisService::showCoverArt(const CoverArt &art)
{
    cover = art;
    if (!registered)
        return;
    trackMetadata = readMetadata();
    announceChanges();
}

void MprisService::seek(qlonglong offset)
{
    const qint64 target = player->position() + offset / 1000;
    const qint64 duration = player->duration();
    if (duration > 0 && target > duration) {
        player->next();
        return;
    }
    player->seek(std::max<qint64>(target, 0));
}

void MprisService::setPosition(const QDBusObjectPath &track, qlonglong position)
{
    const QUrl current = player->nowPlaying().url;
    if (current.isEmpty() || track != trackId(current))
        return;
    const qint64 ms = position / 1000;
    // Right after a track change the length is not known yet (0): the jump is
    // kept by the transport until the track can seek.
    const qint64 length = player->duration();
    if (ms < 0 || (length > 0 && ms > length))
        return;
    player->seek(ms);
}

void MprisService::openUri(const QString &uri)
{
    const QUrl url(uri);
    if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile())
        return;
    player->open({url});
}

void MprisService::queueNext(const QStringList &uris)
{
    checking.append(QtConcurrent::run([uris] {
        QList<QUrl> files;
        files.reserve(uris.size());
        for (const QString &uri : uris) {
            const QUrl url(uri);
            if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
                files.append(url);
        }
        return files;
    }));
    auto *watcher = new QFutureWatcher<QList<QUrl>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        queueChecked();
    });
    watcher->setFuture(checking.last());
}

void MprisService::queueChecked()
{
    // A later call's files may be checked first; they wait for the earlier ones.
    while (!checking.isEmpty() && checking.constFirst().isFinished())
        player->queueNext(checking.takeFirst().result());
}

QVariantMap MprisService::playerProperties() const
{
    return {{QStringLiteral("PlaybackStatus"), playbackStatus()},
        {QStringLiteral("LoopStatus"), loopStatus()}, {QStringLiteral("Shuffle"), shuffle()},
        {QStringLiteral("Volume"), volume()}, {QStringLiteral("Metadata"), metadata()}};
}

void MprisService::announceChanges()
{
    const QVariantMap now = playerProperties();
    QVariantMap changed;
    for (auto it = now.constBegin(); it != now.constEnd(); ++it) {
        if (announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    if (changed.isEmpty())
        return;
    announced = now;
    QDBusMessage signal = QDBusMessage::createSignal(objectPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << playerInterface << changed << QStringList();
    connection.send(signal);
}
