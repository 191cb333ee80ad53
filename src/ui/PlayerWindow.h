#pragma once

#include "app/PlayerCore.h"
#include "library/FileResolver.h"
#include "library/Library.h"
#include "ui/Theme.h"

#include <QColor>
#include <QMainWindow>
#include <QMap>
#include <QSize>
#include <QString>

class AboutDialog;
class CoverView;
class FavoriteGrid;
class PlayerControls;
class PlayerMenuBar;
class PlayerController;
class QPushButton;
class QueueController;
class QueueDialog;
class SearchDialog;
class SettingsStore;
class StatusLine;
class TrackList;
class TrackModel;

/**
 * The one window of the player: a view of the core (PlayerCore). It builds
 * the widgets, forwards what the user does to the transport, the library and
 * the queue, and paints what they announce. Its own settings (colour, size,
 * favourites) it reads from the core's store once the core has loaded its
 * own, and writes with every save.
 */
class PlayerWindow : public QMainWindow {
    Q_OBJECT

public:
    /** Colour name to colour (Theme::palette). */
    static inline QMap<QString, QColor> &palette = Theme::palette;
    /** Size class ("small", "normal", "large") to icon pixel size (Theme::iconSize). */
    static inline QMap<QString, QSize> &iconSize = Theme::iconSize;

    /** A window on @p core, which must outlive it; connect before the core's start(). */
    explicit PlayerWindow(PlayerCore *core, QWidget *parent = nullptr);
    ~PlayerWindow() override;

    /** The core the window shows. */
    PlayerCore *core() const
    {
        return playerCore;
    }
    /** The transport the window's controls drive. */
    PlayerController *controller() const
    {
        return playerCore->controller();
    }
    /** The music library the track list shows. */
    Library *library() const
    {
        return playerCore->library();
    }
    /** The play-next queue. */
    QueueController *queue() const
    {
        return playerCore->queue();
    }

    void showSearchDialog();
    void showAboutDialog();
    void showQueueDialog();

    /** Makes @p path the music folder and scans it in full (what the folder chooser feeds). */
    void setMusicFolder(const QString &path)
    {
        playerCore->setMusicFolder(path);
    }
    /** Shows @p message for @p timeout seconds, or the summary when @p message is empty. */
    void updateStatusLabel(const QString &message, int timeout);

    /** Repaints every control in the colour named @p colorName, makes it the theme and saves. */
    void updateButtons(const QString &colorName);
    /** Switches to the size setting @p size ("small", "normal", "big"), repaints and saves. */
    void updateIconSizes(const QString &size);

    /** Writes the whole state to the settings store, favourites included. */
    void saveSettings();

    /** "%1:%2" minutes and seconds, each at least two digits; minutes are not wrapped. */
    static QString formatTime(qint64 ms);

    /** Shows, raises and activates the window. */
    void raiseWindow();
    /** The "Quit" menu entry: saves and quits. */
    void quit();

    /**
     * Plays the first of @p request's files and queues the others right after
     * it (PlayerController::open); each name that could not be opened is
     * reported in the status line and on the error output. Audio files and
     * folders dropped anywhere on the window open so as well.
     */
    void openFiles(const FileResolver::Result &request);

protected:
    void closeEvent(QCloseEvent *event) override;
    /** Tells the core whether the window is the active one (no notifications while it is). */
    void changeEvent(QEvent *event) override;

private:
    void setupUI();
    void setupShortcuts();
    void setupConnections();
    void connectController();
    void connectQueue();
    void loadSettings();

    void showPlaylistContextMenu(const QPoint &pos);
    void toggleQueued(int row);
    void showLibrary(Library::Install how);
    /** Titles the window with what plays, as its track list row reads, or the program's name. */
    void showPlayingInTitle();
    void chooseMusicFolder();
    void playOrPause();
    void handlePosition(qint64 pos);

    void favoriteClicked(int slot);
    void paintFavorite(int slot);

    PlayerCore *playerCore;
    SettingsStore *store;
    Library *mediaLibrary;
    QueueController *playQueue;
    PlayerController *player;

    PlayerMenuBar *menus;
    QueueDialog *queueDialog;
    SearchDialog *searchDialog;
    AboutDialog *aboutDialog;

    TrackModel *trackModel;
    TrackList *trackList;
    // The restored track is shown with the first library installed.
    bool showRestoredRow = false;

    StatusLine *statusLine;
    PlayerControls *controls;
    CoverView *coverView;
    QPushButton *favorite;
    FavoriteGrid *favoriteGrid;
    bool showRemainingTime = false;

    QColor mainColor;
    QString colorAsText;
    QString sizeFactor;
};
