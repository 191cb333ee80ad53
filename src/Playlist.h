#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>

/**
 * The in-memory music library: one record per audio file below the music
 * folder, in the order the folder scan found them. Row i of the main track
 * list is always record i.
 */
class Playlist : public QObject {
    Q_OBJECT

public:
    /** One scanned audio file: the fields up to url are cached, the rest derived. */
    struct TrackInfo {
        QString artist; ///< album artist, or the track artist where the file names none
        QString title;
        QString album;
        QString trackArtist; ///< the track artist tag; in the cache where the file has one
        QString duration; ///< "m:ss", minutes not wrapped into hours
        QUrl url; ///< local-file URL, the record's identity
        QString fileName;
        QString displayName;
        QString searchKey; ///< case-folded "artist title album fileName trackArtist"
    };

    explicit Playlist(QObject *parent = nullptr);
    ~Playlist() override;

    /**
     * Scans @p folderPath on the global thread pool and replaces the library with
     * the result. @p onProgress gets the running count every 100 files and once at
     * the end; @p onFinished runs after the library was replaced. Both run in the
     * GUI thread and may be empty. A scan that a newer scan has overtaken is dropped.
     */
    void loadFromFolder(const QString &folderPath, std::function<void(int)> onProgress,
        std::function<void()> onFinished);

    /**
     * Scans @p folderPath for audio files whose path is not in @p knownFiles and
     * appends them; @p onDone runs in the GUI thread afterwards.
     */
    void updateFromFolder(
        const QString &folderPath, const QStringList &knownFiles, std::function<void()> onDone);

    /**
     * Writes the library as JSON to @p cachePath, atomically where the folder takes
     * a new file, else in place over an existing writable file. Returns false if it
     * could not be written.
     */
    bool saveToCache(const QString &cachePath) const;

    /**
     * Replaces the library with the records of the JSON cache at @p cachePath whose
     * files still exist. Returns false, leaving the library untouched, when the file
     * cannot be read or is not a JSON object.
     */
    bool loadFromCache(const QString &cachePath);

    /** Recomputes fileName, displayName and searchKey of every record. */
    void rebuildSearchIndex();

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

    /** Record @p i with every field filled, or an empty record when @p i is out of range. */
    TrackInfo track(int i) const;

    /** The form queries and search keys are compared in: trimmed and case-folded. */
    static QString searchText(const QString &query);

    /**
     * The rows whose search key contains searchText(@p query), ascending; none for
     * an empty query. With @p within, only its rows (ascending) are looked at: the
     * hits of an earlier query that the new one contains.
     */
    QList<int> search(const QString &query, const QList<int> *within = nullptr) const;

    /** An implicitly shared copy of all records. */
    QList<TrackInfo> getTracks() const;

    /** Formats a length in milliseconds as "m:ss" without wrapping minutes into hours. */
    static QString formatDuration(qint64 ms);

    /**
     * Reads album artist, title, album and length of the audio file at @p path.
     * A file that cannot be read gives empty tags and "0:00". Safe on any thread.
     */
    static TrackInfo readTrack(const QString &path);

private:
    QList<TrackInfo> playlist;
    int currentIndex = 0;
    // Each scan takes the next number; only the newest may install its result
    // or report progress. Shared with the workers so that an overtaken scan (or
    // one whose Playlist is gone) stops reading files early.
    std::shared_ptr<std::atomic<quint64>> scanGeneration
        = std::make_shared<std::atomic<quint64>>(0);
};
