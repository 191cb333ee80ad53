#pragma once

#include "library/TrackTable.h"
#include "library/scan/FileState.h"
#include "library/scan/MusicFiles.h"
#include "library/scan/UpdateMerge.h"

#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

/**
 * One scan of the music folder, run on a worker: the walk (on a thread of its
 * own, so the reads of the tags need not wait for it) and the tag reading,
 * in walk order, into a whole new TrackTable. An update merges what the walk
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
         * Against the records in place when the scan starts: files not among
         * them are read and appended in walk order; a record whose file's
         * modification time or size differs from the recorded one is read
         * again and replaced in place; a record without them (an older cache)
         * is kept as it is and takes the file's; a record whose file is gone
         * is dropped. The rest keep their order.
         */
        Update,
    };

    /**
     * A scan's result: the new table (none when overtaken), whether the folder
     * was gone, and what the walk left out for names that are not valid UTF-8.
     */
    struct Outcome {
        std::shared_ptr<const TrackTable> table;
        bool folderGone = false;
        MusicFiles::SkippedNames skipped;
    };

    /**
     * A scanner that asks @p overtaken between entries and reads, and gives
     * @p progress (may be empty) the running count of files read every 100
     * files and once at the end. Both are called on the scanning threads.
     */
    LibraryScanner(std::function<bool()> overtaken, std::function<void(int)> progress);

    /**
     * Scans @p folder as @p kind says against @p base. A full scan with
     * @p skip keeps the records of @p base and appends the files whose path
     * @p skip does not hold. A folder removed, renamed or unmounted walks as
     * an empty one and sets folderGone; an update of it keeps @p base as it is.
     * An update that changes nothing hands back @p base itself.
     */
    Outcome scan(const QString &folder, Kind kind, const std::shared_ptr<const TrackTable> &base,
        const QSet<QString> *skip = nullptr);

    /**
     * Reads album artist, title, album and length of the file at @p path, which
     * @p state describes. Anything but a regular file, or a file that cannot be
     * read, gives empty tags and "0:00". Safe on any thread.
     */
    static TrackTable::Record read(const QString &path, const FileState &state);

private:
    /**
     * Walks @p folder on a thread of its own, handing each audio file found
     * there that @p skip does not hold to @p take here, in walk order, and
     * counting into @p skippedNames what it cannot name. False when overtaken
     * before the end.
     */
    bool walkAhead(const QString &folder, const QSet<QString> *skip,
        const std::function<void(const UpdateMerge::Found &)> &take,
        MusicFiles::SkippedNames &skippedNames);
    /**
     * Merges @p walked into @p base and reads what the merge asks for into
     * @p records; @p same tells that nothing changed. False when overtaken.
     */
    bool update(const TrackTable &base, const QList<UpdateMerge::Found> &walked,
        QList<TrackTable::Record> &records, bool &same);
    /** Counts one file read, reporting every 100th. */
    void counted();

    std::function<bool()> overtaken;
    std::function<void(int)> progress;
    int count = 0;
};
