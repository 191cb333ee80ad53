#include "library/watcher/FolderWatcher.h"

#include "library/scan/BackgroundThreads.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

FolderWatcher::FolderWatcher(QObject *parent)
    : QObject(parent)
    , limit(WatchBackend::defaultLimit())
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
    rootWasMountPoint = WatchBackend::isMountPoint(rootPath);
    checkTimer->start();
    start();
}

void FolderWatcher::stop()
{
    release();
    checkTimer->stop();
    rootPath.clear();
    gone = false;
    moves.clear();
    changedPaths.clear();
    changedAnywhere = false;
}

QList<std::pair<QString, QString>> FolderWatcher::takeMoves()
{
    return std::exchange(moves, {});
}

QStringList FolderWatcher::takeChangedPaths()
{
    const QSet<QString> paths = std::exchange(changedPaths, {});
    if (std::exchange(changedAnywhere, false))
        return {};
    return QStringList(paths.cbegin(), paths.cend());
}

void FolderWatcher::noteChanged(const QString &path)
{
    // Past a few hundred, a walk of the whole tree costs less than finding
    // each record's place among them.
    constexpr qsizetype most = 256;
    if (changedAnywhere)
        return;
    if (path.isEmpty() || path == rootPath || changedPaths.size() >= most) {
        changedAnywhere = true;
        changedPaths.clear();
        return;
    }
    changedPaths.insert(path);
}

bool FolderWatcher::isWatching() const
{
    return backend != nullptr;
}

void FolderWatcher::start()
{
    // A folder that turns up as a mount point is one from now on: when the
    // drive goes, the empty folder left is no music folder.
    rootWasMountPoint = rootWasMountPoint || WatchBackend::isMountPoint(rootPath);
    rootId = WatchBackend::folderId(rootPath);
    ++sessionId;
    backend = WatchBackend::make(rootPath, limit, *this, this, pool);
    startWalk(rootPath, Walk::Initial);
}

void FolderWatcher::release()
{
    quiet->stop();
    maxDelay->stop();
    written.clear();
    walksInFlight = 0;
    if (backend) {
        backend->cancel();
        // Letting go of thousands of watches takes a while (some 20 ms for
        // 5,000): done on the worker, after a walk still running has stopped.
        pool.start([released = std::move(backend)]() mutable { released.reset(); });
    }
}

void FolderWatcher::startWalk(const QString &top, Walk kind)
{
    ++walksInFlight;
    pool.start([this, walked = backend, id = sessionId, top, kind] {
        // A walk is background work: the window's paint comes first.
        BackgroundThreads::yieldToWindow();
        const bool limitHit = walked->walk(top);
        QMetaObject::invokeMethod(
            this, [this, id, kind, limitHit, top] { walkDone(id, kind, limitHit, top); },
            Qt::QueuedConnection);
    });
}

void FolderWatcher::walkDone(quint64 id, Walk kind, bool limitHit, const QString &top)
{
    if (!backend || id != sessionId)
        return;
    const WatchBackend::Walked walked = backend->walked(limitHit);
    if (walked == WatchBackend::Walked::More) {
        QMetaObject::invokeMethod(
            this, [this, id, kind, top] { walkDone(id, kind, false, top); }, Qt::QueuedConnection);
        return;
    }
    limitHit = walked == WatchBackend::Walked::LimitReached;
    const bool rootWatched = backend->rootWatched();
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
        noteChanged(top);
        markChanged();
    }
}

void FolderWatcher::fileChanged(WatchBackend::Change change, const QString &path)
{
    switch (change) {
    case WatchBackend::Change::Written:
        // Not a change yet (its close is), but a file still being written keeps its batch open.
        written.insert(path);
        if (maxDelay->isActive())
            quiet->start();
        return;
    case WatchBackend::Change::WriteClosed:
        if (!written.remove(path))
            return;
        break;
    case WatchBackend::Change::Removed:
        written.remove(path);
        break;
    case WatchBackend::Change::Other:
        break;
    }
    noteChanged(path);
    markChanged();
}

void FolderWatcher::walkNeeded(const QString &top)
{
    startWalk(top, Walk::Added);
}

void FolderWatcher::rootGone()
{
    goGone();
}

void FolderWatcher::moved(const QString &from, const QString &to)
{
    moves.append({from, to});
}

void FolderWatcher::markChanged()
{
    if (!maxDelay->isActive())
        maxDelay->start();
    quiet->start();
}

void FolderWatcher::quietTimeout()
{
    // A batch with folders still being walked waits for them (their end restarts the quiet time),
    // and one with a file still open for writing waits for its close: a copy that stalls for a
    // while is still one change, read once it is whole. The maximum delay ends either wait.
    if (walksInFlight == 0 && written.isEmpty())
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
    // Moved away with a folder above it, or covered by a file system mounted
    // on it: neither reaches the watches.
    if (!gone && backend && (!present || WatchBackend::folderId(rootPath) != rootId))
        goGone();
    if (gone && present) {
        gone = false;
        start();
        emit folderBack();
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
        && (!rootWasMountPoint || WatchBackend::isMountPoint(rootPath));
}
