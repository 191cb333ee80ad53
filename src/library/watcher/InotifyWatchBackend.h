#pragma once

#include "library/watcher/WatchBackend.h"

#include <QHash>
#include <QMap>
#include <QMutex>

class QSocketNotifier;

/**
 * Watches through Linux's inotify: one watch per folder, added on the worker,
 * events read as they come. A file opened for writing tells when it is
 * written to and when it is closed, so the watcher can tell a reader that
 * opened it read-write from a writer.
 */
class InotifyWatchBackend final : public WatchBackend {
public:
    InotifyWatchBackend(
        const QString &root, int limit, Events &events, QObject *context, QThreadPool &worker);
    ~InotifyWatchBackend() override;

    bool walk(const QString &top) override;
    Walked walked(bool limitHit) override;
    bool rootWatched() const override;

private:
    enum class Added { Watched, Failed, Full };

    void stopListening() override;
    Added addWatch(const QString &dir);
    void remember(int watch, const QString &path);
    void forget(int watch);
    void readEvents();
    void handle(int watch, quint32 mask, quint32 cookie, const QString &name);
    void forgetTree(const QString &path);

    QThreadPool &worker;
    QSocketNotifier *notifier = nullptr;
    int fd = -1;
    int rootWatch = -1;
    // Guards what the walker and the watcher's thread both touch.
    QMutex mutex;
    // Both ways between folders and their watches. Sorted by path, a folder
    // and everything below it are one range.
    QHash<int, QString> paths;
    QMap<QString, int> folders;
    // The old paths of the renames under way, by cookie (watcher's thread only).
    QList<std::pair<quint32, QString>> movesFrom;
};
