#pragma once

#include <QString>

/**
 * What a look at a cache file tells apart: a rewrite in place or by a rename
 * changes it, even within the same second at the same size.
 */
class CacheStamp {
public:
    /** No file. */
    CacheStamp() = default;
    /** The stamp of the file at @p path now; isFile() is false when there is no regular file. */
    static CacheStamp of(const QString &path);

    bool isFile() const;
    bool operator==(const CacheStamp &other) const;
    bool operator!=(const CacheStamp &other) const;

private:
    bool file = false;
    qint64 size = -1;
    qint64 modifiedNs = -1;
    qint64 changedNs = -1;
    quint64 inode = 0;
};
