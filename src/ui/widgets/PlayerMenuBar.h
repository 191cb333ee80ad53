#pragma once

#include <QMenuBar>

class QAction;

/**
 * The window's menus: Media, Queue, Style and About. A view: each entry sends
 * what the user asked for; what that does is the window's business.
 */
class PlayerMenuBar : public QMenuBar {
    Q_OBJECT

public:
    explicit PlayerMenuBar(QWidget *parent = nullptr);

    /** Draws the entries' icons at the theme's small size. */
    void paintIcons();
    /** Checks the ReplayGain entry of @p mode (0 Off, 1 Track, 2 Album). */
    void setReplayGainMode(int mode);
    /** Ticks the notifications entry, sending nothing. */
    void setNotificationsChecked(bool on);

signals:
    void searchRequested();
    void chooseFolderRequested();
    void updateRequested();
    void quitRequested();
    void showQueueRequested();
    void clearQueueRequested();
    void aboutRequested();
    /** A colour was chosen, by its palette name. */
    void colorChosen(const QString &name);
    /** A size setting was chosen: "small", "normal" or "big". */
    void sizeChosen(const QString &size);
    /** A ReplayGain entry was chosen: 0 Off, 1 Track, 2 Album. */
    void replayGainChosen(int mode);
    /** Track change notifications were switched on or off. */
    void notificationsToggled(bool on);

private:
    QMenu *colorMenu;
    QMenu *sizeMenu;
    QAction *openSearch;
    QAction *setFolderAction;
    QAction *updateAction;
    QAction *quitAction;
    QAction *showQueueAction;
    QAction *clearQueueAction;
    QAction *setOrange;
    QAction *setBlue;
    QAction *setGreen;
    QList<QAction *> gainActions; ///< Off, Track, Album
    QAction *notificationsAction;
};
