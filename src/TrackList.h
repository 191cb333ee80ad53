#pragma once

#include <QDateTime>
#include <QHash>
#include <QListWidget>
#include <QStringList>

#include <functional>

class QTimer;

/**
 * The main track list: row i shows library record i. It fills a large
 * library in batches without freezing the window, marks queued rows, turns
 * the list's keys into requests, and once the user has left it alone for a
 * minute follows the playing row again.
 */
class TrackList : public QListWidget {
    Q_OBJECT

public:
    /** @p playingRow tells which row plays; the list follows it. */
    explicit TrackList(std::function<int()> playingRow, QWidget *parent = nullptr);

    /**
     * Shows @p names, one row each, unmarked. A running fill stops first. In
     * @p batches of 100 rows per event-loop turn, or at once.
     */
    void showTracks(const QStringList &names, bool batches);
    /** Empties the list and stops a running fill. */
    void clearTracks();
    /** Marks row r with "[position]" for every entry of @p marks (row to position); others
     * unmarked. */
    void setMarks(const QHash<int, int> &marks);
    /** Makes @p row current when the list has no current row. */
    void selectIfNone(int row);
    /** Selects @p row and scrolls it into view, as a restored start shows it, and holds the list
     * there. */
    void showRow(int row);
    /** The user moved about in the list at @p at: it does not follow for a minute after; a null
     * time never holds it. */
    void hold(const QDateTime &at = QDateTime::currentDateTime());
    /** Whether the minute has passed since the user last moved about in the list. */
    bool followDue() const;
    /** Selects and shows the playing row if the follow is due. */
    void follow();

signals:
    void playRequested(int row);
    void queueToggleRequested(int row);
    void playPauseRequested();
    void nextRequested();
    void previousRequested();
    void stopRequested();
    /** A batch went in: @p done of @p total rows. */
    void fillProgress(int done, int total);
    /** Every row of the last showTracks() is in the list. */
    void filled();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void fillTick();
    void paintRow(int row, const QHash<int, int> &marks);

    std::function<int()> playingRow;
    QStringList names;
    int filledRows = 0;
    QHash<int, int> shownMarks;
    QTimer *fillTimer;
    QTimer *followTimer;
    QDateTime lastScrollTime;
};
