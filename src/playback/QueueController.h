#pragma once

#include "playback/PlayQueue.h"

#include <QHash>
#include <QObject>
#include <QStringList>

class Playlist;

/**
 * The play-next queue as the program uses it: every change goes through here
 * and is announced once by changed(), and the views derived from the queue
 * (queue marks, names, total length, the status summary) are computed here
 * with one rule for the track list, the search dialog and the queue dialog.
 */
class QueueController : public QObject {
    Q_OBJECT

public:
    /** A queue over the records of @p library, which must outlive it. */
    explicit QueueController(const Playlist *library, QObject *parent = nullptr);

    /** The queued paths, front first. */
    QStringList paths() const;
    bool contains(const QString &path) const;
    bool isEmpty() const;
    /** Whether the queue plays before the normal order: switched on by the first add, off by
     * clear(). */
    bool isActive() const;

    /** Queues @p path (and switches the queue on), or takes it out when it is queued already. */
    void toggle(const QString &path);
    void moveUp(const QString &path);
    void moveDown(const QString &path);
    void moveToFront(const QString &path);
    void remove(const QString &path);
    /** Empties the queue and switches it off. */
    void clear();
    /**
     * Puts @p paths at the front in their order and switches the queue on; a
     * path queued already moves there (its entries become one), never out.
     */
    void putFirst(const QStringList &paths);
    /** Replaces the entries with @p paths, as a drag and drop left them. */
    void setOrder(const QStringList &paths);
    /**
     * Follows a new library: an entry whose file was renamed (@p moved: old
     * path to new) takes the new path; one that is neither in the library nor
     * a file on disk any more leaves the queue.
     */
    void followLibrary(const QHash<QString, QString> &moved);
    /**
     * Takes the front entry when the queue is on and not empty and returns its
     * library row; a file that left the library is dropped and gives -1, as
     * does an empty or inactive queue.
     */
    int takeNext();

    /** Library row to queue position (from 1). A path queued twice is marked where it plays first.
     */
    QHash<int, int> marksByRow() const;
    /** One name per entry: the track's display text, or the file name of a file that left the
     * library. */
    QStringList names() const;
    /** Seconds of the queued tracks that are in the library; a damaged duration counts 0. */
    qint64 totalSeconds() const;
    /** totalSeconds() as "h:mm:ss", or "m:ss" below an hour. */
    QString totalText() const;
    /** The status line's summary: "N tracks", with ", N in queue (total)" while the queue is on. */
    QString summary() const;

    /** @p text marked with queue position @p position: "[position] text". */
    static QString markedText(int position, const QString &text);
    /** Seconds of a "m:ss" duration, 0 for anything else. */
    static qint64 durationSeconds(const QString &text);

signals:
    /** The entries or the active flag changed. */
    void changed();

private:
    int rowOf(const QString &path) const;
    /** Runs @p edit on the queue and announces it if anything changed. */
    template <typename Edit> void change(Edit edit);

    const Playlist *library;
    PlayQueue queue;
};
