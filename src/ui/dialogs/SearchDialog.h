#pragma once

#include <QColor>
#include <QDialog>
#include <QList>
#include <QSize>
#include <QString>

class Playlist;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QueueController;
class TrackModel;

/** Live substring search over the library; hits can be played, queued or selected in the track
 * list. */
class SearchDialog : public QDialog {
    Q_OBJECT

public:
    /** A search over @p playlist, hits marked from @p queue; both must outlive it. */
    SearchDialog(Playlist *playlist, QueueController *queue, QWidget *parent = nullptr);

    /** Gives the three buttons their icons, tinted with @p color, at @p size. */
    void setIcons(QColor color, QSize size);
    /**
     * The library was replaced: runs the current query again over the new
     * records, so every hit names the record its index points to. Call it after
     * every install. The chosen hit stays chosen while its file is still a hit,
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
    /** Shows the hits of @p query; narrows the last hits where @p query contains their query. */
    void performSearch(const QString &query);
    void addToQueue();
    void showContextMenu(const QPoint &pos);
    /** The library index of the current hit, or -1 when there is none. */
    int currentHitIndex() const;
    /** The queue-toggle menu for hit @p index, or null when the index is out of range. */
    QMenu *createContextMenu(int index);

    QLineEdit *searchInput;
    QListView *resultList;
    QLabel *resultLabel;
    QPushButton *queueButton;
    QPushButton *jumpButton;
    QPushButton *playButton;
    Playlist *playlistRef;
    QueueController *queueRef;
    TrackModel *hitModel;
    // The hits shown, and the folded query they are the hits of (empty: none
    // to narrow, as after an install).
    QList<int> hits;
    QString searched;
    // The file of the chosen hit, found again among the hits of a new library.
    QString chosenPath;
};
