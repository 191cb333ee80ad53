#include "library/SettingsStore.h"

#include <QSettings>

#include <algorithm>
#include <cmath>

namespace {

const QString musicFolderKey = QStringLiteral("musicFolder");
const QString shuffleKey = QStringLiteral("shuffling");
const QString loopModeKey = QStringLiteral("loopMode");
const QString volumeKey = QStringLiteral("volume");
const QString mainColorKey = QStringLiteral("mainColor");
const QString iconSizeKey = QStringLiteral("iconSize");
const QString notificationsKey = QStringLiteral("notifications");
const QString lastIndexKey = QStringLiteral("lastIndex");
const QString lastPathKey = QStringLiteral("lastPath");
const QString lastPositionKey = QStringLiteral("lastPosition");
const QString replayGainKey = QStringLiteral("replayGain");
const QString favoritesGroup = QStringLiteral("favorites");

} // namespace

SettingsStore::SettingsStore(QSettings *settings)
    : settings(settings)
{
    settings->beginGroup(favoritesGroup);
    // Stored slots of 16 and above are never read.
    for (int slot = 0; slot < favoriteSlots; ++slot) {
        const QString group = QStringLiteral("fav%1/").arg(slot);
        const QString url = settings->value(group + QStringLiteral("url")).toString();
        if (url.isEmpty())
            continue;
        favoriteSlotsInUse.insert(slot,
            Favorite{QUrl(url, QUrl::TolerantMode),
                settings->value(group + QStringLiteral("artist")).toString(),
                settings->value(group + QStringLiteral("title")).toString()});
    }
    settings->endGroup();
}

bool SettingsStore::hasMusicFolder() const
{
    return settings->contains(musicFolderKey);
}

QString SettingsStore::musicFolder() const
{
    return settings->value(musicFolderKey).toString();
}

void SettingsStore::setMusicFolder(const QString &folder)
{
    settings->setValue(musicFolderKey, folder);
}

bool SettingsStore::shuffle() const
{
    return settings->value(shuffleKey, false).toBool();
}

void SettingsStore::setShuffle(bool on)
{
    settings->setValue(shuffleKey, on);
}

int SettingsStore::loopMode() const
{
    const int stored = settings->value(loopModeKey, 0).toInt();
    return stored >= 0 && stored <= 2 ? stored : 0;
}

void SettingsStore::setLoopMode(int mode)
{
    settings->setValue(loopModeKey, mode);
}

float SettingsStore::volume() const
{
    bool ok = false;
    const float stored = settings->value(volumeKey).toFloat(&ok);
    if (!ok || std::isnan(stored))
        return 50;
    return std::clamp(stored, 0.0f, 100.0f);
}

void SettingsStore::setVolume(float percent)
{
    settings->setValue(volumeKey, percent);
}

QString SettingsStore::mainColor() const
{
    return settings->value(mainColorKey, QStringLiteral("orange")).toString();
}

void SettingsStore::setMainColor(const QString &name)
{
    settings->setValue(mainColorKey, name);
}

QString SettingsStore::iconSize() const
{
    return settings->value(iconSizeKey, QStringLiteral("normal")).toString();
}

void SettingsStore::setIconSize(const QString &name)
{
    settings->setValue(iconSizeKey, name);
}

bool SettingsStore::notifications() const
{
    return settings->value(notificationsKey, true).toBool();
}

void SettingsStore::setNotifications(bool on)
{
    settings->setValue(notificationsKey, on);
}

bool SettingsStore::hasLastTrack() const
{
    return settings->contains(lastIndexKey);
}

int SettingsStore::lastIndex() const
{
    return settings->value(lastIndexKey, 0).toInt();
}

QString SettingsStore::lastPath() const
{
    return settings->value(lastPathKey).toString();
}

void SettingsStore::setLastTrack(int row, const QString &path)
{
    settings->setValue(lastIndexKey, row);
    settings->setValue(lastPathKey, path);
}

qint64 SettingsStore::lastPosition() const
{
    // A value another program wrote, or none, is no position.
    bool ok = false;
    const qint64 ms = settings->value(lastPositionKey).toLongLong(&ok);
    return ok && ms > 0 ? ms : 0;
}

int SettingsStore::replayGain() const
{
    bool ok = false;
    const int mode = settings->value(replayGainKey).toInt(&ok);
    return ok && mode >= 0 && mode <= 2 ? mode : 0;
}

void SettingsStore::setReplayGain(int mode)
{
    settings->setValue(replayGainKey, mode);
}

void SettingsStore::setLastPosition(qint64 ms)
{
    settings->setValue(lastPositionKey, std::max<qint64>(ms, 0));
}

QMap<int, SettingsStore::Favorite> SettingsStore::favorites() const
{
    return favoriteSlotsInUse;
}

void SettingsStore::setFavorite(int slot, const Favorite &favorite)
{
    if (slot >= 0 && slot < favoriteSlots)
        favoriteSlotsInUse.insert(slot, favorite);
}

void SettingsStore::clearFavorite(int slot)
{
    favoriteSlotsInUse.remove(slot);
}

void SettingsStore::saveFavorites()
{
    settings->beginGroup(favoritesGroup);
    settings->remove(QString());
    for (auto it = favoriteSlotsInUse.constBegin(); it != favoriteSlotsInUse.constEnd(); ++it) {
        const QString group = QStringLiteral("fav%1/").arg(it.key());
        settings->setValue(group + QStringLiteral("url"), it.value().url.toString());
        settings->setValue(group + QStringLiteral("artist"), it.value().artist);
        settings->setValue(group + QStringLiteral("title"), it.value().title);
    }
    settings->endGroup();
}

void SettingsStore::sync()
{
    settings->sync();
}
