#pragma once

#include "library/FileResolver.h"
#include "library/Library.h"
#include "playback/PlayOrder.h"
#include "library/SettingsStore.h"

#include <QColor>
#include <QMainWindow>
#include <QMap>
#include <QMediaPlayer>
#include <QSettings>
#include <QSize>
#include <QStringList>
#include <QTimer>

class AboutDialog;
class ClickableLabel;
class ClickableSlider;
class FavoriteGrid;
class Library;
class PlayerController;
class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QSlider;
class QueueController;
class QueueDialog;
class SearchDialog;
class TrackList;
class TrackModel;

/**
 * The one window of the player: a view of the core. It builds the widgets,
 * forwards what the user does to the transport (PlayerController), the
 * library and the queue, and paints what they announce. The settings store
 * is read once at start and written on every save.
 */
class PlayerWindow : public QMainWindow {
    Q_OBJECT

public:
    /** Colour name to colour. */
    static QMap<QString, QColor> palette;
    /** Size class ("small", "normal", "large") to icon pixel size. */
    static QMap<QString, QSize> iconSize;

    explicit PlayerWindow(QWidget *parent = nullptr);
    ~PlayerWindow() override;

    /** The transport the window's controls drive. */
    PlayerController *controller() const;
    /** The music library the track list shows. */
    Library *library() const;
    /** The play-next queue. */
    QueueController *queue() const;

    void showSearchDialog();
    void showAboutDialog();
    void showQueueDialog();

    /** Makes @p path the music folder and scans it in full (what the folder chooser feeds). */
    void setMusicFolder(const QString &path);
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
     * reported in the status line and on the error output.
     */
    void openFiles(const FileResolver::Result &request);

protected:
    void closeEvent(QCloseEvent *event) override;
    /** Audio files and folders dropped anywhere on the window open as openFiles() opens them. */
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void setupUI();
    void setupMenus();
    void setupShortcuts();
    void setupConnections();
    void connectController();
    void connectQueue();
    void loadSettings();
    void loadFolderIcons();

    void showPlaylistContextMenu(const QPoint &pos);
    void toggleQueued(int row);
    void showLibrary(Library::Install how);
    void chooseMusicFolder();
    void showSummaryUnlessTimed();

    void setPlayPauseIcon(bool playing);
    void paintShuffle();
    void paintLoop(const QString &trackToolTip);
    void paintVolume(float percent);
    void handlePosition(qint64 pos);

    void favoriteClicked(int slot);
    void paintFavorite(int slot);

    QSettings settings;
    SettingsStore store;
    Library *mediaLibrary;
    QueueController *playQueue;
    PlayerController *player;

    QMenuBar *menuBar;
    QMenu *colorMenu = nullptr;
    QMenu *sizeMenu = nullptr;
    QAction *openSearch = nullptr;
    QAction *setFolderAction = nullptr;
    QAction *updateAction = nullptr;
    QAction *quitAction = nullptr;
    QAction *showQueueAction = nullptr;
    QAction *clearQueueAction = nullptr;
    QAction *showAboutAction = nullptr;
    QAction *setOrange = nullptr;
    QAction *setBlue = nullptr;
    QAction *setGreen = nullptr;
    QAction *iconSmall = nullptr;
    QAction *iconNormal = nullptr;
    QAction *iconBig = nullptr;
    QueueDialog *queueDialog;
    SearchDialog *searchDialog;
    AboutDialog *aboutDialog;

    TrackModel *trackModel;
    TrackList *trackList;
    // The restored track is shown with the first library installed.
    bool showRestoredRow = false;
    // Until the library has been read and checked, a problem with files given
    // at start is shown again after the library's own message.
    bool libraryReady = false;
    QString problemAfterLibrary;
    QTimer *statusTimer;

    QPushButton *playPause;
    QPushButton *previous;
    QPushButton *forward;
    QPushButton *stop;
    QPushButton *shuffle;
    QPushButton *looping;
    QPushButton *mute;
    QSlider *volume;
    QPushButton *favorite;
    FavoriteGrid *favoriteGrid;
    ClickableSlider *slider;
    QLabel *statusLabel;
    ClickableLabel *timeLabel;
    bool showRemainingTime = false;

    QColor mainColor;
    QString colorAsText;
    QString sizeFactor;
};
