#pragma once

#include <QFileInfo>
#include <QString>
#include <QtGlobal>

#ifdef Q_OS_UNIX
struct stat;
#endif

/** What the library records of a file's state to notice that it changed. */
struct FileState {
    bool isFile = false; ///< a regular file, or a link to one
    qint64 mtime = -1; ///< modification time in whole seconds, -1 unless a regular file
    qint64 size = -1; ///< size in bytes, -1 unless a regular file
    /**
     * The inode's change time in milliseconds, -1 where the system keeps none.
     * Any write sets it, and no program can set it back: a tag editor that
     * keeps the size and restores the modification time still changes it.
     */
    qint64 ctime = -1;

    /** The state of the file @p info describes, with one look at the file. Safe on any thread. */
    static FileState of(const QFileInfo &info);
#ifdef Q_OS_UNIX
    /** The state of a file whose stat() (links followed) gave @p status. */
    static FileState of(const struct stat &status);
#endif

    bool operator==(const FileState &other) const
    {
        return isFile == other.isFile && mtime == other.mtime && size == other.size
            && ctime == other.ctime;
    }
    bool operator!=(const FileState &other) const
    {
        return !(*this == other);
    }
};
