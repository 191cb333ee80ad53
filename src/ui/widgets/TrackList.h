#pragma once

#include <QDateTime>
#include <QListView>
#include <QString>

#include <functional>

class QTimer;
class TrackModel;

/**
 * The main track list: a view of a TrackModel showing every record, so row i
 * is library record i. It turns the list's keys and double clicks into
 * requests, keeps the current row on its file and the scroll position when
 * the model is reset for a new library, and once the user has left it alone
 * for a minute follows the playing row again.
 */
class TrackList : public QListView {
    Q_OBJECT

public:
    /** A view of @p model, which must outlive it; @p playingRow tells which row plays. */
    TrackList(TrackModel *model, std::function<int()> playingRow, QWidget *parent = nullptr);

    /** The current row, or -1. */
    int currentRow() const;
    /** Makes @p row current and selects it (nothing for a row out of range). */
    void setCurrentRow(int row);
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

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void keepAfterReset();

    TrackModel *tracks;
    std::function<int()> playingRow;
    QTimer *followTimer;
    QDateTime lastScrollTime;
    // The file of the current row, kept while the model is reset for a new library.
    QString currentPath;
    int scrolledTo = 0;
};
