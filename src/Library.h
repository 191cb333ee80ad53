#pragma once

#include <QObject>
#include <QString>

class Playlist;

/**
 * The music library's work: the music folder, the full scan, the quick load
 * from the cache followed by a scan for new files, and the cache saves. It
 * owns the records (a Playlist) and tells the views by signal when a scan
 * starts, what the status line should say, and when a new library is in place.
 */
class Library : public QObject {
    Q_OBJECT

public:
    /** How a library came to be installed. */
    enum class Install {
        Cache, ///< read from the cache, a scan for new files follows
        Scan, ///< a full scan of the folder
        Update, ///< new files appended after a cache load
    };
    Q_ENUM(Install)

    explicit Library(QObject *parent = nullptr);

    /** The records; rows of the track list are rows here. */
    Playlist *tracks() const;
    /** The music folder, empty while none is chosen. */
    QString folder() const;
    /** The cache file of @p folder. */
    static QString cachePath(const QString &folder);

    /** Makes @p path the music folder and scans it in full. */
    void setFolder(const QString &path);
    /** Makes @p path the music folder without reading it (the folder of an earlier run). */
    void restoreFolder(const QString &path);
    /** Scans the music folder in full, saves the cache and installs the result; no folder, no scan.
     */
    void refresh();
    /**
     * Installs the cached library at once, then scans only for files it does
     * not know, appends them, saves the cache and installs again. Without a
     * readable cache it refreshes in full.
     */
    void update();

    /** Whether the last cache save failed. */
    bool cacheSaveFailed() const;
    /** What the status line says once an install of @p how is shown, and for how many seconds. */
    QString readyMessage(Install how) const;
    int readyTimeout() const;

signals:
    /** A full scan started: the rows shown no longer match what comes. */
    void scanStarted();
    /** A status line message, shown for @p timeoutSeconds (0: until the next one). */
    void status(const QString &message, int timeoutSeconds);
    /** A new library is in place; rows may have moved. */
    void installed(Library::Install how);

private:
    void saveCache();

    Playlist *playlist;
    QString folderPath;
    bool saveFailed = false;
};
