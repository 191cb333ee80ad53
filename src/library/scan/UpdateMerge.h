#pragma once

#include "library/TrackTable.h"
#include "library/scan/FileState.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

/**
 * The rule of the update scan, with no disk in it: given the records in place
 * and what the walk of the music folder found, which records stay, which are
 * read again, which files are new and which records are gone. The scanner
 * walks and reads the files; this only decides.
 *
 * The library holds each audio file the walk found, once: a record the walk
 * did not find is gone, even where its path still leads to a file (a cache
 * that lists another copy of the music, the old spelling of a name whose case
 * changed on a drive that ignores case), and a second record of a path is
 * dropped. A record whose file was renamed, as the moves say, stays in its
 * row under the new path. A record whose file's modification time, size or
 * change time differs from the recorded one is read again and replaced in
 * place; one without them (an older cache) is kept as it is and takes the
 * file's; files not among the records are appended in walk order. The rest
 * keep their order.
 *
 * A merge within a scope (the paths the folder watcher saw change) holds the
 * walk of those paths only: records at or below them follow the rule above,
 * all others stay as they are.
 */
class UpdateMerge {
public:
    using Record = TrackTable::Record;

    /** An audio file as the walk found it. */
    struct Found {
        QString path;
        FileState state;
    };

    /** A file or folder renamed below the music folder, as the folder watcher saw it. */
    struct Move {
        QString from;
        QString to;
    };

    /** A file to read, once, and the rows of the new library its record fills. */
    struct Read {
        QString path;
        FileState state;
        QList<int> rows;
    };

    /** What the update comes to. */
    struct Result {
        /** Nothing changed: the records in place stay as they are, nothing is installed. */
        bool same = false;
        /** The new library; a row that is to be read holds only its path until then. */
        QList<Record> records;
        /** The files to read, each path once: changed ones in library order, then new ones. */
        QList<Read> reads;
        /** The paths of the records dropped, in library order. */
        QStringList gone;
        /** The records found again under a new path: old path to new. */
        QHash<QString, QString> moved;
    };

    /**
     * The update of @p base by @p walked, the audio files the walk found in walk
     * order, after @p moves, in the order they happened. With a @p scope, the
     * walk covered only the files and folders it names (see inScope()).
     */
    UpdateMerge(const TrackTable &base, const QList<Found> &walked, const QList<Move> &moves = {},
        const QStringList &scope = {});

    /** The merge. */
    Result result() const;

    /** Where @p path is after @p moves, in their order: itself when none moved it. */
    static QString movedPath(QString path, const QList<Move> &moves);

    /** Whether @p path is one of @p scope or lies below one; any path is in an empty scope. */
    static bool inScope(const QString &path, const QStringList &scope);

private:
    const TrackTable &base;
    // A copy (shared, so cheap): the default argument is a temporary.
    const QList<Move> moves;
    const QStringList scope;
    // The state of the walked file of each record in place, by row: of the
    // first row of its path where the table lists a path twice.
    std::vector<FileState> seenState;
    std::vector<bool> seenRow;
    QList<Found> fresh; ///< the walked files of no record, in walk order
};
