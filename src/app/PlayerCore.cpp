#include "app/PlayerCore.h"

#include "library/Library.h"
#include "library/cover/CoverArtLoader.h"
#include "playback/PlayerController.h"
#include "playback/QueueController.h"
#ifdef CORVEL_HAS_DBUS
#include "desktop/MprisService.h"
#include "desktop/SleepInhibitor.h"
#include "desktop/TrackNotifier.h"
#endif

PlayerCore::PlayerCore(DesktopBus bus, QObject *parent)
    : QObject(parent)
    , bus(bus)
    , storage(QStringLiteral("Tavrenin International"), QStringLiteral("Corvelia"))
    , store(&storage)
    , mediaLibrary(new Library(this))
    , playQueue(new QueueController(mediaLibrary->tracks(), this))
    , player(new PlayerController(mediaLibrary, playQueue, {}, this))
    , cover(new CoverArtLoader(this))
{
    // The transport reads the cover with the gains, in its one read of the file at a track's
    // start (and again after a rename of the playing file).
    connect(player, &PlayerController::extrasRead, cover,
        [this](const TrackExtras &extras) { cover->show(extras.cover); });
    // Every new track is kept at once, so a crash later still starts on it.
    connect(player, &PlayerController::sourceChanged, this, &PlayerCore::saveSettings);
}

PlayerCore::~PlayerCore() = default;

SettingsStore *PlayerCore::settings()
{
    return &store;
}

Library *PlayerCore::library() const
{
    return mediaLibrary;
}

QueueController *PlayerCore::queue() const
{
    return playQueue;
}

PlayerController *PlayerCore::controller() const
{
    return player;
}

CoverArtLoader *PlayerCore::coverArt() const
{
    return cover;
}

MprisService *PlayerCore::desktopBus() const
{
    return busService;
}

TrackNotifier *PlayerCore::notifier() const
{
    return trackNotifier;
}

SleepInhibitor *PlayerCore::sleepInhibitor() const
{
    return inhibitor;
}

bool PlayerCore::notificationsEnabled() const
{
    return store.notifications();
}

void PlayerCore::setNotificationsEnabled(bool on)
{
    store.setNotifications(on);
#ifdef CORVEL_HAS_DBUS
    if (trackNotifier)
        trackNotifier->setEnabled(on);
#endif
}

void PlayerCore::setWindowActive(bool active)
{
    windowActive = active;
#ifdef CORVEL_HAS_DBUS
    if (trackNotifier)
        trackNotifier->setWindowActive(active);
#endif
}

void PlayerCore::start()
{
    // The stored track first, so that the library's install finds it by path.
    player->restore(store.lastIndex(), store.lastPath(), store.lastPosition());
    if (store.hasMusicFolder()) {
        mediaLibrary->restoreFolder(store.musicFolder());
        mediaLibrary->loadCacheAndCheck();
    }
    player->setShuffle(store.shuffle());
    player->setLoopMode(PlayOrder::LoopMode(store.loopMode()));
    player->setVolume(store.volume());
    player->setReplayGainMode(ReplayGain::Mode(store.replayGain()));
    emit settingsLoaded();
    if (bus == DesktopBus::Session)
        offerOnDesktopBus();
}

void PlayerCore::offerOnDesktopBus()
{
#ifdef CORVEL_HAS_DBUS
    // The bus drives the transport; of the views it asks only these two.
    busService = new MprisService(player);
    connect(busService, &MprisService::raiseRequested, this, &PlayerCore::raiseRequested);
    connect(busService, &MprisService::quitRequested, this, &PlayerCore::quitRequested);
    busService->followCoverArt(cover);
    trackNotifier = new TrackNotifier(player, this);
    trackNotifier->setEnabled(store.notifications());
    trackNotifier->setWindowActive(windowActive);
    connect(cover, &CoverArtLoader::coverChanged, trackNotifier, [this](const CoverArt &art) {
        // The loader answers for the track asked for last, which is the one that plays.
        if (art.track == player->source().toLocalFile())
            trackNotifier->setCover(art.image);
    });
    inhibitor = new SleepInhibitor(player, this);
#endif
}

void PlayerCore::setMusicFolder(const QString &path)
{
    store.setMusicFolder(path);
    mediaLibrary->setFolder(path);
}

bool PlayerCore::keepFavorite(int slot)
{
    const Playlist::TrackInfo track = player->nowPlaying();
    if (track.url.isEmpty())
        return false;
    store.setFavorite(slot, {track.url, track.artist, track.title});
    return true;
}

bool PlayerCore::playFavorite(int slot)
{
    const QMap<int, SettingsStore::Favorite> favorites = store.favorites();
    const auto found = favorites.constFind(slot);
    if (found == favorites.constEnd())
        return false;
    player->playUrl(found->url);
    return true;
}

void PlayerCore::saveSettings()
{
    store.setMusicFolder(mediaLibrary->folder());
    store.setShuffle(player->shuffle());
    store.setLoopMode(player->loopMode());
    store.setVolume(player->volume());
    store.setLastTrack(player->currentRow(), player->currentPath());
    store.setLastPosition(player->resumePosition());
    store.setReplayGain(int(player->replayGainMode()));
    store.saveFavorites();
}
