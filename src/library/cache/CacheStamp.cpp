#include "library/cache/CacheStamp.h"

#ifdef Q_OS_UNIX
#include <QFile>

#include <sys/stat.h>
#else
#include <QDateTime>
#include <QFileInfo>
#endif

CacheStamp CacheStamp::of(const QString &path)
{
    CacheStamp stamp;
#ifdef Q_OS_UNIX
    struct stat status;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0
        || !S_ISREG(status.st_mode))
        return stamp;
    stamp.size = qint64(status.st_size);
    stamp.modifiedNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    stamp.changedNs = qint64(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec;
    stamp.inode = quint64(status.st_ino);
#else
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return stamp;
    stamp.size = info.size();
    stamp.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    stamp.changedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1000000;
#endif
    stamp.file = true;
    return stamp;
}

bool CacheStamp::isFile() const
{
    return file;
}

bool CacheStamp::operator==(const CacheStamp &other) const
{
    return file == other.file && size == other.size && modifiedNs == other.modifiedNs
        && changedNs == other.changedNs && inode == other.inode;
}

bool CacheStamp::operator!=(const CacheStamp &other) const
{
    return !(*this == other);
}
