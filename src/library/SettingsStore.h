#pragma once

#include <QMap>
#include <QString>
#include <QUrl>

class QSettings;

/**
 * The player's settings and favourites on an injected QSettings. Every key is
 * read and normalised here, so a damaged or hand-edited value never reaches
 * the rest of the program; setters write through to the store.
 */
class SettingsStore {
public:
    /** One favourite: the address, and artist and title as they were when it was kept. */
    struct Favorite {
        QUrl url;
        QString artist;
        QString title;
    };

    /** The number of favourite slots. */
    static constexpr int favoriteSlots = 16;

    /** Reads the favourites of @p settings, which must outlive the store. */
    explicit SettingsStore(QSettings *settings);

    /** Whether a music folder was ever stored. */
    bool hasMusicFolder() const;
    QString musicFolder() const;
    void setMusicFolder(const QString &folder);

    bool shuffle() const;
    void setShuffle(bool on);

    /** The loop mode, 0 to 2; anything else reads as 0. */
    int loopMode() const;
    void setLoopMode(int mode);

    /** The volume in percent, 0 to 100; 50 when none is stored or it is not a number. */
    float volume() const;
    void setVolume(float percent);

    /** The theme colour's name; "orange" when none is stored. */
    QString mainColor() const;
    void setMainColor(const QString &name);

    /** The icon size's name; "normal" when none is stored. */
    QString iconSize() const;
    void setIconSize(const QString &name);

    /** Whether a track change shows a desktop notification; true when none is stored. */
    bool notifications() const;
    void setNotifications(bool on);

    /** Whether a last track was stored. */
    bool hasLastTrack() const;
    /** The row of the last track; 0 when none is stored. */
    int lastIndex() const;
    /** The file of the last track; empty in a store written before paths were kept. */
    QString lastPath() const;
    void setLastTrack(int row, const QString &path);
    /** Where in the last track the last run stopped, in milliseconds; 0 when none is stored. */
    qint64 lastPosition() const;
    void setLastPosition(qint64 ms);
    /** The loudness correction: 0 off (also for anything else stored), 1 track, 2 album. */
    int replayGain() const;
    void setReplayGain(int mode);

    /** Slot (0 to 15) to favourite, as read at construction and changed since. */
    QMap<int, Favorite> favorites() const;
    void setFavorite(int slot, const Favorite &favorite);
    void clearFavorite(int slot);
    /** Writes the favourites, replacing the stored group. */
    void saveFavorites();

    /** Writes pending changes to permanent storage. */
    void sync();

private:
    QSettings *settings;
    QMap<int, Favorite> favoriteSlotsInUse;
};
