#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringView>

#include <mutex>
#include <vector>

/**
 * One library's records, laid out for the GUI thread to read and never
 * changed once built: a new library is a new table, built on a worker with
 * its path index and search layout, and put in place by swapping a pointer.
 * Tables are shared read-only between threads (a save serializes one while
 * the GUI reads it).
 */
class TrackTable {
public:
    /** What a record stores; file name, display text and search key are derived from it. */
    struct Record {
        QString path; ///< the local path, the record's identity
        QString artist; ///< album artist, or the track artist where the file names none
        QString title;
        QString album;
        QString trackArtist; ///< the track artist tag, where the file has one
        QString duration; ///< "m:ss" as read or cached
        qint64 mtime = -1; ///< the file's modification time in whole seconds, -1 unknown
        qint64 size = -1; ///< the file's size in bytes, -1 unknown
        qint64 ctime = -1; ///< the file's change time in milliseconds (FileState), -1 unknown
    };

    /**
     * Shares equal strings between records: artists, albums and lengths repeat
     * across a library, and one copy of each is enough.
     */
    class Interner {
    public:
        /** @p text, or an equal string handed out before. */
        QString operator()(const QString &text);
        /** Interns the repeated fields of @p record. */
        void intern(Record &record);

    private:
        QSet<QString> seen;
    };

    /** When a table lays out its search keys. */
    enum class Keys {
        Now, ///< while it is built
        Later, ///< at prepareSearch() or the first search, whichever comes first
    };

    /** An empty table. */
    TrackTable() = default;
    /**
     * A table of @p records in this order; builds the path index, and the
     * search layout unless @p keys says Later: a list to show first is not
     * kept waiting for a search nobody has typed yet.
     */
    explicit TrackTable(QList<Record> records, Keys keys = Keys::Now);
    TrackTable(const TrackTable &) = delete;
    TrackTable &operator=(const TrackTable &) = delete;

    int count() const;
    const Record &at(int row) const;
    const QList<Record> &records() const;

    /** The first row of the file at @p path, or -1. */
    int rowOf(const QString &path) const;
    /**
     * Makes @p path this table's copy of it, where a row has it: a library
     * read again is mostly the same text, and one copy serves both tables.
     * Safe on any thread.
     */
    void share(QString &path) const;
    /** share() for the path of @p record and each of its texts that its row here has the same. */
    void share(Record &record) const;
    /**
     * Lays out the search keys where they are not yet; a search on another
     * thread meanwhile waits for them. Safe on any thread.
     */
    void prepareSearch() const;
    /** Whether a path has more than one row (a cache written by an older build may list one twice).
     */
    bool hasDuplicatePaths() const;
    /** The search key of @p row: "artist title album fileName [trackArtist]" in searchForm(). */
    QStringView searchKey(int row) const;
    /**
     * The rows whose search key contains @p folded (already in searchForm()),
     * ascending. With @p within, only those rows (ascending) are looked at.
     */
    QList<int> search(QStringView folded, const QList<int> *within) const;

    /** The last part of @p path. */
    static QString fileName(const QString &path);
    /** The text the track list shows for @p record. */
    static QString displayName(const Record &record);
    /** The "artist title album fileName [trackArtist]" of @p record in searchForm(). */
    static QString searchKeyOf(const Record &record);
    /**
     * The form keys and queries are compared in: compatibility-decomposed (NFKD),
     * without accents and other non-spacing marks, case-folded. So "Café" in
     * either Unicode form, "CAFE" and "cafe" are the same, as are "ﬁ" and "fi".
     */
    static QString searchForm(QStringView text);

private:
    void indexPaths();
    /** Lays out keys and keyStarts; run once, through keysLaidOut. */
    void layOutKeys() const;
    static void appendSearchKey(QString &out, const Record &record);
    /** Appends searchForm(@p text) to @p out. */
    static void appendSearchForm(QString &out, QStringView text);
    /**
     * The rows from @p first up to @p last whose key holds @p folded; with
     * @p asked, only the rows from there up to @p askedEnd (ascending).
     */
    QList<int> searchRows(
        QStringView folded, int first, int last, const int *asked, const int *askedEnd) const;
    /** The offset of the first match of @p needle in keys at or after @p from, or -1. */
    qsizetype find(QStringView needle, qsizetype from, qsizetype end) const;

    QList<Record> rows;
    QHash<QString, int> pathRows;
    bool duplicates = false;
    // Every search key, one after another, each ended by a NUL; keyStarts[i]
    // is where row i's key begins, keyStarts[count] the buffer's end. Written
    // once under keysLaidOut, which every reader passes first.
    mutable std::once_flag keysLaidOut;
    mutable QString keys;
    mutable std::vector<qsizetype> keyStarts{0};
};

// Strings and numbers only: a growing list moves records with realloc.
Q_DECLARE_TYPEINFO(TrackTable::Record, Q_RELOCATABLE_TYPE);
