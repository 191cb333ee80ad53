#include "Library.h"

#include "Playlist.h"

#include <QPointer>

Library::Library(QObject *parent)
    : QObject(parent)
    , playlist(new Playlist(this))
{
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

void Library::setFolder(const QString &path)
{
    folderPath = path;
    refresh();
}

void Library::restoreFolder(const QString &path)
{
    folderPath = path;
}

void Library::refresh()
{
    // With no folder chosen there is nothing to scan, and the cache would
    // land in the file-system root.
    if (folderPath.isEmpty())
        return;
    emit scanStarted();
    emit status(tr("Refreshing playlist..."), 0);
    // Progress calls are posted to the application object; this object may be
    // gone by the time one arrives.
    const QPointer<Library> self(this);
    playlist->loadFromFolder(
        folderPath,
        [self](int found) {
            if (self)
                emit self->status(tr("%1 tracks found...").arg(found), 0);
        },
        [this] {
            saveCache();
            emit installed(Install::Scan);
        });
}

void Library::update()
{
    if (folderPath.isEmpty())
        return;
    if (!playlist->loadFromCache(cachePath(folderPath))) {
        refresh();
        return;
    }
    emit installed(Install::Cache);
    emit status(tr("Checking for new tracks..."), 5);
    playlist->updateFromFolder(folderPath, playlist->knownFilePaths(), [this] {
        saveCache();
        emit installed(Install::Update);
    });
}

void Library::saveCache()
{
    saveFailed = !playlist->saveToCache(cachePath(folderPath));
    if (saveFailed)
        emit status(tr("Failed to save playlist cache."), 10);
}

bool Library::cacheSaveFailed() const
{
    return saveFailed;
}

QString Library::readyMessage(Install how) const
{
    // The list is shown after the cache was written; its message would hide
    // a failed write at once, and the failure is what the user must see.
    if (saveFailed)
        return tr("Failed to save playlist cache.");
    return how == Install::Scan ? tr("Playlist refreshed.") : tr("Playlist updated.");
}

int Library::readyTimeout() const
{
    return saveFailed ? 10 : 5;
}
