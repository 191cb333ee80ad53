#include "library/scan/FileState.h"

#include <QDateTime>
#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

FileState FileState::of(const QFileInfo &info)
{
    FileState state;
#ifdef Q_OS_UNIX
    // QFileInfo's own stat is as costly, but its modification time is a local
    // QDateTime, and glibc looks at /etc/localtime twice for each conversion.
    struct stat status;
    if (::stat(QFile::encodeName(info.filePath()).constData(), &status) != 0)
        return state;
    return of(status);
#else
    state.isFile = info.isFile();
    if (state.isFile) {
        state.mtime = info.lastModified().toSecsSinceEpoch();
        state.size = info.size();
    }
#endif
    return state;
}

#ifdef Q_OS_UNIX
FileState FileState::of(const struct stat &status)
{
    FileState state;
    if (!S_ISREG(status.st_mode))
        return state;
    state.isFile = true;
    state.mtime = qint64(status.st_mtime);
    state.size = qint64(status.st_size);
    state.ctime = qint64(status.st_ctim.tv_sec) * 1000 + status.st_ctim.tv_nsec / 1000000;
    return state;
}
#endif
