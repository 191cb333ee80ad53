#include "library/watcher/FolderWatcher.h"

#include "library/Playlist.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QTimer>

#ifdef CORVEL_WATCH_INOTIFY
#include <QSocketNotifier>

#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>
#else
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QPointer>
#endif

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <algorithm>
#include <atomic>
#include <iterator>

namespace {

/** Whether @p path is where a file system is mounted (its device differs from its parent's). */
bool isMountPoint(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat self, parent;
    return ::stat(QFile::encodeName(path).constData(), &self) == 0
        && ::stat(QFile::encodeName(path + QStringLiteral("/..")).constData(), &parent) == 0
        && (self.st_dev != parent.st_dev || self.st_ino == parent.st_ino);
#else
    Q_UNUSED(path);
    return false;
#endif
}

int defaultLimit()
{
#ifdef CORVEL_WATCH_INOTIFY
    // The watches are shared by every program of the user: file managers,
    // editors and indexers keep at least half of them.
    QFile file(QStringLiteral("/proc/sys/fs/inotify/max_user_watches"));
    bool ok = false;
    const int system = file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt(&ok) : 0;
    if (ok && system > 1)
        return system / 2;
#endif
    return 8192;
}

#ifdef CORVEL_WATCH_INOTIFY
constexpr quint32 watchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY
    | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

/** The folders right below @p dir that the scan enters: no hidden ones, no links. */
QStringList subfolders(const QString &dir)
{
    QStringList found;
    for (QDirIterator it(dir, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks); it.hasNext();)
        found.append(it.next());
    return found;
}
#else
struct Listing {
    size_t summary = 0;
    QStringList folders;
};

/** The audio files (name, size, time) and folders in @p dir, summed so their order does not
 * count. */
Listing list(const QString &dir)
{
    Listing listing;
    for (QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot); it.hasNext();) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir() && !info.isSymLink()) {
            listing.folders.append(path);
            listing.summary += qHash(path);
        } else if (!info.isDir() && Playlist::isAudioName(info.fileName())) {
            listing.summary += qHashMulti(0, path, info.size(), info.lastModified());
        }
    }
    return listing;
}
#endif

} // namespace

/**
 * What one watch() holds: shared with the walker, which may still run when
 * the watcher has moved on (it then stops at the next folder).
 */
struct FolderWatcher::Session {
    QString root;
    int limit = 0;
    std::atomic<bool> cancelled{false};
    // Guards what the walker and the GUI thread both touch.
    QMutex mutex;
#ifdef CORVEL_WATCH_INOTIFY
    int fd = -1;
    int rootWatch = -1;
    // Both ways between folders and their watches. Sorted by path, a folder
    // and everything below it are one range.
    QHash<int, QString> paths;
    QMap<QString, int> folders;

    ~Session()
    {
        if (fd >= 0)
            ::close(fd);
    }

    void remember(int watch, const QString &path)
    {
        const QString old = paths.value(watch);
        if (!old.isNull() && old != path && folders.value(old, -1) == watch)
            folders.remove(old);
        paths.insert(watch, path);
        folders.insert(path, watch);
    }

    void forget(int watch)
    {
        const QString path = paths.take(watch);
        if (folders.value(path, -1) == watch)
            folders.remove(path);
    }
#else
    // Each folder with a summary of what it shows the library, to tell a
    // change that matters from one that does not (the cache being saved).
    QMap<QString, size_t> folders;
    QList<QPair<QString, size_t>> found; // walked, not yet taken by the GUI thread
    QStringList unwatched; // taken, not yet watched
#endif
};

#ifdef CORVEL_WATCH_INOTIFY
/**
 * Watches @p top and every folder below it that is not watched yet; returns
 * whether the limit was reached. Each folder is listed after its watch is in
 * place, so a folder made in it meanwhile is either listed or reported.
 */
bool FolderWatcher::addWatches(Session &session, const QString &top)
{
    if (session.fd < 0)
        return true;
    QStringList pending{top};
    while (!pending.isEmpty()) {
        if (session.cancelled)
            return false;
        const QString dir = pending.takeLast();
        {
            // Held across the call, so the GUI thread finds a new watch's
            // folder for every event the watch reports.
            QMutexLocker lock(&session.mutex);
            const quint32 mask = dir == session.root ? watchMask : watchMask | IN_DONT_FOLLOW;
            const int watch
                = inotify_add_watch(session.fd, QFile::encodeName(dir).constData(), mask);
            if (watch < 0) {
                if (errno == ENOSPC)
                    return true;
                continue; // gone already, or unreadable, which the scan skips too
            }
            const bool added = !session.paths.contains(watch);
            session.remember(watch, dir);
            if (added && session.paths.size() > session.limit)
                return true;
            if (dir == session.root)
                session.rootWatch = watch;
        }
        pending += subfolders(dir);
    }
    return false;
}
#else
// QFileSystemWatcher takes some 90 microseconds to add a folder: so many per turn of the event
// loop.
constexpr int foldersPerTurn = 100;

/** Stops watching @p paths, a share of them per turn of the event loop. */
void removeInTurns(QPointer<QFileSystemWatcher> watcher, QStringList paths)
{
    if (!watcher || paths.isEmpty())
        return;
    watcher->removePaths(paths.mid(0, foldersPerTurn));
    paths.remove(0, std::min<qsizetype>(foldersPerTurn, paths.size()));
    QMetaObject::invokeMethod(
        watcher, [watcher, paths] { removeInTurns(watcher, paths); }, Qt::QueuedConnection);
}

/** Lists @p top and every folder below it for the GUI thread to watch; returns whether there are
 * more than the limit. */
bool FolderWatcher::addWatches(Session &session, const QString &top)
{
    QList<QPair<QString, size_t>> found;
    QStringList pending{top};
    while (!pending.isEmpty()) {
        if (session.cancelled)
            return false;
        const QString dir = pending.takeLast();
        if (!QFileInfo(dir).isDir())
            continue;
        const Listing listing = list(dir);
        found.append({dir, listing.summary});
        if (found.size() > session.limit)
            return true;
        pending += listing.folders;
    }
    QMutexLocker lock(&session.mutex);
    session.found += found;
    return false;
}
#endif

FolderWatcher::FolderWatcher(QObject *parent)
    : QObject(parent)
    , limit(defaultLimit())
    , quiet(new QTimer(this))
    , maxDelay(new QTimer(this))
    , checkTimer(new QTimer(this))
{
    pool.setMaxThreadCount(1);
    quiet->setSingleShot(true);
    maxDelay->setSingleShot(true);
    setBatchTimes(1000, 5000);
    checkTimer->setInterval(2500);
    connect(quiet, &QTimer::timeout, this, &FolderWatcher::quietTimeout);
    connect(maxDelay, &QTimer::timeout, this, &FolderWatcher::flush);
    connect(checkTimer, &QTimer::timeout, this, &FolderWatcher::check);
}

FolderWatcher::~FolderWatcher()
{
    release();
    pool.waitForDone();
}

void FolderWatcher::setBatchTimes(int quietMs, int maxDelayMs)
{
    quiet->setInterval(quietMs);
    maxDelay->setInterval(std::max(quietMs, maxDelayMs));
}

void FolderWatcher::setCheckInterval(int ms)
{
    checkTimer->setInterval(ms);
}

void FolderWatcher::setWatchLimit(int folders)
{
    limit = std::max(1, folders);
}

int FolderWatcher::watchLimit() const
{
    return limit;
}

void FolderWatcher::watch(const QString &root)
{
    stop();
    if (root.isEmpty())
        return;
    rootPath = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    rootWasMountPoint = isMountPoint(rootPath);
    checkTimer->start();
    start();
}

void FolderWatcher::stop()
{
    release();
    checkTimer->stop();
    rootPath.clear();
    gone = false;
}

bool FolderWatcher::isWatching() const
{
    return session != nullptr;
}

void FolderWatcher::start()
{
    session = std::make_shared<Session>();
    session->root = rootPath;
    session->limit = limit;
    ++sessionId;
#ifdef CORVEL_WATCH_INOTIFY
    // Without an inotify instance (the user has used up all of them) the
    // walk reports the limit, as when the watches run out.
    session->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (session->fd >= 0) {
        auto *notifier = new QSocketNotifier(session->fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &FolderWatcher::readEvents);
        listener = notifier;
    }
#else
    auto *watcher = new QFileSystemWatcher(this);
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, &FolderWatcher::folderChanged);
    listener = watcher;
#endif
    startWalk(rootPath, Walk::Initial);
}

void FolderWatcher::release()
{
    quiet->stop();
    maxDelay->stop();
    written.clear();
    walksInFlight = 0;
    if (listener) {
#ifdef CORVEL_WATCH_INOTIFY
        // Off at once: the descriptor may be closed before the notifier goes.
        static_cast<QSocketNotifier *>(listener)->setEnabled(false);
#endif
        // Deleted later: this may run in the listener's own signal.
        listener->deleteLater();
        listener = nullptr;
    }
    if (session) {
        session->cancelled = true;
        // Letting go of thousands of watches takes a while (some 20 ms for
        // 5,000): done on the worker, after a walk still running has stopped.
        pool.start([released = std::move(session)]() mutable { released.reset(); });
    }
}

void FolderWatcher::startWalk(const QString &top, Walk kind)
{
    ++walksInFlight;
    pool.start([this, walked = session, id = sessionId, top, kind] {
        const bool limitHit = addWatches(*walked, top);
        QMetaObject::invokeMethod(
            this, [this, id, kind, limitHit] { walkDone(id, kind, limitHit); },
            Qt::QueuedConnection);
    });
}

void FolderWatcher::walkDone(quint64 id, Walk kind, bool limitHit)
{
    if (!session || id != sessionId)
        return;
#ifndef CORVEL_WATCH_INOTIFY
    QList<QPair<QString, size_t>> found;
    {
        QMutexLocker lock(&session->mutex);
        found.swap(session->found);
    }
    for (const auto &[path, summary] : std::as_const(found)) {
        if (!session->folders.contains(path))
            session->unwatched.append(path);
        session->folders.insert(path, summary);
    }
    limitHit = limitHit || session->folders.size() > session->limit;
    if (!limitHit && !session->unwatched.isEmpty()) {
        const QStringList chunk = session->unwatched.mid(0, foldersPerTurn);
        session->unwatched.remove(0, chunk.size());
        // A folder that could not be watched and is still there: out of watches.
        const QStringList failed = static_cast<QFileSystemWatcher *>(listener)->addPaths(chunk);
        limitHit = std::any_of(failed.cbegin(), failed.cend(),
            [](const QString &path) { return QFileInfo(path).isDir(); });
        if (!limitHit && !session->unwatched.isEmpty()) {
            QMetaObject::invokeMethod(
                this, [this, id, kind] { walkDone(id, kind, false); }, Qt::QueuedConnection);
            return;
        }
    }
    const bool rootWatched = session->folders.contains(rootPath);
#else
    const bool rootWatched = session->rootWatch >= 0;
#endif
    --walksInFlight;
    if (kind == Walk::Initial && !rootWatched && !rootPresent()) {
        goGone(); // removed before its watch was in place
    } else if (limitHit || (kind == Walk::Initial && !rootWatched)) {
        // A root that is there but will not be watched counts too: asking
        // again every few seconds would not help.
        release();
        checkTimer->stop();
        emit limitReached();
    } else if (kind == Walk::Initial) {
        // A batch that waited for the walk ends a quiet time from now.
        if (maxDelay->isActive())
            quiet->start();
        emit ready();
    } else {
        // Files may have arrived in the new folders before their watches.
        markChanged();
    }
}

#ifdef CORVEL_WATCH_INOTIFY
void FolderWatcher::readEvents()
{
    const std::shared_ptr<Session> current = session;
    if (!current)
        return;
    // One read per call keeps each turn of the event loop short on a burst;
    // the notifier fires again while more events wait.
    alignas(inotify_event) char buffer[32 * 1024];
    const ssize_t size = ::read(current->fd, buffer, sizeof buffer);
    for (ssize_t at = 0; at < size && session == current;) {
        const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
        at += ssize_t(sizeof(inotify_event) + event->len);
        handle(event->wd, event->mask, event->len ? QFile::decodeName(event->name) : QString());
    }
}

void FolderWatcher::handle(int watch, quint32 mask, const QString &name)
{
    if (mask & IN_Q_OVERFLOW) {
        // Events were lost, a new folder's among them maybe: every folder is
        // walked again (watches in place stay as they are).
        startWalk(rootPath, Walk::Again);
        markChanged();
        return;
    }
    QString dir;
    bool isRoot = false;
    {
        QMutexLocker lock(&session->mutex);
        dir = session->paths.value(watch);
        isRoot = watch == session->rootWatch;
    }
    if (dir.isNull())
        return; // a watch let go already
    if (isRoot && (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED))) {
        goGone();
        return;
    }
    if (mask & IN_IGNORED) {
        QMutexLocker lock(&session->mutex);
        session->forget(watch);
        return;
    }
    if (mask & IN_UNMOUNT) {
        // A folder below was a mount point: what was mounted is gone, the
        // folder under it is there again.
        startWalk(dir, Walk::Added);
        markChanged();
        return;
    }
    // Hidden entries are skipped as the scan skips them (partial downloads, temporary copies).
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        return;
    const QString path = dir + QLatin1Char('/') + name;
    if (mask & IN_ISDIR) {
        // A folder moved within the tree is let go and watched again under its new name.
        if (mask & (IN_DELETE | IN_MOVED_FROM))
            forgetTree(path);
        if (mask & (IN_CREATE | IN_MOVED_TO))
            startWalk(path, Walk::Added);
        markChanged();
        return;
    }
    if (!Playlist::isAudioName(name))
        return;
    if (mask & IN_MODIFY) {
        // Not a change yet (its close is), but a file still being written keeps its batch open.
        written.insert(path);
        if (maxDelay->isActive())
            quiet->start();
        return;
    }
    if ((mask & IN_CLOSE_WRITE) && !written.remove(path))
        return;
    if (mask & (IN_DELETE | IN_MOVED_FROM))
        written.remove(path);
    markChanged();
}

void FolderWatcher::forgetTree(const QString &path)
{
    QList<int> dropped;
    {
        QMutexLocker lock(&session->mutex);
        QMap<QString, int> &folders = session->folders;
        const auto drop = [this, &folders, &dropped](QMap<QString, int>::iterator it) {
            dropped.append(it.value());
            session->paths.remove(it.value());
            return folders.erase(it);
        };
        if (const auto it = folders.find(path); it != folders.end())
            drop(it);
        const QString below = path + QLatin1Char('/');
        for (auto it = folders.lowerBound(below);
             it != folders.end() && it.key().startsWith(below);)
            it = drop(it);
    }
    // Some 3 microseconds a watch: a large tree moved away is let go on the worker.
    if (!dropped.isEmpty()) {
        pool.start([released = session, dropped] {
            for (const int watch : dropped)
                inotify_rm_watch(released->fd, watch);
        });
    }
}
#else
void FolderWatcher::folderChanged(const QString &path)
{
    if (!session)
        return;
    if (!QFileInfo(path).isDir()) {
        if (path == rootPath) {
            goGone();
            return;
        }
        forgetTree(path);
        markChanged();
        return;
    }
    const Listing listing = list(path);
    QMap<QString, size_t> &folders = session->folders;
    if (folders.value(path) != listing.summary) {
        folders.insert(path, listing.summary);
        markChanged();
    }
    // Folders gone from here (renamed too: the watch would follow it under the
    // old name) are let go; new ones are walked and watched.
    const QString below = path + QLatin1Char('/');
    QStringList goneFolders;
    for (auto it = folders.lowerBound(below); it != folders.end() && it.key().startsWith(below);
         ++it) {
        if (it.key().indexOf(QLatin1Char('/'), below.size()) < 0
            && !listing.folders.contains(it.key()))
            goneFolders.append(it.key());
    }
    for (const QString &folder : std::as_const(goneFolders))
        forgetTree(folder);
    for (const QString &folder : listing.folders) {
        if (!folders.contains(folder))
            startWalk(folder, Walk::Added);
    }
}

void FolderWatcher::forgetTree(const QString &path)
{
    QMap<QString, size_t> &folders = session->folders;
    QStringList dropped;
    if (folders.remove(path))
        dropped.append(path);
    const QString below = path + QLatin1Char('/');
    for (auto it = folders.lowerBound(below); it != folders.end() && it.key().startsWith(below);) {
        dropped.append(it.key());
        it = folders.erase(it);
    }
    session->unwatched.removeIf([&path, &below](const QString &folder) {
        return folder == path || folder.startsWith(below);
    });
    removeInTurns(static_cast<QFileSystemWatcher *>(listener), dropped);
}
#endif

void FolderWatcher::markChanged()
{
    if (!maxDelay->isActive())
        maxDelay->start();
    quiet->start();
}

void FolderWatcher::quietTimeout()
{
    // A batch with folders still being walked waits for them (their end restarts the quiet time).
    if (walksInFlight == 0)
        flush();
}

void FolderWatcher::flush()
{
    quiet->stop();
    maxDelay->stop();
    emit changed();
}

void FolderWatcher::check()
{
    const bool present = rootPresent();
    if (gone && present) {
        gone = false;
        start();
        emit folderBack();
    } else if (!gone && !present && session) {
        goGone(); // moved away with a folder above it, which its watch does not see
    }
}

void FolderWatcher::goGone()
{
    release();
    gone = true;
    emit folderGone();
}

bool FolderWatcher::rootPresent() const
{
    // A folder that cannot be read is as good as gone. A drive's mount point
    // stays behind as an empty folder when the drive goes: the music is back
    // only once something is mounted there again.
    const QFileInfo root(rootPath);
    return root.isDir() && root.isReadable() && root.isExecutable()
        && (!rootWasMountPoint || isMountPoint(rootPath));
}
