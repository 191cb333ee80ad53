#pragma once

#include "library/TrackTable.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

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
    /** The records of the cache text @p text, or nothing when it is not in the layout. */
    static std::optional<QList<TrackTable::Record>> read(QByteArrayView text);

private:
    enum Field { Path, Artist, TrackArtist, Title, Album, Duration, MTime, Size, CTime, Unknown };
    /** What a reader's text is: a whole cache, its start up to an entry, or the rest. */
    enum class Part { Whole, Head, Tail };

    /** The offset of the first '{' at or after @p from that follows "}," and space, or -1. */
    static qsizetype entryStartAfter(QByteArrayView text, qsizetype from);

    explicit CacheLayoutReader(QByteArrayView text);
    std::optional<QList<TrackTable::Record>> records(Part part);

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
    const char *const end;
    QHash<QByteArrayView, QString> shared; ///< views into the text being read
};
