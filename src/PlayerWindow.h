#pragma once

#include "Playlist.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QMainWindow>
#include <QMap>
#include <QMediaPlayer>
#include <QSettings>
#include <QSize>
#include <QStack>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include "Playlist.h"

class AboutDialog;
class ClickableLabel;
class ClickableSlider;
class FavoriteButton;
class PlayQueue;
class QAction;
class QAudioOutput;
class QGridLayout;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;
class QSlider;
class QueueDialog;
class SearchDialog;

/**
 * The one window of the player and the hub of the program: it owns the media
 * player, the library, the play queue, the settings store, the dialogs and
 * every widget, and wires them together.
 */
class PlayerWindow : public QMainWindow
{
    Q_OBJECT

public:
    /** What follows the end of a track; stored as this integer. */
    enum LoopMode : int { Off = 0, List = 1, Track = 2 };

    /** One favourite: the address, album artist and title when it was assigned. */
    struct TrackInfo {
        QUrl url;
        QString artist;
        QString title;
    };

    /** Colour name to colour. */
    static QMap<QString, QColor> palette;
    /** Size class ("small", "normal", "large") to icon pixel size. */
    static QMap<QString, QSize> iconSize;

    explicit PlayerWindow(QWidget *parent = nullptr);
    ~PlayerWindow() override;

    /** Starts library row @p index; the one way a row is played. */
    void playTrack(int index);

    /** Queues @p filePath, or takes it out of the queue when it is queued already. */
    void addToQueue(QString filePath);
    /** Refreshes every queue view: track-list marks, search marks, the queue dialog. */
    void updateQueueIndicators();
    /** Display names of the queued tracks that are in the library, front first. */
    QStringList queueDisplayNames() const;
    /** Total length of the queued tracks, "h:mm:ss" or "m:ss". */
    QString getQueueDuration() const;

    void showSearchDialog();
    void showAboutDialog();
    void showQueueDialog();

    /** Makes @p path the music folder and scans it in full (what the folder chooser feeds). */
    void setMusicFolder(const QString &path);
    /** Full scan of the music folder, cache write and batched refill of the list. */
    void refreshMusicFolder();
    /** Shows the cached library at once, then scans only for new files. */
    void updatePlaylist();
    /** Refills the track list with @p names, 100 rows per event-loop turn. */
    void startFillPlaylist(QStringList names);
    /** Shows @p message for @p timeout seconds, or the default summary when @p message is empty. */
    void updateStatusLabel(const QString &message, int timeout);

    /** Repaints every control in the colour named @p colorName, makes it the theme and saves. */
    void updateButtons(QString colorName);
    /** Switches to the size setting @p size ("small", "normal", "big"), repaints and saves. */
    void updateIconSizes(const QString &size);
    /** Paints the menu icons once at start-up. */
    void loadFolderIcons();

    /** Writes the whole state to the settings store, favourites included. */
    void saveSettings();
    /** Restores the state at start-up. */
    void loadSettings();
    void saveFavorites();
    void loadFavorites();

    /** "%1:%2" minutes and seconds, each at least two digits; minutes are not wrapped. */
    static QString formatTime(qint64 ms);

    // Remote control (the desktop media bus). Every request runs the handler of
    // the matching window control, so it is exactly a click, key or drag there.

    /** The play/pause button's handler. */
    void togglePlayPause();
    /** The stop button's handler. */
    void stopPlayback();
    /** The previous button's handler. */
    void playPrevious();
    /** The next button's handler. */
    void playNext();
    /** The shuffle button's handler. */
    void toggleShuffle();
    /** The loop button's handler. */
    void toggleLoop();
    /** Runs the play/pause handler unless the player is playing already. */
    void play();
    /** Runs the play/pause handler if the player is playing. */
    void pause();
    /** Jumps to @p ms in the current track, as the position slider does, and reports the jump. */
    void seek(qint64 ms);
    /** Moves the volume slider to @p percent (0 to 100). */
    void setVolumePercent(int percent);
    /** Clicks the shuffle button if shuffle is not already @p on. */
    void setShuffle(bool on);
    /** Clicks the loop button until it stands at @p mode. */
    void setLoopMode(LoopMode mode);
    /** Plays @p url: its library row if it has one, else the file itself, as a favourite outside the library. */
    void openUrl(const QUrl &url);
    /** Shows, raises and activates the window. */
    void raiseWindow();
    /** The "Quit" menu entry: saves and quits. */
    void quit();

    /** The media player's playback state. */
    QMediaPlayer::PlaybackState playbackState() const;
    /** Whether shuffle is on. */
    bool isShuffleEnabled() const;
    /** The loop mode the loop button shows. */
    LoopMode currentLoopMode() const;
    /** The volume slider's value, 0 to 100. */
    int volumePercent() const;
    /** Position in the current track, in milliseconds. */
    qint64 playbackPosition() const;
    /** Length of the current track in milliseconds; 0 while unknown. */
    qint64 trackDuration() const;
    /**
     * The current source as a track record: its library record, or for a file
     * outside the library its tags read from the file. An empty url when
     * nothing is loaded.
     */
    Playlist::TrackInfo nowPlaying() const;

signals:
    /** The media player started, paused or stopped. */
    void playbackStateChanged(QMediaPlayer::PlaybackState state);
    /** The shuffle button was painted for @p on (also on a repaint that changes nothing). */
    void shuffleChanged(bool on);
    /** The loop button was painted for @p mode (also on a repaint that changes nothing). */
    void loopModeChanged(PlayerWindow::LoopMode mode);
    /** The volume slider's value became @p percent. */
    void volumeChanged(int percent);
    /** The source or its length changed; nowPlaying() and trackDuration() have the news. */
    void trackChanged();
    /** Playback jumped to @p ms through seek(). */
    void seeked(qint64 ms);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupUI();
    void setupShortcuts();
    void setupConnections();
    void showPlaylistContextMenu(const QPoint &pos);
    QMenu *createPlaylistContextMenu(const QPoint &pos);
    void onQueueDialogFinished();
    void fillTick();
    void reportPlaybackError();
    void chooseMusicFolder();
    void saveCache(const QString &cachePath);
    void showLibraryReady(const QString &message);

    void handleMediaStatus(QMediaPlayer::MediaStatus status);
    void handleSourceChanged(const QUrl &source);
    bool playFromQueue(bool refreshBeforePlay);
    void advanceShuffled();
    int randomPick() const;
    bool followDue() const;
    void followPlayingRow();
    void setPlayPauseIcon(bool playing);
    void paintShuffle(const QColor &theme);
    void paintLoop(const QColor &theme, const QString &trackToolTip);
    void paintMute(float value, const QColor &theme);

    void handlePosition(qint64 pos);
    void handleDuration(qint64 duration);
    void handleVolume(int value);
    void handleMute();

    void favoriteClicked(int index, FavoriteButton *button);
    void favoriteCleared(int index, FavoriteButton *button);
    void paintFavorite(FavoriteButton *button);

    void refillQueueDialog();
    void libraryInstalled();
    void selectCurrentRow();
    /** Plays a file outside the library by its address. */
    void playAddress(const QUrl &url);

    QMediaPlayer *player;
    QAudioOutput *audioOutput;
    Playlist *mediaList;
    QStringList mediaNames;
    QTimer fillTimer;
    QStringList pendingNames;
    int fillPos;
    QGridLayout *buttonGrid = nullptr;
    PlayQueue *queue;
    QMenuBar *menuBar;
    QMenu *playlistMenu = nullptr;
    QMenu *queueMenu = nullptr;
    QMenu *stylesMenu = nullptr;
    QMenu *colorMenu = nullptr;
    QMenu *sizeMenu = nullptr;
    QMenu *aboutMenu = nullptr;
    QAction *setFolderAction = nullptr;
    QAction *updateAction = nullptr;
    QAction *showQueueAction = nullptr;
    QAction *clearQueueAction = nullptr;
    QAction *quitAction = nullptr;
    QAction *showAboutAction = nullptr;
    QSettings settings;
    QueueDialog *queueDialog;
    SearchDialog *searchDialog;
    QAction *openSearch = nullptr;
    AboutDialog *aboutDialog;
    QAction *setOrange = nullptr;
    QAction *setBlue = nullptr;
    QAction *setGreen = nullptr;
    QColor mainColor;
    QString colorAsText;
    QAction *iconSmall = nullptr;
    QAction *iconNormal = nullptr;
    QAction *iconBig = nullptr;
    QString sizeFactor;
    QTimer *followTimer;
    QDateTime lastScrollTime;
    int currentIndex;
    // The file of currentIndex: rows move when a library is installed, files do not.
    QString currentPath;
    // The library as of the last install, to find the tracks that its rows named.
    QList<Playlist::TrackInfo> installedTracks;
    bool justStarted = false;
    QFont gridFont;
    QPushButton *playPause;
    QPushButton *previous;
    QPushButton *forward;
    QPushButton *stop;
    QPushButton *shuffle;
    bool shuffleEnabled = false;
    QStack<int> playHistory;
    QPushButton *looping;
    LoopMode loopMode = Off;
    QPushButton *mute;
    float vol = 0;
    QSlider *volume;
    QPushButton *favorite;
    QList<FavoriteButton *> buttons;
    bool selectingFavorite;
    QSize gridButtonSize;
    QMap<int, TrackInfo> favorites;
    QListWidget *playlistWidget;
    ClickableSlider *slider;
    QLabel *statusLabel;
    ClickableLabel *timeLabel;
    bool showRemainingTime;
    QString folderPath;
    // The last cache write failed; the library's ready message says so instead.
    bool cacheSaveFailed = false;

    // The volume the mute button returns to.
    int previousVolume = 0;

    friend class TestPlayback;
    friend class TestQueue;
    friend class TestWindow;
    friend class TestMpris;
    friend class WindowBench;
};
