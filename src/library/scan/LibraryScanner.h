#pragma once

#include "library/TrackTable.h"
#include "library/scan/FileState.h"
#include "library/scan/MusicFiles.h"
#include "library/scan/UpdateMerge.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>

namespace TagLib {
class FileRef;
}

/**
 * One scan of the music folder, run on a worker: the walk (on a thread of its
 * own, so the reads of the tags need not wait for it) and the tag reading on
 * every core, each record into its place in walk order, into a whole new
 * TrackTable. An update merges what the walk
 * found into the records in place as UpdateMerge says. A scan that is
 * overtaken (a newer one started) stops within one entry of the walk or one
 * file read, and comes to nothing.
 */
class LibraryScanner {
public:
    /** How a scan treats the records in place. */
    enum class Kind {
        /** Every audio file is read, in the order the walk finds them. */
        Full,
        /**
         * Against the records in place when the scan starts, as UpdateMerge
         * says: files not among them are read and appended in walk order; a
         * record whose file's modification time, size or change time differs
         * from the recorded one is read again and replaced in place; a record
         * of a renamed file stays in its row under the new name; a record the
         * walk does not find is dropped. The rest keep their order.
         */
        Update,
    };

    /**
     * A scan's result: the new table (none when overtaken), whether the folder
     * was gone, the records an update found again under a new path (old
     * path to new), and what the walk left out for names that are not valid
     * UTF-8.
     */
    struct Outcome {
        std::shared_ptr<const TrackTable> table;
        bool folderGone = false;
        QHash<QString, QString> moved;
        MusicFiles::SkippedNames skipped;
        bool scoped = false; ///< only part of the folder was walked: skipped counts only that part
    };

    /**
     * A scanner that asks @p overtaken between entries and reads, and gives
     * @p progress (may be empty) the running count of files read every 100
     * files, in order, and once at the end. Both are called on the scanning
     * threads, @p progress one call at a time. Tags are read on @p readers
     * threads, by default as many as the machine has cores.
     */
    LibraryScanner(
        std::function<bool()> overtaken, std::function<void(int)> progress, int readers = 0);

    /**
     * Scans @p folder as @p kind says against @p base. A full scan with
     * @p skip keeps the records of @p base and appends the files whose path
     * @p skip does not hold. A folder removed, renamed or unmounted walks as
     * an empty one and sets folderGone; an update of it keeps @p base as it is.
     * An update that changes nothing hands back @p base itself; @p moves are
     * the renames below @p folder since @p base was read, in their order. An
     * update with a @p scope (files and folders below @p folder, where the
     * folder watcher saw changes) walks only those, as a walk of the whole
     * folder would find them, and keeps every other record as it is.
     */
    Outcome scan(const QString &folder, Kind kind, const std::shared_ptr<const TrackTable> &base,
        const QSet<QString> *skip = nullptr, const QList<UpdateMerge::Move> &moves = {},
        QStringList scope = {});

    /**
     * Reads album artist, title, album and length of the file at @p path, which
     * @p state describes. Anything but a regular file, or a file that cannot be
     * read, gives empty tags and "0:00". Safe on any thread.
     */
    static TrackTable::Record read(const QString &path, const FileState &state);
    /** The same from @p ref, the file opened already (with its audio properties); safe anywhere. */
    static TrackTable::Record read(
        const QString &path, const FileState &state, const TagLib::FileRef &ref);

private:
    /** A file to read and the record it fills. */
    struct Job {
        QString path;
        FileState state;
        TrackTable::Record *into = nullptr;
        bool lookAtFile = false; ///< the state is to be taken first
    };
    /**
     * Reads on every reader thread (this one among them) what @p next hands
     * out, until it hands out nothing (it may wait for more) or the scan is
     * overtaken; @p next is called from all of them at once. False when overtaken.
     */
    bool readAll(const std::function<bool(Job &)> &next);
    /** The full scan: the walk on a thread of its own, the reads in walk order behind it. */
    bool readWalk(const QString &folder, const QSet<QString> *skip,
        QList<TrackTable::Record> &records, MusicFiles::SkippedNames &skippedNames);
    /**
     * The audio files at or below each path of @p scope into @p walked, in
     * walk order, each path taken as the walk of its folder would take it.
     * False when overtaken.
     */
    bool walkScope(const QStringList &scope, QList<UpdateMerge::Found> &walked);
    /** Every audio file below @p folder into @p walked, in walk order. False when overtaken. */
    bool walkAll(const QString &folder, QList<UpdateMerge::Found> &walked,
        MusicFiles::SkippedNames &skippedNames);
    /**
     * Merges @p walked and @p moves into @p base and reads what the merge asks
     * for into @p records; @p same tells that nothing changed, @p moved the
     * records found again under a new path. False when overtaken.
     */
    bool update(const TrackTable &base, const QList<UpdateMerge::Found> &walked,
        const QList<UpdateMerge::Move> &moves, const QStringList &scope,
        QList<TrackTable::Record> &records, bool &same, QHash<QString, QString> &moved);
    /** Counts one file read, reporting every 100th. */
    void counted();
    /** @p path as the records in place hold it, where they have it: one copy serves both. */
    void share(QString &path) const;
    /** share() for every text of @p record that is the same in the records in place. */
    void share(TrackTable::Record &record) const;

    std::function<bool()> overtaken;
    std::function<void(int)> progress;
    int readers;
    /** Guards count, so that progress comes in order; held apart so the scanner moves. */
    std::unique_ptr<std::mutex> counting = std::make_unique<std::mutex>();
    int count = 0;
    /**
     * The records in place while a scan runs: a library read again is mostly
     * the same text, and two copies of it at once are the scan's peak memory.
     */
    const TrackTable *inPlace = nullptr;
};
