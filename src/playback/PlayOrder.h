#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

/**
 * Which library row plays next: the current track, the shuffle history, the
 * shuffle switch, the loop mode and whether the first play/pause press after
 * a start resumes the stored track. A plain class with no media and no
 * widgets; the random source is injected so that tests can seed it.
 *
 * Rows are positions in the library as last given to setLibrary(). The
 * current track and the history are kept by file path as well, so a new
 * library finds them again wherever its rows put them.
 */
class PlayOrder {
public:
    /** What follows the end of a track; stored as this integer. */
    enum LoopMode : int { Off = 0, List = 1, Track = 2 };

    /** Why the player moves on: a press of next, or a track that played to its end. */
    enum class Reason { Next, EndOfTrack };

    /** Returns a number in [0, bound). */
    using RandomSource = std::function<int(int bound)>;

    /** @p random picks shuffled rows; empty means the global generator. */
    explicit PlayOrder(RandomSource random = {});

    /**
     * Installs a library of @p paths (row i is paths[i]); @p moved maps the
     * old paths of renamed files to their new ones. The current track and the
     * history are found again by path, under its new name for a renamed file;
     * history entries whose file left the library are dropped. Once the
     * current track left, next plays the track that followed it (the first
     * of those after it that stayed, else what now follows the ones before
     * it) and previous the one before that; its row is kept until then.
     */
    void setLibrary(const QStringList &paths, const QHash<QString, QString> &moved = {});
    /** The number of rows. */
    int count() const;

    /**
     * Restores the track of an earlier run: @p path where the library still
     * has it, else row @p row. Arms the resume of the first play/pause press.
     */
    void restore(int row, const QString &path);
    /** Whether the next play/pause press should start the restored track. */
    bool resumePending() const;

    /** Makes row @p row current (a track the user started); false for a row out of range. */
    bool setCurrent(int row);
    /** A track outside the library plays: the current row stays, the resume is disarmed. */
    void playingOutside();
    int currentRow() const;
    /** The file of the current row, or of the stored track before the library had it. */
    QString currentPath() const;

    /**
     * Moves on for @p reason and returns the new current row, or -1 when
     * nothing follows (next on the last row; the end of the last track with
     * looping off, or an empty library).
     */
    int advance(Reason reason);
    /** Moves back (through the history when shuffling) and returns the row, or -1. */
    int previous();
    /** Rows played before, oldest first; previous() walks back from the end. */
    QList<int> history() const;

    bool shuffle() const;
    /** Sets shuffle; true when it changed. The history is kept either way. */
    bool setShuffle(bool on);
    LoopMode loopMode() const;
    /** Sets the loop mode; a value outside the enum reads as Off. True when it changed. */
    bool setLoopMode(int mode);
    /** The mode after @p mode in the loop button's cycle. */
    static LoopMode nextLoopMode(LoopMode mode);

private:
    int randomOtherRow() const;
    int rowOf(const QString &path, int hint) const;
    /**
     * The row in the new library of the gap before old row @p anchor of
     * @p oldPaths: where the first of the tracks from there on that stayed now
     * is, else the row after the last one before it that stayed.
     */
    int gapRow(const QStringList &oldPaths, int anchor, const QHash<QString, QString> &moved) const;

    RandomSource random;
    QStringList paths;
    int current = -1;
    QString currentFile;
    // While the current track has left the library: the row next plays, which
    // previous goes back from (up to count()). -1 while the track is in it.
    int following = -1;
    QList<int> played;
    bool shuffleOn = false;
    LoopMode loop = Off;
    bool resume = false;
};
