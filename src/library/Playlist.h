#pragma once

#include "library/TrackTable.h"
#include "library/scan/LibraryScanner.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>

/**
 * The in-memory music library: one record per audio file below the music
 * folder, in the order the folder scan found them (an update appends new
 * ones). Row i of the main track list is always record i. The records are a
 * read-only TrackTable, built on the thread pool (by a LibraryScanner for a
 * scan) and swapped in whole; every function here runs in the GUI thread
 * unless it says otherwise.
 */
class Playlist : public QObject {
    Q_OBJECT

public:
    /** One audio file with every field filled, as callers get it (the store is TrackTable). */
    struct TrackInfo {
        QString artist; ///< album artist, or the track artist where the file names none
        QString title;
        QString album;
        QString trackArtist; ///< the track artist tag; in the cache where the file has one
        QString duration; ///< "m:ss", minutes not wrapped into hours
        QUrl url; ///< local-file URL, the record's identity
        QString fileName;
        QString displayName;
        QString
            searchKey; ///< "artist title album fileName trackArtist" in TrackTable::searchForm()
    };

    /** How a scan of the music folder treats the records in place; see LibraryScanner::Kind. */
    using ScanKind = LibraryScanner::Kind;

    explicit Playlist(QObject *parent = nullptr);
    ~Playlist() override;

    /**
     * Scans @p folderPath on the global thread pool and replaces the library with
     * the result. @p onProgress gets the running count every 100 files and once at
     * the end; @p onFinished runs after the library was replaced. Both run in the
     * GUI thread and may be empty. A scan that a newer scan or install has
     * overtaken is dropped.
     */
    void loadFromFolder(const QString &folderPath, std::function<void(int)> onProgress,
        std::function<void()> onFinished);

    /**
     * Scans @p folderPath for audio files whose path is not in @p knownFiles and
     * appends them to the records in place when it starts; @p onDone runs in the
     * GUI thread afterwards.
     */
    void updateFromFolder(
        const QString &folderPath, const QStringList &knownFiles, std::function<void()> onDone);

    /**
     * Scans @p folderPath as @p kind says on the global thread pool and installs
     * the result, which is prepared there in full (records, path index, search
     * layout). Unlike loadFromFolder(), a folder that is not an existing
     * directory once the walk is done installs nothing. @p onDone gets whether
     * the result was installed; a scan overtaken by a newer scan or install
     * calls nothing. Progress and @p onDone run in the GUI thread and may be empty.
     * An update takes @p moves, the renames below the folder since the records
     * in place were read, in their order (see UpdateMerge), and may be kept to
     * a @p scope (see LibraryScanner::scan()).
     */
    void scanFolder(const QString &folderPath, ScanKind kind, std::function<void(int)> onProgress,
        std::function<void(bool installed)> onDone, QList<UpdateMerge::Move> moves = {},
        QStringList scope = {});

    /**
     * Writes the library as JSON to @p cachePath, atomically where the folder takes
     * a new file, else in place over an existing writable file. Returns false if it
     * could not be written. See TrackCache for the format.
     */
    bool saveToCache(const QString &cachePath) const;

    /**
     * Replaces the library with the records of the JSON cache at @p cachePath.
     * Their files are not looked at: the update scan that follows a load finds
     * the ones that are gone. Returns false, leaving the library untouched, when
     * the file cannot be read or is not a JSON object. Overtakes running scans.
     */
    bool loadFromCache(const QString &cachePath);

    /**
     * loadFromCache() with the file read and the library prepared on the global
     * thread pool; @p onDone gets whether it was installed, in the GUI thread.
     * A read overtaken by a newer scan or install calls nothing. With
     * @p holding, a table the caller knows the file to hold, that one is
     * installed in the same way without reading the file.
     */
    void readCache(const QString &cachePath, std::function<void(bool loaded)> onDone,
        std::shared_ptr<const TrackTable> holding = nullptr);

    /** Rebuilds the path index and the search layout of the records in place. */
    void rebuildSearchIndex();

    /**
     * The audio files and folders that the walk of the last scan installed left
     * out because their names are not valid UTF-8 (none before a scan).
     */
    MusicFiles::SkippedNames skippedNames() const;

    /** The records as they are now, shared read-only (a save writes them on a worker). */
    std::shared_ptr<const TrackTable> table() const;

    /**
     * The records that the last install found again under a new path, old path
     * to new: the files an update saw renamed. Empty after any other install.
     */
    QHash<QString, QString> lastMoves() const;

    /** The local path of every record, in library order. */
    QStringList knownFilePaths() const;

    /** The display text of every record, in library order. */
    QStringList getList() const;

    /** The display text of record @p i as getList() gives it, or an empty string when out of range.
     */
    QString textAt(int i) const;

    /** The number of records. */
    int count() const;

    /** The URL of record @p i, or an empty URL when @p i is out of range. */
    QUrl at(int i) const;

    /** The index of the first record with @p url, or -1. */
    int indexOf(const QUrl &url) const;

    /** The local path of record @p i, or an empty string when @p i is out of range. */
    QString pathAt(int i) const;

    /** The row of the first record of the file at @p path, or -1. */
    int indexOfPath(const QString &path) const;

    /** The duration text of record @p i, or an empty string when @p i is out of range. */
    QString durationAt(int i) const;

    /** Record @p i with every field filled, or an empty record when @p i is out of range. */
    TrackInfo track(int i) const;

    /** The form queries and search keys are compared in: trimmed, TrackTable::searchForm(). */
    static QString searchText(const QString &query);

    /**
     * The rows whose search key contains searchText(@p query), ascending; none for
     * an empty query. With @p within, only its rows (ascending) are looked at: the
     * hits of an earlier query that the new one contains.
     */
    QList<int> search(const QString &query, const QList<int> *within = nullptr) const;

    /** Whether @p name ends in one of the audio suffixes, in any case; see MusicFiles. */
    static bool isAudioName(const QString &name);

    /** Formats a length in milliseconds as "m:ss" without wrapping minutes into hours. */
    static QString formatDuration(qint64 ms);

    /**
     * Reads album artist, title, album and length of the audio file at @p path.
     * A file that cannot be read gives empty tags and "0:00". Safe on any thread.
     */
    static TrackInfo readTrack(const QString &path);
    /** @p record, as the list shows a track (see LibraryScanner::read). */
    static TrackInfo trackOf(const TrackTable::Record &record);

private:
    /** Puts @p next in place of the records; @p moved: see lastMoves(). */
    void install(std::shared_ptr<const TrackTable> next, QHash<QString, QString> moved = {});
    /** Starts a scan; see scanFolder(). Appends files not in @p known when @p known is set. */
    void startScan(const QString &folderPath, ScanKind kind,
        std::shared_ptr<const QSet<QString>> known, std::function<void(int)> onProgress,
        std::function<void(bool)> onDone, bool installIfGone, QList<UpdateMerge::Move> moves = {},
        QStringList scope = {});

    std::shared_ptr<const TrackTable> data = std::make_shared<const TrackTable>();
    QHash<QString, QString> movedPaths;
    MusicFiles::SkippedNames skipped;
    // Each scan, cache read and direct install takes the next number; only the
    // newest may install its result or report progress. Shared with the workers so that an
    // overtaken scan (or one whose Playlist is gone) stops reading files early.
    std::shared_ptr<std::atomic<quint64>> scanGeneration
        = std::make_shared<std::atomic<quint64>>(0);
    // Never Qt's global pool: its threads paint the window's larger areas
    // while the GUI thread waits, so a scan holding one of them stalls every
    // paint. Scans and cache reads run here...
    QThreadPool workers;
    // ...and what can wait (a cached table's keys, an old table's freeing) on
    // a thread at a lower priority, that leaves the cores to the window.
    QThreadPool background;
};
