#include "library/watcher/PortableWatchBackend.h"

#include "library/scan/MusicFiles.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>

#include <algorithm>

namespace {

// QFileSystemWatcher takes some 90 microseconds to add a folder: so many per
// turn of the event loop.
constexpr int foldersPerTurn = 100;

bool isFolder(const QFileInfo &entry)
{
    return entry.isDir() && !entry.isSymLink();
}

/** What @p entry adds to its folder's summary: audio files and folders count, others not. */
size_t summaryOf(const QFileInfo &entry)
{
    if (isFolder(entry))
        return qHash(entry.filePath());
    if (!entry.isDir() && MusicFiles::isAudioName(entry.fileName()))
        return qHashMulti(0, entry.filePath(), entry.size(), entry.lastModified());
    return 0;
}

struct Listing {
    size_t summary = 0;
    QStringList folders;
};

/** The summary of @p dir, summed so the order of its entries does not count, and its folders. */
Listing list(const QString &dir)
{
    Listing listing;
    for (const QFileInfo &entry : MusicFiles::entries(dir, MusicFiles::Entries::All)) {
        listing.summary += summaryOf(entry);
        if (isFolder(entry))
            listing.folders.append(entry.filePath());
    }
    return listing;
}

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

} // namespace

std::shared_ptr<WatchBackend> WatchBackend::make(
    const QString &root, int limit, Events &events, QObject *context, QThreadPool &)
{
    return std::make_shared<PortableWatchBackend>(root, limit, events, context);
}

int WatchBackend::defaultLimit()
{
    return 8192;
}

PortableWatchBackend::PortableWatchBackend(
    const QString &root, int limit, Events &events, QObject *context)
    : WatchBackend(root, limit, events)
    , watcher(new QFileSystemWatcher(context))
    , rootId(folderId(root))
{
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, watcher,
        [this](const QString &path) { folderChanged(path); });
}

void PortableWatchBackend::stopListening()
{
    if (watcher) {
        // Deleted later: this may run in the watcher's own signal.
        watcher->disconnect();
        watcher->deleteLater();
    }
}

bool PortableWatchBackend::walk(const QString &top)
{
    if (isCancelled() || !QFileInfo(top).isDir())
        return false;
    // The folders in the order they are reached, each summed up as its
    // entries come; the watcher's thread watches them.
    QList<QPair<QString, size_t>> reached{{top, 0}};
    QHash<QString, qsizetype> index{{top, 0}};
    bool full = false;
    const bool ended = MusicFiles::walk(
        top, MusicFiles::Entries::All, [this, &reached, &index, &full](const QFileInfo &entry) {
            if (isCancelled())
                return false;
            reached[index.value(entry.path())].second += summaryOf(entry);
            if (isFolder(entry)) {
                index.insert(entry.filePath(), reached.size());
                reached.append({entry.filePath(), 0});
                full = reached.size() > limit;
            }
            return !full;
        });
    if (!ended)
        return full;
    QMutexLocker lock(&mutex);
    found += reached;
    return false;
}

PortableWatchBackend::Walked PortableWatchBackend::walked(bool limitHit)
{
    QList<QPair<QString, size_t>> taken;
    {
        QMutexLocker lock(&mutex);
        taken.swap(found);
    }
    for (const auto &[path, summary] : std::as_const(taken)) {
        if (!folders.contains(path))
            unwatched.append(path);
        folders.insert(path, summary);
    }
    limitHit = limitHit || folders.size() > limit;
    if (!limitHit && !unwatched.isEmpty()) {
        const QStringList chunk = unwatched.mid(0, foldersPerTurn);
        unwatched.remove(0, chunk.size());
        // A folder that could not be watched and is still there: out of watches.
        const QStringList failed = watcher->addPaths(chunk);
        limitHit = std::any_of(failed.cbegin(), failed.cend(),
            [](const QString &path) { return QFileInfo(path).isDir(); });
        if (!limitHit && !unwatched.isEmpty())
            return Walked::More;
    }
    return limitHit ? Walked::LimitReached : Walked::Done;
}

bool PortableWatchBackend::rootWatched() const
{
    return folders.contains(root);
}

void PortableWatchBackend::folderChanged(const QString &path)
{
    if (isCancelled())
        return;
    // An event may end the watch, and with it the last hold on this backend.
    const std::shared_ptr<WatchBackend> hold = shared_from_this();
    // A folder put in the root's place: the watch went with the old one.
    if (!QFileInfo(path).isDir() || (path == root && folderId(root) != rootId)) {
        if (path == root) {
            events.rootGone();
            return;
        }
        forgetTree(path);
        events.fileChanged(Change::Other, path);
        return;
    }
    const Listing listing = list(path);
    if (folders.value(path) != listing.summary) {
        folders.insert(path, listing.summary);
        events.fileChanged(Change::Other, path);
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
            events.walkNeeded(folder);
    }
}

void PortableWatchBackend::forgetTree(const QString &path)
{
    QStringList dropped;
    if (folders.remove(path))
        dropped.append(path);
    const QString below = path + QLatin1Char('/');
    for (auto it = folders.lowerBound(below); it != folders.end() && it.key().startsWith(below);) {
        dropped.append(it.key());
        it = folders.erase(it);
    }
    unwatched.removeIf([&path, &below](const QString &folder) {
        return folder == path || folder.startsWith(below);
    });
    removeInTurns(watcher, dropped);
}
