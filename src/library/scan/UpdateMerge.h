#pragma once

#include "library/TrackTable.h"
#include "library/scan/FileState.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

/**
 * The rule of the update scan, with no disk in it: given the records in place
 * and what the walk of the music folder found, which records stay, which are
 * read again, which files are new and which records are gone. The scanner
 * walks, looks at the records the walk did not find and reads the files; this
 * only decides.
 *
 * A record whose file's modification time or size differs from the recorded
 * one is read again and replaced in place; a record without them (an older
 * cache) is kept as it is and takes the file's; files not among the records
 * are appended in walk order. A record the walk did not find (a file outside
 * the folder, in an unreadable sub-folder) is kept while its path exists, and
 * judged by its file like the others; else it is gone. The rest keep their order.
 */
class UpdateMerge {
public:
    using Record = TrackTable::Record;

    /** An audio file as the walk found it. */
    struct Found {
        QString path;
        FileState state;
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
    };

    /** The update of @p base by @p walked, the audio files the walk found in walk order. */
    UpdateMerge(const TrackTable &base, const QList<Found> &walked);

    /** The paths of records the walk did not find, each once, in library order. */
    QStringList unwalked() const;

    /**
     * The merge, where @p elsewhere holds the state of each unwalked() path that
     * still exists; a path it lacks is gone.
     */
    Result result(const QHash<QString, FileState> &elsewhere) const;

private:
    const TrackTable &base;
    QHash<QString, FileState> seen; ///< the walked files of records in place
    QList<Found> fresh; ///< the walked files of no record, in walk order
};
