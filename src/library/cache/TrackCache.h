#pragma once

#include "library/TrackTable.h"

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

/**
 * The library's cache file: a JSON object whose "tracks" array holds one
 * object per record with "path", "artist", "title", "album", "duration", the
 * optional "trackArtist", and the file's "mtime" (whole seconds since the
 * epoch), "size" (bytes) and "ctime" (its change time, milliseconds since the
 * epoch) where known. Readers look keys up by name and skip
 * the ones they do not know, so older and newer builds read each other's
 * caches. Safe on any thread.
 */
class TrackCache {
public:
    /**
     * The records of the cache at @p path in file order, their repeated strings
     * shared; entries without a path are skipped, other fields missing or of
     * another type read as empty (or unknown). No file is looked at but the
     * cache. Nothing when the cache is not a regular file, cannot be read or
     * holds no JSON object.
     * Where @p inPlace has a record's path, the record shares its equal texts
     * (see TrackTable::share()).
     */
    static std::optional<QList<TrackTable::Record>> read(
        const QString &path, const TrackTable *inPlace = nullptr);

    /**
     * Writes the cache text of @p records to @p path, atomically where the
     * folder takes a new file, else in place over an existing writable file.
     * Returns false if it could not be written in full; the file at @p path
     * is then as it was, byte for byte.
     */
    static bool write(const QString &path, const QList<TrackTable::Record> &records);

private:
    /** Writes the cache text of @p records to @p file; false when a write fails. */
    static bool writeText(QFileDevice &file, const QList<TrackTable::Record> &records);
};
