#include "ui/PlayerWindow.h"

#include "ui/dialogs/AboutDialog.h"
#include "app/DesktopApp.h"
#include "ui/widgets/FavoriteGrid.h"
#include "library/Library.h"
#include "playback/PlayerController.h"
#include "library/Playlist.h"
#include "library/TimeText.h"
#include "ui/widgets/ProgressBar.h"
#include "playback/QueueController.h"
#include "ui/dialogs/QueueDialog.h"
#include "ui/dialogs/SearchDialog.h"
#include "ui/SvgIcon.h"
#include "ui/widgets/TrackList.h"
#include "library/TrackModel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpacerItem>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

struct SizeRow {
    QSize small;
    QSize normal;
    QSize large;
    QSize grid;
    int leftMargin;
};

bool sizeRowFor(const QString &size, SizeRow *row)
{
    if (size == QLatin1String("small"))
        *row = {QSize(8, 8), QSize(16, 16), QSize(24, 24), QSize(28, 28), 25};
    else if (size == QLatin1String("normal"))
        *row = {QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(56, 56), 50};
    else if (size == QLatin1String("big"))
        *row = {QSize(32, 32), QSize(64, 64), QSize(96, 96), QSize(112, 112), 100};
    else
        return false;
    return true;
}

QColor paletteColor(const char *name)
{
    return PlayerWindow::palette.value(QLatin1String(name));
}

// Dropped files are taken as a copy, or a link: a drop the source took for a
// move could delete them there.
Qt::DropAction openAction(const QDropEvent *event)
{
    if (!event->mimeData()->hasUrls())
        return Qt::IgnoreAction;
    if (event->possibleActions() & Qt::CopyAction)
        return Qt::CopyAction;
    return event->possibleActions() & Qt::LinkAction ? Qt::LinkAction : Qt::IgnoreAction;
}

} // namespace

QMap<QString, QColor> PlayerWindow::palette = {
    {QStringLiteral("orange"), QColor(QStringLiteral("#FF6633"))},
    {QStringLiteral("green"), QColor(QStringLiteral("#33FF33"))},
    {QStringLiteral("red"), QColor(QStringLiteral("#FF3333"))},
    {QStringLiteral("pink"), QColor(QStringLiteral("#FF9999"))},
    {QStringLiteral("gray"), QColor(QStringLiteral("#666666"))},
    {QStringLiteral("blue"), QColor(QStringLiteral("#3333FF"))},
    {QStringLiteral("dark-gray"), QColor(QStringLiteral("#333333"))},
    {QStringLiteral("black"), QColor(QStringLiteral("#000000"))},
    {QStringLiteral("white"), QColor(QStringLiteral("#FFFFFF"))},
};

QMap<QString, QSize> PlayerWindow::iconSize;

PlayerWindow::PlayerWindow(QWidget *parent)
    : QMainWindow(parent)
    , settings(QStringLiteral("Tavrenin International"), QStringLiteral("Corvelia"))
    , store(&settings)
    , mediaLibrary(new Library(this))
    , playQueue(new QueueController(mediaLibrary->tracks(), this))
    , player(new PlayerController(mediaLibrary, playQueue, {}, this))
    , menuBar(new QMenuBar(this))
    , queueDialog(new QueueDialog(this))
    , searchDialog(new SearchDialog(mediaLibrary->tracks(), playQueue, this))
    , aboutDialog(new AboutDialog(this))
    , trackModel(new TrackModel(mediaLibrary->tracks(), playQueue, this))
    , trackList(new TrackList(trackModel, [this] { return player->currentRow(); }))
    , statusTimer(new QTimer(this))
    , playPause(new QPushButton(this))
    , previous(new QPushButton(this))
    , forward(new QPushButton(this))
    , stop(new QPushButton(this))
    , shuffle(new QPushButton(this))
    , looping(new QPushButton(this))
    , mute(new QPushButton(this))
    , volume(new QSlider(Qt::Horizontal, this))
    , favorite(new QPushButton(this))
    , favoriteGrid(new FavoriteGrid)
    , slider(new ClickableSlider(Qt::Horizontal, this))
    , statusLabel(new QLabel)
    , timeLabel(new ClickableLabel(this))
{
    setupUI();
    setupConnections();
    loadSettings();
    loadFolderIcons();
    setWindowTitle(tr("Corvel Media Player"));
    setWindowIcon(DesktopApp::icon());
    // The track list takes no drops itself: they reach the window.
    setAcceptDrops(true);
}

PlayerWindow::~PlayerWindow() = default;

PlayerController *PlayerWindow::controller() const
{
    return player;
}

Library *PlayerWindow::library() const
{
    return mediaLibrary;
}

QueueController *PlayerWindow::queue() const
{
    return playQueue;
}

// ---------------------------------------------------------------------------
// Widget tree

void PlayerWindow::setupUI()
{
    auto *central = new QWidget(this);
    slider->setRange(0, 100);
    volume->setRange(0, 100);
    statusTimer->setSingleShot(true);
    setupMenus();
    setupShortcuts();

    // Names for the tests and the benchmark, which see the window from outside.
    const QList<std::pair<QObject *, const char *>> names = {{statusLabel, "statusLine"},
        {timeLabel, "timeLabel"}, {slider, "positionSlider"}, {volume, "volumeSlider"},
        {playPause, "playPauseButton"}, {previous, "previousButton"}, {forward, "nextButton"},
        {stop, "stopButton"}, {shuffle, "shuffleButton"}, {looping, "loopButton"},
        {mute, "muteButton"}, {favorite, "setFavoriteButton"}, {statusTimer, "statusTimer"}};
    for (const auto &[object, name] : names)
        object->setObjectName(QLatin1String(name));

    auto *mainLayout = new QHBoxLayout(central);
    auto *leftSideLayout = new QVBoxLayout;
    leftSideLayout->addWidget(trackList);

    auto *favoritesLayout = new QHBoxLayout;
    favoritesLayout->addStretch(2);
    favorite->setCheckable(true);
    favorite->setAccessibleName(tr("Set favorite"));
    favorite->setAccessibleDescription(
        tr("Then choose a favorite button to keep the playing track on"));
    favoritesLayout->addWidget(favorite);
    leftSideLayout->addLayout(favoritesLayout);

    // The transport buttons show only icons; screen readers read these.
    previous->setAccessibleName(tr("Previous track"));
    previous->setAccessibleDescription(tr("Play the previous track"));
    shuffle->setAccessibleName(tr("Shuffle"));
    shuffle->setAccessibleDescription(tr("Switch shuffle on or off"));
    shuffle->setCheckable(true);
    playPause->setAccessibleDescription(tr("Play or pause the current track"));
    stop->setAccessibleName(tr("Stop"));
    stop->setAccessibleDescription(tr("Stop playback"));
    looping->setAccessibleName(tr("Loop"));
    forward->setAccessibleName(tr("Next track"));
    forward->setAccessibleDescription(tr("Play the next track"));

    auto *controlsLayout = new QHBoxLayout;
    for (QPushButton *button : {previous, shuffle}) {
        controlsLayout->addWidget(button);
    }
    controlsLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    controlsLayout->addSpacing(40);
    controlsLayout->addWidget(playPause);
    controlsLayout->addWidget(stop);
    controlsLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    controlsLayout->addSpacing(40);
    controlsLayout->addWidget(looping);
    controlsLayout->addWidget(forward);
    leftSideLayout->addLayout(controlsLayout);

    slider->setAccessibleName(tr("Position"));
    leftSideLayout->addWidget(slider);
    timeLabel->setFont(QFont(QStringLiteral("Arial"), 12));
    timeLabel->setText(QStringLiteral("00:00 / 00:00"));
    leftSideLayout->addWidget(timeLabel);

    auto *infoLayout = new QHBoxLayout;
    statusLabel->setFont(QFont(QStringLiteral("Arial"), 8));
    infoLayout->addWidget(statusLabel);
    infoLayout->addStretch(2);
    volume->setAccessibleName(tr("Volume"));
    infoLayout->addWidget(volume);
    mute->setAccessibleDescription(tr("Mute or restore the volume"));
    infoLayout->addWidget(mute);
    leftSideLayout->addLayout(infoLayout);
    mainLayout->addLayout(leftSideLayout, 3);

    mainLayout->addWidget(favoriteGrid, 1);

    setMenuBar(menuBar);
    setCentralWidget(central);

    // Tab follows the reading order, not the order the widgets were made in.
    QList<QWidget *> tabOrder = {trackList, favorite, previous, shuffle, playPause, stop, looping,
        forward, slider, volume, mute};
    for (FavoriteButton *button : favoriteGrid->buttons())
        tabOrder.append(button);
    for (int i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));
}

void PlayerWindow::setupMenus()
{
    const auto add = [](QMenu *menu, const QString &text, const char *name) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    QMenu *playlistMenu = menuBar->addMenu(tr("Media"));
    openSearch = add(playlistMenu, tr("Search"), "searchAction");
    playlistMenu->addSeparator();
    setFolderAction = add(playlistMenu, tr("Set music folder..."), "setFolderAction");
    updateAction = add(playlistMenu, tr("Update playlist"), "updateAction");
    playlistMenu->addSeparator();
    quitAction = add(playlistMenu, tr("Quit"), "quitAction");

    QMenu *queueMenu = menuBar->addMenu(tr("Queue"));
    showQueueAction = add(queueMenu, tr("Show Queue"), "showQueueAction");
    clearQueueAction = add(queueMenu, tr("Clear Queue"), "clearQueueAction");

    QMenu *stylesMenu = menuBar->addMenu(tr("Style"));
    colorMenu = stylesMenu->addMenu(tr("Color"));
    setOrange = add(colorMenu, tr("Orange"), "orangeAction");
    setBlue = add(colorMenu, tr("Blue"), "blueAction");
    setGreen = add(colorMenu, tr("Green"), "greenAction");
    sizeMenu = stylesMenu->addMenu(tr("Size"));
    iconSmall = add(sizeMenu, tr("Small"), "smallAction");
    iconNormal = add(sizeMenu, tr("Normal"), "normalAction");
    iconBig = add(sizeMenu, tr("Big"), "bigAction");

    QMenu *aboutMenu = menuBar->addMenu(tr("About"));
    showAboutAction = add(aboutMenu, tr("About Corvel Media Player"), "aboutAction");
}

void PlayerWindow::setupShortcuts()
{
    const auto createShortcut = [this](const QKeySequence &key, auto slot) {
        auto *shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    createShortcut(QKeySequence(QStringLiteral("Ctrl+F")), [this] { showSearchDialog(); });
    createShortcut(QKeySequence(QStringLiteral("Ctrl+Q")), [this] { showQueueDialog(); });
    createShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { player->next(); });
    createShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left), [this] { player->previous(); });
}

void PlayerWindow::setupConnections()
{
    connect(openSearch, &QAction::triggered, this, &PlayerWindow::showSearchDialog);
    connect(setFolderAction, &QAction::triggered, this, [this] { chooseMusicFolder(); });
    connect(updateAction, &QAction::triggered, mediaLibrary, &Library::loadCacheAndCheck);
    // quit() closes the visible windows first, so closeEvent saves as well.
    connect(quitAction, &QAction::triggered, this, [this] {
        saveSettings();
        QCoreApplication::quit();
    });
    connect(showQueueAction, &QAction::triggered, this, &PlayerWindow::showQueueDialog);
    connect(showAboutAction, &QAction::triggered, this, &PlayerWindow::showAboutDialog);
    const QList<std::pair<QAction *, QString>> colours = {{setOrange, QStringLiteral("orange")},
        {setBlue, QStringLiteral("blue")}, {setGreen, QStringLiteral("green")}};
    for (const auto &[action, name] : colours)
        connect(action, &QAction::triggered, this, [this, name = name] { updateButtons(name); });
    const QList<std::pair<QAction *, QString>> sizes = {{iconSmall, QStringLiteral("small")},
        {iconNormal, QStringLiteral("normal")}, {iconBig, QStringLiteral("big")}};
    for (const auto &[action, name] : sizes)
        connect(action, &QAction::triggered, this, [this, name = name] { updateIconSizes(name); });

    connect(playPause, &QPushButton::clicked, this, [this] {
        if (player->resumePending())
            trackList->hold(); // the list already shows the track that resumes
        player->togglePlayPause();
    });
    connect(stop, &QPushButton::clicked, player, &PlayerController::stop);
    connect(previous, &QPushButton::clicked, player, &PlayerController::previous);
    connect(forward, &QPushButton::clicked, player, &PlayerController::next);
    connect(
        shuffle, &QPushButton::clicked, this, [this] { player->setShuffle(!player->shuffle()); });
    connect(looping, &QPushButton::clicked, player, &PlayerController::cycleLoopMode);
    connect(mute, &QPushButton::clicked, player, &PlayerController::toggleMute);
    connect(volume, &QSlider::valueChanged, this, [this](int value) { player->setVolume(value); });
    connect(slider, &QSlider::sliderMoved, this, [this](int position) { player->seek(position); });
    connect(timeLabel, &ClickableLabel::clicked, this,
        [this] { showRemainingTime = !showRemainingTime; });
    connect(favoriteGrid, &FavoriteGrid::clicked, this, &PlayerWindow::favoriteClicked);
    connect(favoriteGrid, &FavoriteGrid::cleared, this, [this](int slot) {
        store.clearFavorite(slot);
        paintFavorite(slot);
    });

    connect(trackList, &QWidget::customContextMenuRequested, this,
        &PlayerWindow::showPlaylistContextMenu);
    connect(trackList, &TrackList::playRequested, player, &PlayerController::playRow);
    connect(trackList, &TrackList::queueToggleRequested, this, &PlayerWindow::toggleQueued);
    connect(trackList, &TrackList::playPauseRequested, playPause, &QPushButton::click);
    connect(trackList, &TrackList::nextRequested, player, &PlayerController::next);
    connect(trackList, &TrackList::previousRequested, player, &PlayerController::previous);
    connect(trackList, &TrackList::stopRequested, player, &PlayerController::stop);
    connect(statusTimer, &QTimer::timeout, this, [this] { updateStatusLabel(QString(), 0); });
    // A full scan leaves the records alone until it installs, so the rows keep
    // showing what they play meanwhile.
    connect(mediaLibrary, &Library::status, this, &PlayerWindow::updateStatusLabel);
    connect(mediaLibrary, &Library::installed, this, &PlayerWindow::showLibrary);

    connect(searchDialog, &SearchDialog::playRequested, player, &PlayerController::playRow);
    connect(searchDialog, &SearchDialog::queueRequested, this, &PlayerWindow::toggleQueued);
    connect(searchDialog, &SearchDialog::jumpRequested, this, [this](int row) {
        trackList->hold();
        trackList->setCurrentRow(row);
    });
    connectController();
    connectQueue();
}

void PlayerWindow::connectController()
{
    connect(player, &PlayerController::sourceChanged, this, [this](const QUrl &source) {
        setWindowTitle(tr("Now Playing: ") + QFileInfo(source.toLocalFile()).fileName());
        saveSettings();
    });
    connect(player, &PlayerController::rowStarted, this, [this](int row) {
        setWindowTitle(mediaLibrary->tracks()->textAt(row));
        trackList->follow();
    });
    connect(player, &PlayerController::finished, this,
        [this] { setWindowTitle(tr("Playing finished.")); });
    connect(player, &PlayerController::playbackStateChanged, this,
        [this](QMediaPlayer::PlaybackState state) {
            setPlayPauseIcon(state == QMediaPlayer::PlayingState);
        });
    connect(player, &PlayerController::playbackError, this,
        [this](const QString &name, const QString &error) {
            updateStatusLabel(tr("Cannot play %1: %2").arg(name, error), 10);
        });
    connect(player, &PlayerController::shuffleChanged, this, &PlayerWindow::paintShuffle);
    connect(player, &PlayerController::loopModeChanged, this,
        [this] { paintLoop(tr("Looping Current Track")); });
    connect(player, &PlayerController::volumeChanged, this, &PlayerWindow::paintVolume);
    connect(player, &PlayerController::positionChanged, this, &PlayerWindow::handlePosition);
    connect(player, &PlayerController::durationChanged, this,
        [this](qint64 ms) { slider->setRange(0, int(ms)); });
}

void PlayerWindow::connectQueue()
{
    // The track list's and the search's models mark their rows themselves.
    connect(playQueue, &QueueController::changed, this, [this] {
        queueDialog->setQueue(playQueue->paths(), playQueue->names());
        showSummaryUnlessTimed();
    });
    connect(queueDialog, &QueueDialog::moveUpRequested, playQueue, &QueueController::moveUp);
    connect(queueDialog, &QueueDialog::moveDownRequested, playQueue, &QueueController::moveDown);
    connect(queueDialog, &QueueDialog::jumpQueueRequested, this, [this](const QString &path) {
        playQueue->moveToFront(path);
        updateStatusLabel(tr("Moved to front of queue"), 5);
    });
    connect(queueDialog, &QueueDialog::removeRequested, this, [this](const QString &path) {
        playQueue->remove(path);
        updateStatusLabel(QString(), 0);
    });
    connect(queueDialog, &QueueDialog::clearRequested, this, [this] {
        playQueue->clear();
        updateStatusLabel(QString(), 0);
    });
    connect(queueDialog, &QueueDialog::reordered, this, [this](const QStringList &order) {
        playQueue->setOrder(order);
        updateStatusLabel(tr("Queue updated."), 5);
    });
    connect(queueDialog, &QDialog::finished, this, [this] { updateStatusLabel(QString(), 0); });
    connect(clearQueueAction, &QAction::triggered, this, [this] {
        playQueue->clear();
        updateStatusLabel(tr("Queue cleared."), 5);
    });
}

void PlayerWindow::closeEvent(QCloseEvent *event)
{
    saveSettings();
    QMainWindow::closeEvent(event);
}

void PlayerWindow::showSearchDialog()
{
    searchDialog->show();
}

void PlayerWindow::showAboutDialog()
{
    aboutDialog->show();
}

void PlayerWindow::showQueueDialog()
{
    queueDialog->setQueue(playQueue->paths(), playQueue->names());
    queueDialog->show();
}

void PlayerWindow::raiseWindow()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void PlayerWindow::quit()
{
    quitAction->trigger();
}

// ---------------------------------------------------------------------------
// Settings

void PlayerWindow::saveSettings()
{
    store.setMusicFolder(mediaLibrary->folder());
    store.setShuffle(player->shuffle());
    store.setLoopMode(player->loopMode());
    store.setVolume(player->volume());
    store.setMainColor(colorAsText);
    store.setIconSize(sizeFactor);
    store.setLastTrack(player->currentRow(), player->currentPath());
    store.saveFavorites();
}

void PlayerWindow::loadSettings()
{
    // The stored track first, so that the library's install finds it by path.
    player->restore(store.lastIndex(), store.lastPath());
    // Shown once its row is known: the cache may install at once or a moment later.
    showRestoredRow = store.hasLastTrack() && store.hasMusicFolder();
    if (store.hasMusicFolder()) {
        mediaLibrary->restoreFolder(store.musicFolder());
        mediaLibrary->loadCacheAndCheck();
    }
    player->setShuffle(store.shuffle());
    player->setLoopMode(PlayOrder::LoopMode(store.loopMode()));
    player->setVolume(store.volume());
    const QMap<int, SettingsStore::Favorite> favorites = store.favorites();
    for (auto it = favorites.cbegin(); it != favorites.cend(); ++it)
        paintFavorite(it.key());
    colorAsText = store.mainColor();
    updateIconSizes(store.iconSize());
}

// ---------------------------------------------------------------------------
// Track list

void PlayerWindow::chooseMusicFolder()
{
    const QString chosen = QFileDialog::getExistingDirectory(
        this, tr("Select Music Folder"), mediaLibrary->folder(), QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty())
        setMusicFolder(chosen);
}

void PlayerWindow::setMusicFolder(const QString &path)
{
    store.setMusicFolder(path);
    mediaLibrary->setFolder(path);
}

void PlayerWindow::showLibrary(Library::Install how)
{
    searchDialog->refreshResults();
    if (how == Library::Install::Scan)
        setWindowTitle(tr("Corvel Media Player"));
    // Every row at once, marked; the list keeps its current file and scroll position.
    trackModel->showAll();
    if (std::exchange(showRestoredRow, false))
        trackList->showRow(player->currentRow());
    else
        trackList->selectIfNone(player->currentRow());
    if (how != Library::Install::Cache) {
        libraryReady = true;
        updateStatusLabel(mediaLibrary->readyMessage(how), mediaLibrary->readyTimeout());
        if (!problemAfterLibrary.isEmpty())
            updateStatusLabel(std::exchange(problemAfterLibrary, QString()), 10);
    }
}

void PlayerWindow::showPlaylistContextMenu(const QPoint &pos)
{
    const int row = trackList->indexAt(pos).row();
    if (row < 0 || row >= mediaLibrary->tracks()->count())
        return;
    // The file, not the row: a library installed while the menu is open puts
    // another track at the row.
    const QString path = mediaLibrary->tracks()->pathAt(row);
    QMenu menu(this);
    menu.addAction(playQueue->contains(path) ? tr("Remove from Queue") : tr("Add to Queue"), this,
        [this, path] {
            playQueue->toggle(path);
            updateStatusLabel(QString(), 0);
        });
    menu.exec(trackList->viewport()->mapToGlobal(pos));
}

void PlayerWindow::toggleQueued(int row)
{
    playQueue->toggle(mediaLibrary->tracks()->pathAt(row));
    updateStatusLabel(QString(), 0);
}

void PlayerWindow::updateStatusLabel(const QString &message, int timeout)
{
    // One timer for the line: a newer message is never cut short by an older one's.
    statusTimer->stop();
    if (message.isEmpty()) {
        statusLabel->setText(playQueue->summary());
        return;
    }
    statusLabel->setText(message);
    if (timeout > 0)
        statusTimer->start(timeout * 1000);
}

void PlayerWindow::showSummaryUnlessTimed()
{
    if (!statusTimer->isActive())
        updateStatusLabel(QString(), 0);
}

// ---------------------------------------------------------------------------
// Position, time and volume

QString PlayerWindow::formatTime(qint64 ms)
{
    return TimeText::position(ms);
}

void PlayerWindow::handlePosition(qint64 pos)
{
    // A held slider is the user's: setting it would emit sliderMoved on
    // Qt 6.4 and seek back to where playback already is.
    if (!slider->isSliderDown())
        slider->setValue(int(pos));
    const qint64 duration = player->duration();
    const QString shown
        = showRemainingTime ? QStringLiteral("-") + formatTime(duration - pos) : formatTime(pos);
    timeLabel->setText(shown + QStringLiteral(" / ") + formatTime(duration));
}

void PlayerWindow::paintVolume(float percent)
{
    {
        // The slider shows the volume; it must not set it back to a whole number.
        const QSignalBlocker blocker(volume);
        volume->setValue(int(percent));
    }
    volume->setToolTip(QString::number(percent, 'g', 6) + QStringLiteral("%"));
    const QSize size = iconSize.value(QStringLiteral("small"));
    mute->setAccessibleName(percent <= 0 ? tr("Unmute") : tr("Mute"));
    const char *icon = percent <= 0 ? "volume-x"
        : percent < 33              ? "volume"
        : percent < 66              ? "volume-1"
                                    : "volume-2";
    SvgIcon::setColoredIcon(mute, QStringLiteral(":/icons/%1.svg").arg(QLatin1String(icon)),
        percent <= 0 ? paletteColor("gray") : mainColor, size);
}

// ---------------------------------------------------------------------------
// Favourites

void PlayerWindow::paintFavorite(int slot)
{
    const auto favorites = store.favorites();
    const auto found = favorites.constFind(slot);
    if (found == favorites.constEnd())
        favoriteGrid->showUnset(slot);
    else
        favoriteGrid->showSet(slot, found->artist + QStringLiteral(" - ") + found->title,
            paletteColor("pink"), iconSize.value(QStringLiteral("normal")));
}

void PlayerWindow::favoriteClicked(int slot)
{
    if (favorite->isChecked()) {
        // With nothing loaded there is nothing to keep: the slot stays as it
        // was, and the click still disarms the heart.
        const Playlist::TrackInfo track = player->nowPlaying();
        if (!track.url.isEmpty()) {
            store.setFavorite(slot, {track.url, track.artist, track.title});
            paintFavorite(slot);
        }
        favorite->setChecked(false);
        return;
    }
    const auto favorites = store.favorites();
    const auto found = favorites.constFind(slot);
    if (found == favorites.constEnd())
        return;
    const SettingsStore::Favorite kept = found.value();
    const bool inLibrary = mediaLibrary->tracks()->indexOf(kept.url) != -1;
    player->playUrl(kept.url);
    if (!inLibrary)
        setWindowTitle(kept.title);
}

// ---------------------------------------------------------------------------
// Appearance

void PlayerWindow::setPlayPauseIcon(bool playing)
{
    SvgIcon::setColoredIcon(playPause,
        playing ? QStringLiteral(":/icons/pause.svg") : QStringLiteral(":/icons/play.svg"),
        mainColor, iconSize.value(QStringLiteral("large")));
    playPause->setAccessibleName(playing ? tr("Pause") : tr("Play"));
}

void PlayerWindow::paintShuffle()
{
    const bool on = player->shuffle();
    SvgIcon::setColoredIcon(shuffle, QStringLiteral(":/icons/shuffle.svg"),
        on ? mainColor : paletteColor("gray"), iconSize.value(QStringLiteral("normal")));
    shuffle->setToolTip(on ? tr("Shuffle: On") : tr("Shuffle: Off"));
    // A screen reader tells the state of a checkable button.
    shuffle->setChecked(on);
}

void PlayerWindow::paintLoop(const QString &trackToolTip)
{
    const QSize size = iconSize.value(QStringLiteral("normal"));
    switch (player->loopMode()) {
    case PlayOrder::Off:
        SvgIcon::setColoredIcon(
            looping, QStringLiteral(":/icons/repeat.svg"), paletteColor("gray"), size);
        looping->setToolTip(tr("Looping Off"));
        break;
    case PlayOrder::List:
        SvgIcon::setColoredIcon(looping, QStringLiteral(":/icons/repeat.svg"), mainColor, size);
        looping->setToolTip(tr("Looping Playlist"));
        break;
    case PlayOrder::Track:
        SvgIcon::setColoredIcon(looping, QStringLiteral(":/icons/repeat-1.svg"), mainColor, size);
        looping->setToolTip(trackToolTip);
        break;
    }
    // The description carries the mode, as the tool tip shows it.
    looping->setAccessibleDescription(
        tr("%1. Cycles off, whole list, current track").arg(looping->toolTip()));
}

void PlayerWindow::updateButtons(const QString &colorName)
{
    mainColor = palette.value(colorName);
    colorAsText = colorName;
    const QSize small = iconSize.value(QStringLiteral("small"));
    const QSize normal = iconSize.value(QStringLiteral("normal"));
    SvgIcon::setColoredIcon(stop, QStringLiteral(":/icons/stop.svg"), mainColor, small);
    SvgIcon::setColoredIcon(previous, QStringLiteral(":/icons/rewind.svg"), mainColor, normal);
    SvgIcon::setColoredIcon(forward, QStringLiteral(":/icons/fast-forward.svg"), mainColor, normal);
    SvgIcon::setColoredIcon(
        favorite, QStringLiteral(":/icons/heart-plus.svg"), paletteColor("pink"), small);
    paintShuffle();
    // The repaint has always spelt the track mode in lower case; the toggle does not.
    paintLoop(tr("Looping current track"));
    paintVolume(player->volume());
    const QList<int> kept = store.favorites().keys();
    for (const int slot : kept)
        paintFavorite(slot);
    setPlayPauseIcon(player->playbackState() == QMediaPlayer::PlayingState);
    searchDialog->setIcons(mainColor, normal);
    queueDialog->setIcons(mainColor, paletteColor("red"), normal);
    saveSettings();
}

void PlayerWindow::updateIconSizes(const QString &size)
{
    SizeRow row;
    // An unknown stored size falls back to the normal row so icons never come
    // out blank; the text itself is kept and stored back.
    if (!sizeRowFor(size, &row))
        sizeRowFor(QStringLiteral("normal"), &row);
    iconSize.insert(QStringLiteral("small"), row.small);
    iconSize.insert(QStringLiteral("normal"), row.normal);
    iconSize.insert(QStringLiteral("large"), row.large);
    favoriteGrid->setButtonSize(row.grid, row.leftMargin);
    sizeFactor = size;
    updateButtons(colorAsText);
}

void PlayerWindow::loadFolderIcons()
{
    const QSize small = iconSize.value(QStringLiteral("small"));
    const auto paint = [small](QAction *action, const char *icon, const QColor &color) {
        action->setIcon(SvgIcon::coloredIcon(
            QStringLiteral(":/icons/%1.svg").arg(QLatin1String(icon)), color, small));
    };
    const QColor black = paletteColor("black");
    paint(setFolderAction, "folder", black);
    paint(updateAction, "rotate-ccw", black);
    paint(quitAction, "log-out", paletteColor("red"));
    paint(showQueueAction, "list-music", black);
    paint(clearQueueAction, "trash-2", paletteColor("red"));
    paint(openSearch, "search", black);
    paint(colorMenu->menuAction(), "palette", black);
    paint(sizeMenu->menuAction(), "scaling", black);
    paint(setOrange, "filled-circle", paletteColor("orange"));
    paint(setBlue, "filled-circle", paletteColor("blue"));
    paint(setGreen, "filled-circle", paletteColor("green"));
}

// ---------------------------------------------------------------------------
// Opening files

void PlayerWindow::openFiles(const FileResolver::Result &request)
{
    if (!request.problems.isEmpty()) {
        DesktopApp::printProblems(request.problems);
        const int more = int(request.problems.size()) - 1;
        const QString &first = request.problems.constFirst();
        const QString message
            = more > 0 ? tr("%1 (%n more not opened)", "", more).arg(first) : first;
        updateStatusLabel(message, 10);
        // While the library is still being read (at start), the message that
        // it is in would hide this at once: it comes again after that one.
        if (!libraryReady && !mediaLibrary->folder().isEmpty())
            problemAfterLibrary = message;
    }
    if (request.files.isEmpty())
        return;
    // Nothing has played since the start: the list shows the restored track,
    // which the files named replace.
    const bool restored = player->resumePending();
    player->open(request.files);
    if (restored && mediaLibrary->tracks()->at(player->currentRow()) == player->source())
        trackList->showRow(player->currentRow());
}

void PlayerWindow::dragEnterEvent(QDragEnterEvent *event)
{
    const Qt::DropAction action = openAction(event);
    event->setDropAction(action);
    event->setAccepted(action != Qt::IgnoreAction);
}

void PlayerWindow::dropEvent(QDropEvent *event)
{
    const Qt::DropAction action = openAction(event);
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
    openFiles(FileResolver::resolve(event->mimeData()->urls()));
}
