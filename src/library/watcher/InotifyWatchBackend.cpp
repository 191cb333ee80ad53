#include "library/watcher/InotifyWatchBackend.h"

#include "library/scan/MusicFiles.h"

#include <QFile>
#include <QList>
#include <QSocketNotifier>
#include <QThreadPool>

#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr quint32 watchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY
    | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

std::shared_ptr<WatchBackend> WatchBackend::make(
    const QString &root, int limit, Events &events, QObject *context, QThreadPool &worker)
{
    return std::make_shared<InotifyWatchBackend>(root, limit, events, context, worker);
}

int WatchBackend::defaultLimit()
{
    // The watches are shared by every program of the user: file managers,
    // editors and indexers keep at least half of them.
    QFile file(QStringLiteral("/proc/sys/fs/inotify/max_user_watches"));
    bool ok = false;
    const int system = file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt(&ok) : 0;
    if (ok && system > 1)
        return system / 2;
    return 8192;
}

InotifyWatchBackend::InotifyWatchBackend(
    const QString &root, int limit, Events &events, QObject *context, QThreadPool &worker)
    : WatchBackend(root, limit, events)
    , worker(worker)
    , fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    // Without an inotify instance (the user has used up all of them) the
    // walk reports the limit, as when the watches run out.
    if (fd >= 0) {
        notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this] { readEvents(); });
    }
}

InotifyWatchBackend::~InotifyWatchBackend()
{
    if (fd >= 0)
        ::close(fd);
}

void InotifyWatchBackend::stopListening()
{
    if (notifier) {
        // Off at once: the descriptor, and this backend, may be gone before
        // the notifier, which is deleted later as this may run in its signal.
        notifier->setEnabled(false);
        notifier->disconnect();
        notifier->deleteLater();
        notifier = nullptr;
    }
}

InotifyWatchBackend::Added InotifyWatchBackend::addWatch(const QString &dir)
{
    // Held across the call, so the watcher's thread finds a new watch's
    // folder for every event the watch reports.
    QMutexLocker lock(&mutex);
    const quint32 mask = dir == root ? watchMask : watchMask | IN_DONT_FOLLOW;
    const int watch = inotify_add_watch(fd, QFile::encodeName(dir).constData(), mask);
    if (watch < 0)
        return errno == ENOSPC ? Added::Full : Added::Failed;
    const bool added = !paths.contains(watch);
    remember(watch, dir);
    if (added && paths.size() > limit)
        return Added::Full;
    if (dir == root)
        rootWatch = watch;
    return Added::Watched;
}

bool InotifyWatchBackend::walk(const QString &top)
{
    if (fd < 0)
        return true;
    if (isCancelled())
        return false;
    // Each folder is listed after its watch is in place, so a folder made in
    // it meanwhile is either listed or reported. One gone already, or
    // unreadable, is skipped, as the scan skips it.
    const Added first = addWatch(top);
    if (first != Added::Watched)
        return first == Added::Full;
    bool full = false;
    MusicFiles::walk(top, MusicFiles::Entries::Folders, [this, &full](const QFileInfo &entry) {
        if (isCancelled())
            return false;
        if (!entry.isSymLink())
            full = addWatch(entry.filePath()) == Added::Full;
        return !full;
    });
    return full;
}

InotifyWatchBackend::Walked InotifyWatchBackend::walked(bool limitHit)
{
    return limitHit ? Walked::LimitReached : Walked::Done;
}

bool InotifyWatchBackend::rootWatched() const
{
    return rootWatch >= 0;
}

void InotifyWatchBackend::remember(int watch, const QString &path)
{
    const QString old = paths.value(watch);
    if (!old.isNull() && old != path && folders.value(old, -1) == watch)
        folders.remove(old);
    paths.insert(watch, path);
    folders.insert(path, watch);
}

void InotifyWatchBackend::forget(int watch)
{
    const QString path = paths.take(watch);
    if (folders.value(path, -1) == watch)
        folders.remove(path);
}

void InotifyWatchBackend::readEvents()
{
    // An event may end the watch, and with it the last hold on this backend.
    const std::shared_ptr<WatchBackend> hold = shared_from_this();
    // One read per call keeps each turn of the event loop short on a burst;
    // the notifier fires again while more events wait.
    alignas(inotify_event) char buffer[32 * 1024];
    const ssize_t size = ::read(fd, buffer, sizeof buffer);
    for (ssize_t at = 0; at < size && !isCancelled();) {
        const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
        at += ssize_t(sizeof(inotify_event) + event->len);
        handle(event->wd, event->mask, event->cookie,
            event->len ? QFile::decodeName(event->name) : QString());
    }
}

void InotifyWatchBackend::handle(int watch, quint32 mask, quint32 cookie, const QString &name)
{
    if (mask & IN_Q_OVERFLOW) {
        // Events were lost, a new folder's among them maybe: every folder is
        // walked again (watches in place stay as they are).
        events.walkNeeded(root);
        events.fileChanged(Change::Other, root);
        return;
    }
    QString dir;
    bool isRoot = false;
    {
        QMutexLocker lock(&mutex);
        dir = paths.value(watch);
        isRoot = watch == rootWatch;
    }
    if (dir.isNull())
        return; // a watch let go already
    if (isRoot && (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED))) {
        events.rootGone();
        return;
    }
    if (mask & IN_IGNORED) {
        QMutexLocker lock(&mutex);
        forget(watch);
        return;
    }
    if (mask & IN_UNMOUNT) {
        // A folder below was a mount point: what was mounted is gone, the
        // folder under it is there again.
        events.walkNeeded(dir);
        events.fileChanged(Change::Other, dir);
        return;
    }
    // Hidden entries are skipped as the scan skips them (partial downloads, temporary copies).
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        return;
    const QString path = dir + QLatin1Char('/') + name;
    const bool isDir = mask & IN_ISDIR;
    if (!isDir && !MusicFiles::isAudioName(name))
        return;
    // The two halves of a rename share a cookie and come one after the other;
    // a half without the other left the tree or came from outside it.
    if (mask & IN_MOVED_FROM) {
        movesFrom.append({cookie, path});
        if (movesFrom.size() > 16)
            movesFrom.removeFirst();
    } else if (mask & IN_MOVED_TO) {
        for (qsizetype i = movesFrom.size() - 1; i >= 0; --i) {
            if (movesFrom.at(i).first == cookie) {
                events.moved(movesFrom.takeAt(i).second, path);
                break;
            }
        }
    }
    if (isDir) {
        // A folder moved within the tree is let go and watched again under its new name.
        if (mask & (IN_DELETE | IN_MOVED_FROM))
            forgetTree(path);
        if (mask & (IN_CREATE | IN_MOVED_TO))
            events.walkNeeded(path);
        events.fileChanged(Change::Other, path);
        return;
    }
    if (mask & IN_MODIFY)
        events.fileChanged(Change::Written, path);
    else if (mask & IN_CLOSE_WRITE)
        events.fileChanged(Change::WriteClosed, path);
    else if (mask & (IN_DELETE | IN_MOVED_FROM))
        events.fileChanged(Change::Removed, path);
    else
        events.fileChanged(Change::Other, path);
}

void InotifyWatchBackend::forgetTree(const QString &path)
{
    QList<int> dropped;
    {
        QMutexLocker lock(&mutex);
        const auto drop = [this, &dropped](QMap<QString, int>::iterator it) {
            dropped.append(it.value());
            paths.remove(it.value());
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
        worker.start([hold = shared_from_this(), fd = fd, dropped] {
            for (const int watch : dropped)
                inotify_rm_watch(fd, watch);
        });
    }
}
