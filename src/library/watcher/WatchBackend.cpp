#include "library/watcher/WatchBackend.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

WatchBackend::WatchBackend(const QString &root, int limit, Events &events)
    : root(root)
    , limit(limit)
    , events(events)
{
}

void WatchBackend::cancel()
{
    cancelled = true;
    stopListening();
}

bool WatchBackend::isCancelled() const
{
    return cancelled;
}

bool WatchBackend::isMountPoint(const QString &path)
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

std::pair<quint64, quint64> WatchBackend::folderId(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode))
        return {quint64(status.st_dev), quint64(status.st_ino)};
#else
    Q_UNUSED(path);
#endif
    return {0, 0};
}
