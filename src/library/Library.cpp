#include "library/Library.h"

#include "library/MemoryTrim.h"
#include "library/Playlist.h"
#include "library/cache/TrackCache.h"
#include "library/scan/MusicFiles.h"
#include "library/watcher/FolderWatcher.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace {

bool writeCache(const QString &path, const std::shared_ptr<const TrackTable> &table)
{
    // No cache of nothing is left in a folder that had none: an empty folder
    // may be a drive's mount point, and a cache written there would be found
    // again in place of the drive's own whenever the drive is not mounted.
    // One that is there is emptied, so that it lists no files gone since.
    if (table->count() == 0 && !QFileInfo::exists(path))
        return true;
    return TrackCache::write(path, table->records());
}

} // namespace

Library::Library(QObject *parent)
    : QObject(parent)
    , playlist(new Playlist(this))
    , watcher(new FolderWatcher(this))
    , saving(new QFutureWatcher<Saved>(this))
{
    MemoryTrim::setUp();
    saver.setMaxThreadCount(1);
    connect(watcher, &FolderWatcher::changed, this, &Library::changesSeen);
    connect(watcher, &FolderWatcher::folderBack, this, &Library::folderBack);
    connect(watcher, &FolderWatcher::folderGone, this, &Library::folderGone);
    connect(watcher, &FolderWatcher::limitReached, this, [this] {
        if (std::exchange(watchLimitTold, true))
            return;
        emit status(tr("Too many folders to watch: changes on disk show after \"Update "
                       "playlist\" or the next start."),
            10, Status::Problem);
    });
    connect(saving, &QFutureWatcher<Saved>::finished, this, [this] {
        saveRunning = false;
        MemoryTrim::afterSave(saver);
        const Saved saved = saving->result();
        saveFailed = !saved.ok;
        stamped = saved.ok ? saved.stamp : CacheStamp();
        stampedTable = savingTable;
        stampedPath = saved.ok ? savingPath : QString();
        if (saveFailed)
            emit status(tr("Failed to save playlist cache."), 10, Status::Problem);
        if (waitingSave)
            startSave(waitingSavePath, std::exchange(waitingSave, nullptr));
        else if (std::exchange(readAfterSave, false))
            readCache();
    });
}

Library::~Library()
{
    // Quitting must not cut a save short, nor drop the library it was to be
    // followed by.
    saving->waitForFinished();
    if (waitingSave)
        writeCache(waitingSavePath, waitingSave);
}

Playlist *Library::tracks() const
{
    return playlist;
}

QString Library::folder() const
{
    return folderPath;
}

QString Library::cachePath(const QString &folder)
{
    return folder + QStringLiteral("/playlist_cache.json");
}

FolderWatcher *Library::folderWatcher() const
{
    return watcher;
}

void Library::setFolder(const QString &path)
{
    folderPath = path;
    hasLibrary = false;
    watcher->stop();
    watchedFolder.clear();
    watchLimitTold = false;
    rescan();
}

void Library::restoreFolder(const QString &path)
{
    folderPath = path;
    hasLibrary = false;
    watcher->stop();
    watchedFolder.clear();
    watchLimitTold = false;
}

void Library::setWatching(bool on)
{
    watching = on;
    if (!on) {
        watcher->stop();
        watchedFolder.clear();
    }
}

void Library::watchFolder()
{
    // Started before the folder is read, so that what changes while it is
    // read comes as a batch after it.
    if (!watching || watchedFolder == folderPath)
        return;
    watchedFolder = folderPath;
    watcher->watch(folderPath);
}

void Library::rescan()
{
    // With no folder chosen there is nothing to scan, and the cache would
    // land in the file-system root.
    if (folderPath.isEmpty())
        return;
    // Told before the views empty their list for a scan that would find nothing;
    // read once it is there.
    if (!folderThere()) {
        watchFolder();
        return;
    }
    emit scanStarted();
    emit status(tr("Refreshing playlist..."), 0);
    watchFolder();
    scanInFull();
}

void Library::scanInFull()
{
    scanning = true;
    readAfterSave = false;
    // Progress calls are posted to the application object; this object may be
    // gone by the time one arrives.
    const QPointer<Library> self(this);
    playlist->scanFolder(
        folderPath, Playlist::ScanKind::Full,
        [self](int found) {
            if (self)
                emit self->status(tr("%1 tracks found...").arg(found), 0);
        },
        [this, folder = folderPath](bool done) {
            if (done) {
                hasLibrary = true;
                saveCache(folder);
                emit installed(Install::Scan);
            }
            scanEnded(done);
        });
}

void Library::loadCacheAndCheck()
{
    if (folderPath.isEmpty())
        return;
    // At once: what the line said before is no longer so.
    emit status(tr("Loading playlist..."), 0);
    scanning = true;
    // The file on disk is older than the save still being written.
    if (saveRunning || waitingSave) {
        readAfterSave = true;
        return;
    }
    readCache();
}

void Library::readCache()
{
    scanning = true;
    const QString path = cachePath(folderPath);
    // The file as this library last wrote or read it, with that table still
    // in place: read again, it would give the very same records.
    const CacheStamp stamp = CacheStamp::of(path);
    std::shared_ptr<const TrackTable> holding = playlist->table();
    // Compared by owner: a table locked here might be freed here, on the GUI thread.
    const bool same = !stampedTable.owner_before(holding) && !holding.owner_before(stampedTable);
    if (!stamp.isFile() || stamp != stamped || path != stampedPath || !same)
        holding.reset();
    playlist->readCache(
        path,
        [this, path, stamp](bool loaded) {
            if (!loaded) {
                // As rescan() does, but the folder was looked at by the read.
                if (!QFileInfo(folderPath).isDir()) {
                    // A drive or share not mounted yet: read once it is there.
                    watchFolder();
                    scanEnded(false);
                    return;
                }
                emit scanStarted();
                emit status(tr("Refreshing playlist..."), 0);
                watchFolder();
                scanInFull();
                return;
            }
            hasLibrary = true;
            // Taken before the read: a file changed during it is read again next time.
            stampedPath = path;
            stamped = stamp;
            stampedTable = playlist->table();
            emit installed(Install::Cache);
            emit status(tr("Checking for new tracks..."), 5);
            // Only now: adding a watch to every folder would slow the read of the
            // cache that the list waits for, and the scan that follows finds
            // whatever changed before.
            if (QFileInfo(folderPath).isDir())
                watchFolder();
            // The cache may be older than anything the watcher saw.
            wholeCheckAsked = true;
            scanForChanges();
        },
        std::move(holding));
}

void Library::checkForChanges()
{
    wholeCheckAsked = true;
    changesSeen();
}

void Library::changesSeen()
{
    if (folderPath.isEmpty())
        return;
    if (scanning) {
        checkAsked = true;
        return;
    }
    if (!hasLibrary)
        return;
    scanForChanges();
}

void Library::scanForChanges()
{
    scanning = true;
    QList<UpdateMerge::Move> moves;
    for (auto &[from, to] : watcher->takeMoves())
        moves.append({std::move(from), std::move(to)});
    // Where the watcher saw every change, only those places are read again;
    // asked by anyone else, or unsure, the whole folder is.
    QStringList scope = watcher->takeChangedPaths();
    if (std::exchange(wholeCheckAsked, false))
        scope.clear();
    // An update that finds nothing changed keeps the very table it started
    // from; the cache on disk then says the same, and a read-only folder
    // would fail the save at every start. Unless the last save failed: then
    // the cache on disk is older than the list and is written again. Only the
    // table's address is kept: a reference would free the old table here
    // rather than on a worker.
    playlist->scanFolder(
        folderPath, Playlist::ScanKind::Update, {},
        [this, folder = folderPath, before = playlist->table().get()](bool done) {
            if (done) {
                if (playlist->table().get() != before || saveFailed)
                    saveCache(folder);
                emit installed(Install::Update);
            }
            scanEnded(done);
        },
        std::move(moves), std::move(scope));
}

void Library::folderBack()
{
    // A folder that was not there, or held nothing (an empty mount point that
    // a drive is mounted on now), is read as at a start: its cache first.
    if (!hasLibrary || playlist->count() == 0)
        loadCacheAndCheck();
    else if (QDir(folderPath).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        // An empty folder in place of the library's: the mount point a drive
        // left behind. The list stays, as for a folder not there, until files
        // show up in it.
        folderGone();
    else
        checkForChanges();
}

void Library::scanEnded(bool installed)
{
    scanning = false;
    if (!installed)
        folderGone();
    if (std::exchange(checkAsked, false))
        changesSeen();
}

bool Library::folderThere()
{
    if (QFileInfo(folderPath).isDir())
        return true;
    folderGone();
    return false;
}

void Library::folderGone()
{
    emit status(tr("The music folder is gone: %1").arg(folderPath), 0);
}

bool Library::busy() const
{
    return scanning || readAfterSave || saveRunning || waitingSave;
}

void Library::saveCache(const QString &folder)
{
    const std::shared_ptr<const TrackTable> snapshot = playlist->table();
    if (saveRunning) {
        // One save at a time; a library installed meanwhile replaces the one
        // that waits, as only the newest matters.
        waitingSave = snapshot;
        waitingSavePath = cachePath(folder);
        return;
    }
    startSave(cachePath(folder), snapshot);
}

void Library::startSave(const QString &path, std::shared_ptr<const TrackTable> snapshot)
{
    saveRunning = true;
    savingTable = snapshot;
    savingPath = path;
    saving->setFuture(QtConcurrent::run(&saver, [path, snapshot] {
        // The stamp right after the write: a change by anyone after it changes the stamp.
        const bool ok = writeCache(path, snapshot);
        return Saved{ok, ok ? CacheStamp::of(path) : CacheStamp()};
    }));
}

bool Library::cacheSaveFailed() const
{
    return saveFailed;
}

QString Library::readyMessage(Install how) const
{
    // A failed write must stay what the user sees: the list's ready message
    // would hide it at once.
    QString message = saveFailed ? tr("Failed to save playlist cache.")
        : how == Install::Scan   ? tr("Playlist refreshed.")
                                 : tr("Playlist updated.");
    // Files the list cannot show are told with every scan that leaves them out.
    const QString skipped = MusicFiles::skippedText(playlist->skippedNames());
    if (!skipped.isEmpty())
        message += QLatin1Char(' ') + skipped + QLatin1Char('.');
    return message;
}

int Library::readyTimeout() const
{
    return saveFailed || playlist->skippedNames().any() ? 10 : 5;
}
