#pragma once

#include "library/watcher/WatchBackend.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QPointer>
#include <QStringList>

class QFileSystemWatcher;

/**
 * Watches through QFileSystemWatcher, on any system. It says only that a
 * folder changed, so each folder keeps a summary of what it shows the
 * library (its audio files with their sizes and times, its folders), and a
 * change that leaves the summary as it was (the cache being saved) is none.
 * A file rewritten in place keeps its folder as it was until something else
 * changes there, and a renamed root is noticed only at the watcher's next
 * check.
 */
class PortableWatchBackend final : public WatchBackend {
public:
    PortableWatchBackend(const QString &root, int limit, Events &events, QObject *context);

    bool walk(const QString &top) override;
    Walked walked(bool limitHit) override;
    bool rootWatched() const override;

private:
    void stopListening() override;
    void folderChanged(const QString &path);
    void forgetTree(const QString &path);

    QPointer<QFileSystemWatcher> watcher;
    const std::pair<quint64, quint64> rootId;
    // Guards what the walker and the watcher's thread both touch.
    QMutex mutex;
    // Each folder with its summary, to tell a change that matters from one that does not.
    QMap<QString, size_t> folders;
    QList<QPair<QString, size_t>> found; // walked, not yet taken by the watcher's thread
    QStringList unwatched; // taken, not yet watched
};
