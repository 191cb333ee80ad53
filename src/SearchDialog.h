#pragma once

#include "Playlist.h"

#include <QColor>
#include <QDialog>
#include <QList>
#include <QSize>

class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QueueController;

/** Live substring search over the library; hits can be played, queued or selected in the track
 * list. */
class SearchDialog : public QDialog {
    Q_OBJECT

public:
    SearchDialog(Playlist *playlist, QueueController *queue, QWidget *parent = nullptr);

    /** Gives the three buttons their icons, tinted with @p color, at @p size. */
    void setIcons(QColor color, QSize size);
    /** Re-marks the hits with their queue positions. */
    void updateQueueIndicators();
    /**
     * Runs the current query again, so every hit names the record its index
     * points to. The chosen hit stays chosen while its track is still a hit,
     * and the list keeps its scroll position.
     */
    void refreshResults();

signals:
    /** The user wants library record @p index played. */
    void playRequested(const int &index);
    /** The user wants record @p index added to or taken out of the queue. */
    void queueRequested(const int &index);
    /** The user wants record @p index selected in the track list. */
    void jumpRequested(const int &index);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupLayout();
    void setupConnections();
    void performSearch(const QString &query);
    void addToQueue();
    void showContextMenu(const QPoint &pos);
    /** The library index of the current hit, or -1 when there is none. */
    int currentHitIndex() const;
    /** The queue-toggle menu for hit @p index, or null when the index is out of range. */
    QMenu *createContextMenu(int index);

    QLineEdit *searchInput;
    QListWidget *resultList;
    QLabel *resultLabel;
    QPushButton *queueButton;
    QPushButton *jumpButton;
    QPushButton *playButton;
    Playlist *playlistRef;
    QueueController *queueRef;
    // The records the hits were made from; their indices point into it.
    QList<Playlist::TrackInfo> searchedTracks;
};
