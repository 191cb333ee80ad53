#pragma once

#include "library/cache/CacheStamp.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <memory>

class FolderWatcher;
class Playlist;
class TrackTable;

/**
 * The music library's work: the music folder, the full scan, the quick load
 * from the cache followed by an update scan, the check after changes on disk,
 * and the cache saves. It owns the records (a Playlist) and tells the views
 * by signal when a scan starts, what the status line should say, and when a
 * new library is in place. Files are read and written on the global thread
 * pool; what reaches the GUI thread is a finished library to put in place.
 *
 * A music folder that is not an existing directory when a scan, update or
 * check for changes would install keeps the library and the cache as they are; the status
 * then says "The music folder is gone: <path>" until the next message.
 *
 * From its first read on (or its first try, when it is not there), the folder
 * is watched: each batch of changes on disk runs a check for changes, with the
 * renames the watcher saw, so renamed files keep their rows; a folder that
 * went away is told at once and checked when it is back. A folder that was not
 * there, or was empty, when it comes back (a drive or share mounted later) is
 * loaded as at a start; an empty folder that took the place of a library with
 * tracks (the mount point a drive left behind) keeps the list and is told as
 * gone. An empty library leaves no cache in a folder that had none. Where the
 * system has too few watches for the tree, the status says so once and changes
 * show with the next update.
 */
class Library : public QObject {
    Q_OBJECT

public:
    /** How a library came to be installed. */
    enum class Install {
        Cache, ///< read from the cache, a scan for new files follows
        Scan, ///< a full scan of the folder
        Update, ///< after a cache load or a check for changes: changed records replaced, new
                ///< appended, gone dropped
    };
    Q_ENUM(Install)

    /** What a status message tells. */
    enum class Status {
        Progress, ///< what the library does or has done; the next message replaces it
        Problem, ///< something the user should read: no later message cuts its time short
    };
    Q_ENUM(Status)

    explicit Library(QObject *parent = nullptr);
    /** Waits for a running cache save and writes a newer one still waiting, so none is lost. */
    ~Library() override;

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
    void rescan();
    /**
     * Reads the cache on a worker and installs it (Install::Cache), then runs the
     * update scan (see Playlist::ScanKind::Update), saves the cache and installs
     * again (Install::Update). Without a readable cache it rescans in full.
     * Before it returns it only sends the status "Loading playlist...".
     */
    void loadCacheAndCheck();
    /**
     * The update scan against the library in memory, without reading the cache:
     * installed as Install::Update, then the cache is saved. Asked for while a
     * load or scan runs, it runs once after that; asked for before any library
     * of this folder is installed, it does nothing (the load to come reads the folder).
     */
    void checkForChanges();
    /** The watcher of the music folder, for its settings. */
    FolderWatcher *folderWatcher() const;
    /** Whether the folder is watched from its next read on (it is by default); off stops it now. */
    void setWatching(bool on);
    /**
     * Whether a cache read, a scan or a cache save is running or waiting to
     * run; a save counts until its failure, if any, is told.
     */
    bool busy() const;

    /**
     * Whether the last cache save that has ended failed. Saves run on a worker
     * after the install they save, so an install's own save may end after
     * installed() was sent; its failure is then told by status() when it ends.
     */
    bool cacheSaveFailed() const;
    /**
     * What the status line says once an install of @p how is shown, and for how
     * many seconds; it names the files the scan left out for their names.
     */
    QString readyMessage(Install how) const;
    int readyTimeout() const;

signals:
    /** A full scan started: the rows shown no longer match what comes. */
    void scanStarted();
    /** A status line message, shown for @p timeoutSeconds (0: until the next one). */
    void status(const QString &message, int timeoutSeconds,
        Library::Status kind = Library::Status::Progress);
    /** A new library is in place; rows may have moved. */
    void installed(Library::Install how);

private:
    /** The cache read of loadCacheAndCheck(). */
    void readCache();
    /** The full scan of rescan(), after its signals were sent. */
    void scanInFull();
    /** The update scan against the library in place. */
    void scanForChanges();
    /** The watcher saw changes: checkForChanges() of only where they were, when it can say. */
    void changesSeen();
    /** The watcher found the folder there again. */
    void folderBack();
    /** The end of a load or scan that @p installed (or found the folder gone); runs a check asked
     * for. */
    void scanEnded(bool installed);
    /** Whether the music folder is an existing directory; tells the status line when not. */
    bool folderThere();
    void folderGone();
    /** Saves the library in place as @p folder's cache: now, or once the running save ends. */
    void saveCache(const QString &folder);
    void startSave(const QString &path, std::shared_ptr<const TrackTable> snapshot);

    /** Watches the music folder unless it is watched already or watching is off. */
    void watchFolder();

    Playlist *playlist;
    FolderWatcher *watcher;
    QString folderPath;
    bool watching = true;
    QString watchedFolder; ///< the folder the watcher was given, gone or out of watches included
    bool watchLimitTold = false; ///< the status said once that the tree cannot be watched
    bool saveFailed = false;
    bool scanning = false; ///< a cache read or scan of ours runs
    bool checkAsked = false; ///< a check for changes waits for the running load or scan
    bool wholeCheckAsked = false; ///< the next check reads the whole folder
    bool readAfterSave = false; ///< loadCacheAndCheck() waits for the running save
    bool hasLibrary = false; ///< a library of this folder is installed
    /** What a save tells: whether it wrote the cache, and the file's stamp then. */
    struct Saved {
        bool ok = false;
        CacheStamp stamp;
    };
    // The saves and the heap trims after them; not Qt's global pool, whose
    // threads the window paints with.
    QThreadPool saver;
    QFutureWatcher<Saved> *saving; ///< the running save
    std::weak_ptr<const TrackTable> savingTable; ///< what the running save writes
    QString savingPath;
    // The cache file as this library last wrote or read it, and the table it
    // holds then: a read of the file while both are so would give that table.
    QString stampedPath;
    CacheStamp stamped;
    std::weak_ptr<const TrackTable> stampedTable;
    // Running until its result is in: the worker may be done while the
    // outcome still waits in the event queue.
    bool saveRunning = false;
    std::shared_ptr<const TrackTable> waitingSave; ///< the newest library still to save
    QString waitingSavePath;
};
