#pragma once

#include "library/watcher/WatchBackend.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <memory>
#include <utility>

class QTimer;

/**
 * Watches the music folder and everything below it while the player runs and
 * says, batched, when something changed that the library shows: an audio file
 * (one of MusicFiles::suffixes(), in any case) created, removed, renamed, rewritten in
 * place or given other times or permissions, or a folder created, removed or
 * renamed. Other files, such as the library's own cache, and hidden entries
 * (which the scan skips too) are not reported, so a library that saves its
 * cache after each change does not loop.
 *
 * A batch ends once nothing relevant happened for the quiet time (on Linux a
 * file still open for writing keeps it open until the file is closed, however
 * long a copy stalls), and at the latest the maximum delay after its
 * first change: a copied album is one batch, a long copy still shows progress.
 * The library is expected to read the folder again on changed(): that read,
 * not the events, tells what changed, which also covers files that arrive in
 * a new folder before its watch is in place.
 *
 * The folders are walked on a worker thread, so watching a large tree never
 * blocks the caller. Symbolic links to folders are not followed, as the scan
 * does not follow them. On Linux each folder holds one inotify watch; a file
 * opened for writing and closed with nothing written (TagLib opens files
 * read-write to read their tags) is not a change. Elsewhere the folders are
 * watched through QFileSystemWatcher, which misses a file rewritten in place
 * (until something else changes in its folder) and notices a renamed root
 * only at the next check.
 */
class FolderWatcher : public QObject, private WatchBackend::Events {
    Q_OBJECT

public:
    explicit FolderWatcher(QObject *parent = nullptr);
    ~FolderWatcher() override;

    /**
     * Watches @p root and every folder below it, replacing an earlier root; an
     * empty path stops. Returns at once: ready() follows once every folder is
     * watched, and a change in a folder not yet reached may go unreported, so
     * a read of the folder that ended before ready() should be repeated. A
     * root that is not there gives folderGone() and is waited for.
     */
    void watch(const QString &root);
    /** Stops watching and forgets the root; no signal follows. */
    void stop();
    /**
     * The audio files and folders renamed below the root since the last call,
     * old path and new, in the order they were renamed; each rename is also a
     * change. Seen on Linux only: elsewhere a rename is a removal and a new file.
     */
    QList<std::pair<QString, QString>> takeMoves();
    /**
     * The audio files and folders below the root where something changed since
     * the last call, each once, for a read of just those; none where a change
     * may lie anywhere (events were lost, the root itself changed, or there
     * were too many to be worth naming).
     */
    QStringList takeChangedPaths();
    /**
     * Whether the root is watched: from watch() until stop(), limitReached()
     * or folderGone(), and again from folderBack().
     */
    bool isWatching() const;

    /**
     * A batch ends @p quietMs after its last change, and at most @p maxDelayMs
     * after its first one. Defaults: 1000 and 5000 ms.
     */
    void setBatchTimes(int quietMs, int maxDelayMs);
    /** How often the root is checked for going away unnoticed or coming back; default 2500 ms. */
    void setCheckInterval(int ms);
    /**
     * The most folders watched at once, counted at the next watch(). The
     * default leaves half of the system's inotify watches to other programs.
     */
    void setWatchLimit(int folders);
    int watchLimit() const;

signals:
    /** Every folder below the root is watched now: changes from here on are reported. */
    void ready();
    /** Something below the root changed that the library shows; one per batch. */
    void changed();
    /**
     * Not every folder could be watched (more than the limit, the system's
     * watches ran out, or the root is there but cannot be watched): the
     * watches are let go and no other signal follows. Once per watch().
     */
    void limitReached();
    /**
     * The root was removed, renamed, unmounted, made unreadable or replaced,
     * or was never there: watching has stopped, a pending batch is dropped,
     * and the root is checked for until folderBack(). A root that is or was a
     * mount point is gone while nothing is mounted on it.
     */
    void folderGone();
    /**
     * The root is a folder again after folderGone() (it appeared, was
     * mounted, or another folder took its place); it is watched again, ready()
     * follows.
     */
    void folderBack();

private:
    enum class Walk { Initial, Added };

    void start();
    void release();
    void startWalk(const QString &top, Walk kind);
    void walkDone(quint64 id, Walk kind, bool limitHit, const QString &top);
    /** Notes @p path as changed for takeChangedPaths(). */
    void noteChanged(const QString &path);
    void fileChanged(WatchBackend::Change change, const QString &path) override;
    void walkNeeded(const QString &top) override;
    void rootGone() override;
    void moved(const QString &from, const QString &to) override;
    void markChanged();
    void quietTimeout();
    void flush();
    void check();
    void goGone();
    bool rootPresent() const;

    QString rootPath;
    bool rootWasMountPoint = false;
    std::pair<quint64, quint64> rootId; ///< of the folder watched now
    QList<std::pair<QString, QString>> moves;
    bool gone = false;
    QSet<QString> changedPaths;
    bool changedAnywhere = false; ///< since the last takeChangedPaths()
    int limit;
    // What watches the root now, shared with the walker, which may still run
    // when the watcher has moved on (it then stops at the next folder).
    std::shared_ptr<WatchBackend> backend;
    quint64 sessionId = 0;
    int walksInFlight = 0;
    // Audio files written to since they were last closed: a close with no
    // write before it is a reader that opened the file read-write.
    QSet<QString> written;
    QTimer *quiet;
    QTimer *maxDelay;
    QTimer *checkTimer;
    // One walker at a time, in order; it also closes a released backend's
    // watches, which takes a while for a large tree.
    QThreadPool pool;
};
