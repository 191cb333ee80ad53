#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <utility>

class QObject;
class QThreadPool;

/**
 * The system's half of one FolderWatcher::watch(): what watches each folder
 * and what it says when one changes. FolderWatcher keeps every rule (the
 * batches, which writes count, the root going and coming back, the limit); a
 * backend only watches and reports. One backend is built, as
 * src/library/CMakeLists.txt chooses: InotifyWatchBackend on Linux,
 * PortableWatchBackend (QFileSystemWatcher) elsewhere. make() and
 * defaultLimit() are defined by the one built.
 *
 * walk() runs on the watcher's worker, everything else on the watcher's
 * thread. A backend is let go on the worker as well (closing thousands of
 * watches takes a while), so after cancel() it neither reports nor touches
 * anything of the watcher's thread.
 */
class WatchBackend : public std::enable_shared_from_this<WatchBackend> {
public:
    /** What happened to an audio file or a folder, as far as the system tells. */
    enum class Change {
        Other, ///< created, renamed in, given other times or permissions; any folder change
        Written, ///< an audio file was written to and is still open
        WriteClosed, ///< an audio file opened for writing was closed, written to or not
        Removed, ///< an audio file was removed or renamed away
    };

    /** What a backend tells its watcher, on the watcher's thread, until cancel(). */
    class Events {
    public:
        /** @p path, an audio file or a folder below the root, changed as @p change says. */
        virtual void fileChanged(Change change, const QString &path) = 0;
        /** @p top and the folders below it are to be walked again (new ones, or events lost). */
        virtual void walkNeeded(const QString &top) = 0;
        /** The root was removed, renamed or unmounted. */
        virtual void rootGone() = 0;
        /** The audio file or folder @p from below the root was renamed to @p to, also below it. */
        virtual void moved(const QString &from, const QString &to) = 0;

    protected:
        ~Events() = default;
    };

    /** What is left once walk() has returned and walked() has had its turn. */
    enum class Walked {
        Done,
        LimitReached, ///< more folders than the limit, or the system's watches ran out
        More, ///< call walked() again on a later turn of the event loop
    };

    /**
     * The backend for one watch of @p root, at most @p limit folders: it
     * reports to @p events, listens through a child of @p context and lets go
     * of watches on @p worker.
     */
    static std::shared_ptr<WatchBackend> make(
        const QString &root, int limit, Events &events, QObject *context, QThreadPool &worker);
    /** The most folders watched at once unless set otherwise. */
    static int defaultLimit();
    /** Whether @p path is where a file system is mounted (its device differs from its parent's). */
    static bool isMountPoint(const QString &path);
    /**
     * The device and inode of the folder at @p path, (0, 0) when there is none
     * or the system tells neither: another folder put in its place, or a file
     * system mounted on it, has other ones.
     */
    static std::pair<quint64, quint64> folderId(const QString &path);

    virtual ~WatchBackend() = default;

    /**
     * On the worker: watches @p top and every folder below it not watched yet
     * (or lists them for walked() to watch); returns whether the limit was
     * reached. Stops early, without the limit, once cancelled.
     */
    virtual bool walk(const QString &top) = 0;
    /** On the watcher's thread after each walk(), with what it returned. */
    virtual Walked walked(bool limitHit) = 0;
    /** Whether the root itself is watched. */
    virtual bool rootWatched() const = 0;
    /** Stops reporting at once; the backend is about to be let go. */
    void cancel();

protected:
    WatchBackend(const QString &root, int limit, Events &events);
    bool isCancelled() const;
    /** Lets go of the listener, on the watcher's thread (it may be in its own signal). */
    virtual void stopListening() = 0;

    const QString root;
    const int limit;
    Events &events;

private:
    std::atomic<bool> cancelled{false};
};
