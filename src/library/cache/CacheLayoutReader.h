#pragma once

#include "library/TrackTable.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <deque>
#include <optional>

class QFileDevice;

/**
 * Reads the library's cache in the layout TrackCache::write() writes, members
 * in any order and with any whitespace, straight into records: several times
 * faster than building a QJsonDocument first, and without its copy of every
 * string; a cache of a megabyte or more is read in two halves at once.
 * Anything else (other top-level members, nested values, duplicate or escaped
 * keys, numbers other than plain whole ones, control characters other than
 * tab and line breaks, invalid UTF-8) makes it give up, so that the caller can
 * let QJsonDocument read the text instead and what is accepted, and what it
 * reads as, stay QJsonDocument's.
 */
class CacheLayoutReader {
public:
    /**
     * The records of the cache text @p text, or nothing when it is not in the
     * layout; each shares its texts with @p inPlace (see TrackTable::share()).
     */
    static std::optional<QList<TrackTable::Record>> read(
        QByteArrayView text, const TrackTable *inPlace = nullptr);
    /**
     * read() of the open file @p file from its start, a piece at a time on
     * each half, so that the text is never all in memory.
     */
    static std::optional<QList<TrackTable::Record>> read(
        QFileDevice &file, const TrackTable *inPlace = nullptr);

    /** How much of a file one reader holds at a time, unless an entry is longer. */
    static constexpr qsizetype pieceSize = 256 << 10;

private:
    enum Field { Path, Artist, TrackArtist, Title, Album, Duration, MTime, Size, CTime, Unknown };
    /** What a reader's text is: a whole cache, its start up to an entry, or the rest. */
    enum class Part { Whole, Head, Tail };

    /**
     * The records of the bytes from @p from up to @p to of the file at
     * @p fileName, read as @p part, a piece at a time.
     */
    static std::optional<QList<TrackTable::Record>> readRange(
        const QString &fileName, qint64 from, qint64 to, Part part, const TrackTable *inPlace);
    /** Points the reader at @p text, keeping what it has shared. */
    void moveTo(QByteArrayView text);

    /** The offset of the first '{' at or after @p from that follows "}," and space, or -1. */
    static qsizetype entryStartAfter(QByteArrayView text, qsizetype from);

    CacheLayoutReader(QByteArrayView text, const TrackTable *inPlace);
    std::optional<QList<TrackTable::Record>> records(Part part);
    /** The rest of the text as @p part ends, appended to @p records; its start when @p opening. */
    bool rest(Part part, bool opening, QList<TrackTable::Record> &records);

    void skipSpace();
    /** Skips space and then @p c, if that is what comes. */
    bool take(char c);
    /** A member's key, plain ASCII without escapes, after space; a null view when there is none. */
    QByteArrayView key();
    static Field fieldOf(QByteArrayView name);
    /** One object of the tracks array, appended unless it has no path. */
    bool entry(QList<TrackTable::Record> &records);
    /** The value of @p field, stored in @p record; true, false and null read as empty. */
    bool member(Field field, TrackTable::Record &record);
    /** A string value into @p text (skipped when null); @p repeats shares equal ones. */
    bool string(QString *text, bool repeats);
    /** Passes over one UTF-8 sequence, false when it is not valid UTF-8. */
    bool skipUtf8();
    /** Decodes @p raw, which holds escapes and valid UTF-8, into @p text (when not null). */
    static bool unescape(QByteArrayView raw, QString *text);

    const char *at;
    const char *end;
    const TrackTable *const inPlace;
    QHash<QByteArrayView, QString> shared; ///< views into sharedText
    std::deque<QByteArray> sharedText; ///< the keys of shared, kept as the text moves on
};
