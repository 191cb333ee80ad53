#include "ui/PlayerWindow.h"

#include "app/DesktopApp.h"
#include "library/Library.h"
#include "library/Playlist.h"
#include "library/SettingsStore.h"
#include "library/TimeText.h"
#include "library/TrackModel.h"
#include "library/cover/CoverArtLoader.h"
#include "playback/PlayerController.h"
#include "playback/QueueController.h"
#include "ui/FileDropTarget.h"
#include "ui/SvgIcon.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/dialogs/QueueDialog.h"
#include "ui/dialogs/SearchDialog.h"
#include "ui/widgets/CoverView.h"
#include "ui/widgets/FavoriteGrid.h"
#include "ui/widgets/PlayerControls.h"
#include "ui/widgets/PlayerMenuBar.h"
#include "ui/widgets/ProgressBar.h"
#include "ui/widgets/StatusLine.h"
#include "ui/widgets/TrackList.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

PlayerWindow::PlayerWindow(PlayerCore *core, QWidget *parent)
    : QMainWindow(parent)
    , playerCore(core)
    , store(core->settings())
    , mediaLibrary(core->library())
    , playQueue(core->queue())
    , player(core->controller())
    , menus(new PlayerMenuBar(this))
    , queueDialog(new QueueDialog(this))
    , searchDialog(new SearchDialog(mediaLibrary->tracks(), playQueue, this))
    , aboutDialog(new AboutDialog(this))
    , trackModel(new TrackModel(mediaLibrary->tracks(), playQueue, this))
    , trackList(new TrackList(trackModel, [this] { return player->currentRow(); }))
    , statusLine(new StatusLine(mediaLibrary, playQueue))
    , controls(new PlayerControls(statusLine, this))
    , coverView(new CoverView(this))
    , favorite(new QPushButton(this))
    , favoriteGrid(new FavoriteGrid)
{
    setupUI();
    // Everything the core's start() changes reaches the window from here on.
    setupConnections();
    // Shown once its row is known: the cache may install at once or a moment later.
    showRestoredRow = store->hasLastTrack() && store->hasMusicFolder();
    setWindowTitle(tr("Corvel Media Player"));
    setWindowIcon(DesktopApp::icon());
    // The track list takes no drops itself: they reach the window.
    connect(new FileDropTarget(this), &FileDropTarget::dropped, this,
        [this](const QList<QUrl> &urls) { openFiles(FileResolver::resolve(urls)); });
}

PlayerWindow::~PlayerWindow() = default;

// ---------------------------------------------------------------------------
// Widget tree

void PlayerWindow::setupUI()
{
    auto *central = new QWidget(this);
    setupShortcuts();
    favorite->setObjectName(QStringLiteral("setFavoriteButton"));

    auto *mainLayout = new QHBoxLayout(central);
    auto *leftSideLayout = new QVBoxLayout;
    leftSideLayout->addWidget(trackList);

    // The cover takes the free space left of the heart, under the list.
    auto *favoritesLayout = new QHBoxLayout;
    favoritesLayout->addWidget(coverView, 0, Qt::AlignBottom);
    favoritesLayout->addStretch(2);
    favorite->setCheckable(true);
    favorite->setAccessibleName(tr("Set favorite"));
    favorite->setAccessibleDescription(
        tr("Then choose a favorite button to keep the playing track on"));
    favoritesLayout->addWidget(favorite);
    leftSideLayout->addLayout(favoritesLayout);
    leftSideLayout->addWidget(controls);
    mainLayout->addLayout(leftSideLayout, 3);

    mainLayout->addWidget(favoriteGrid, 1);

    setMenuBar(menus);
    setCentralWidget(central);

    // Tab follows the reading order, not the order the widgets were made in.
    QList<QWidget *> tabOrder = QList<QWidget *>{trackList, favorite} + controls->focusOrder();
    for (FavoriteButton *button : favoriteGrid->buttons())
        tabOrder.append(button);
    for (int i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));
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
    connect(menus, &PlayerMenuBar::searchRequested, this, &PlayerWindow::showSearchDialog);
    connect(menus, &PlayerMenuBar::chooseFolderRequested, this, &PlayerWindow::chooseMusicFolder);
    connect(menus, &PlayerMenuBar::updateRequested, mediaLibrary, &Library::loadCacheAndCheck);
    connect(menus, &PlayerMenuBar::quitRequested, this, &PlayerWindow::quit);
    connect(menus, &PlayerMenuBar::showQueueRequested, this, &PlayerWindow::showQueueDialog);
    connect(menus, &PlayerMenuBar::aboutRequested, this, &PlayerWindow::showAboutDialog);
    connect(menus, &PlayerMenuBar::colorChosen, this, &PlayerWindow::updateButtons);
    connect(menus, &PlayerMenuBar::sizeChosen, this, &PlayerWindow::updateIconSizes);
    connect(menus, &PlayerMenuBar::replayGainChosen, player,
        [this](int mode) { player->setReplayGainMode(ReplayGain::Mode(mode)); });
    connect(player, &PlayerController::replayGainModeChanged, menus,
        [this](ReplayGain::Mode mode) { menus->setReplayGainMode(int(mode)); });
    connect(menus, &PlayerMenuBar::notificationsToggled, playerCore,
        &PlayerCore::setNotificationsEnabled);

    connect(controls, &PlayerControls::playPauseClicked, this, &PlayerWindow::playOrPause);
    connect(controls, &PlayerControls::stopClicked, player, &PlayerController::stop);
    connect(controls, &PlayerControls::previousClicked, player, &PlayerController::previous);
    connect(controls, &PlayerControls::nextClicked, player, &PlayerController::next);
    connect(controls, &PlayerControls::shuffleClicked, this,
        [this] { player->setShuffle(!player->shuffle()); });
    connect(controls, &PlayerControls::loopClicked, player, &PlayerController::cycleLoopMode);
    connect(controls, &PlayerControls::muteClicked, player, &PlayerController::toggleMute);
    connect(controls, &PlayerControls::volumeMoved, this,
        [this](int value) { player->setVolume(value); });
    connect(controls, &PlayerControls::seekRequested, this,
        [this](int position) { player->seek(position); });
    connect(controls, &PlayerControls::timeClicked, this,
        [this] { showRemainingTime = !showRemainingTime; });
    connect(favoriteGrid, &FavoriteGrid::clicked, this, &PlayerWindow::favoriteClicked);
    connect(favoriteGrid, &FavoriteGrid::cleared, this, [this](int slot) {
        store->clearFavorite(slot);
        paintFavorite(slot);
    });

    connect(trackList, &QWidget::customContextMenuRequested, this,
        &PlayerWindow::showPlaylistContextMenu);
    connect(trackList, &TrackList::playRequested, player, &PlayerController::playRow);
    connect(trackList, &TrackList::queueToggleRequested, this, &PlayerWindow::toggleQueued);
    connect(trackList, &TrackList::playPauseRequested, this, &PlayerWindow::playOrPause);
    connect(trackList, &TrackList::nextRequested, player, &PlayerController::next);
    connect(trackList, &TrackList::previousRequested, player, &PlayerController::previous);
    connect(trackList, &TrackList::stopRequested, player, &PlayerController::stop);
    // A full scan leaves the records alone until it installs, so the rows keep
    // showing what they play meanwhile.
    connect(mediaLibrary, &Library::status, this,
        [this](const QString &message, int timeout, Library::Status kind) {
            if (kind == Library::Status::Problem)
                statusLine->showNotice(message, timeout);
            else
                updateStatusLabel(message, timeout);
        });
    connect(mediaLibrary, &Library::installed, this, &PlayerWindow::showLibrary);

    connect(searchDialog, &SearchDialog::playRequested, player, &PlayerController::playRow);
    connect(searchDialog, &SearchDialog::queueRequested, this, &PlayerWindow::toggleQueued);
    connect(searchDialog, &SearchDialog::jumpRequested, this, [this](int row) {
        trackList->hold();
        trackList->setCurrentRow(row);
    });
    connect(playerCore, &PlayerCore::settingsLoaded, this, &PlayerWindow::loadSettings);
    connect(playerCore, &PlayerCore::raiseRequested, this, &PlayerWindow::raiseWindow);
    connect(playerCore, &PlayerCore::quitRequested, this, &PlayerWindow::quit);
    connectController();
    connectQueue();
}

void PlayerWindow::connectController()
{
    connect(player, &PlayerController::sourceChanged, this, &PlayerWindow::showPlayingInTitle);
    connect(player, &PlayerController::rowStarted, this, [this] {
        showPlayingInTitle();
        trackList->follow();
    });
    connect(playerCore->coverArt(), &CoverArtLoader::coverChanged, coverView,
        [this](const CoverArt &art) { coverView->setImage(art.image); });
    connect(player, &PlayerController::opened, this, [this] {
        // Opened from outside the list (the command line, a drop, the desktop
        // bus): the list shows the row that plays, as a double click leaves it.
        if (mediaLibrary->tracks()->at(player->currentRow()) == player->source())
            trackList->showRow(player->currentRow());
    });
    connect(player, &PlayerController::finished, this,
        [this] { setWindowTitle(tr("Playing finished.")); });
    connect(player, &PlayerController::playbackStateChanged, controls,
        [this](QMediaPlayer::PlaybackState state) {
            controls->setPlaying(state == QMediaPlayer::PlayingState);
        });
    connect(player, &PlayerController::playbackError, this,
        [this](const QString &name, const QString &error) {
            statusLine->showNotice(tr("Cannot play %1: %2").arg(name, error), 10);
        });
    connect(player, &PlayerController::shuffleChanged, controls, &PlayerControls::setShuffle);
    connect(player, &PlayerController::loopModeChanged, controls, [this](PlayOrder::LoopMode mode) {
        controls->setLoopMode(mode, tr("Looping Current Track"));
    });
    connect(player, &PlayerController::volumeChanged, controls, &PlayerControls::setVolume);
    connect(player, &PlayerController::positionChanged, this, &PlayerWindow::handlePosition);
    connect(player, &PlayerController::durationChanged, controls, &PlayerControls::setDuration);
}

void PlayerWindow::connectQueue()
{
    // The track list's and the search's models mark their rows themselves.
    connect(playQueue, &QueueController::changed, this, [this] {
        // A hidden dialog is filled when it is shown: a folder of thousands
        // of files opened must not build thousands of rows no one sees.
        if (queueDialog->isVisible())
            queueDialog->setQueue(playQueue->paths(), playQueue->names());
        statusLine->showSummaryUnlessTimed();
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
    connect(menus, &PlayerMenuBar::clearQueueRequested, this, [this] {
        playQueue->clear();
        updateStatusLabel(tr("Queue cleared."), 5);
    });
}

void PlayerWindow::closeEvent(QCloseEvent *event)
{
    saveSettings();
    QMainWindow::closeEvent(event);
}

void PlayerWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange)
        playerCore->setWindowActive(isActiveWindow());
    QMainWindow::changeEvent(event);
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
    // QCoreApplication::quit() closes the visible windows first, so closeEvent saves as well.
    saveSettings();
    QCoreApplication::quit();
}

// ---------------------------------------------------------------------------
// Settings

void PlayerWindow::saveSettings()
{
    store->setMainColor(colorAsText);
    store->setIconSize(sizeFactor);
    playerCore->saveSettings();
}

void PlayerWindow::loadSettings()
{
    const QList<int> kept = store->favorites().keys();
    for (const int slot : kept)
        paintFavorite(slot);
    colorAsText = store->mainColor();
    updateIconSizes(store->iconSize());
    menus->paintIcons();
    menus->setNotificationsChecked(playerCore->notificationsEnabled());
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

void PlayerWindow::showLibrary(Library::Install how)
{
    searchDialog->refreshResults();
    // A new scan may have moved the playing row, or found the file playing from outside.
    if (how == Library::Install::Scan)
        showPlayingInTitle();
    // Every row at once, marked; the list keeps its current file and scroll position.
    trackModel->showAll();
    if (std::exchange(showRestoredRow, false))
        trackList->showRow(player->currentRow());
    else
        trackList->selectIfNone(player->currentRow());
    statusLine->showLibraryReady(how);
}

void PlayerWindow::showPlayingInTitle()
{
    const QUrl source = player->source();
    const Playlist *tracks = mediaLibrary->tracks();
    if (source.isEmpty())
        setWindowTitle(tr("Corvel Media Player"));
    else if (tracks->at(player->currentRow()) == source)
        setWindowTitle(tracks->textAt(player->currentRow()));
    else // a file outside the library: its own tags, read as the library reads them
        setWindowTitle(player->nowPlaying().displayName);
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
    statusLine->showMessage(message, timeout);
}

// ---------------------------------------------------------------------------
// Transport, position and time

void PlayerWindow::playOrPause()
{
    if (player->resumePending())
        trackList->hold(); // the list already shows the track that resumes
    player->togglePlayPause();
}

QString PlayerWindow::formatTime(qint64 ms)
{
    return TimeText::position(ms);
}

void PlayerWindow::handlePosition(qint64 pos)
{
    controls->setPosition(pos);
    const qint64 duration = player->duration();
    const QString shown
        = showRemainingTime ? QStringLiteral("-") + formatTime(duration - pos) : formatTime(pos);
    controls->setTimeText(shown + QStringLiteral(" / ") + formatTime(duration));
}

// ---------------------------------------------------------------------------
// Favourites

void PlayerWindow::paintFavorite(int slot)
{
    const auto favorites = store->favorites();
    const auto found = favorites.constFind(slot);
    if (found == favorites.constEnd())
        favoriteGrid->showUnset(slot);
    else
        favoriteGrid->showSet(slot, found->artist + QStringLiteral(" - ") + found->title,
            Theme::color("pink"), Theme::size("normal"));
}

void PlayerWindow::favoriteClicked(int slot)
{
    if (favorite->isChecked()) {
        // The click disarms the heart, whether or not there was something to keep.
        if (playerCore->keepFavorite(slot))
            paintFavorite(slot);
        favorite->setChecked(false);
    } else if (playerCore->playFavorite(slot)) {
        // No row names a favourite from outside the library: its kept title does.
        const SettingsStore::Favorite kept = store->favorites().value(slot);
        if (mediaLibrary->tracks()->indexOf(kept.url) == -1)
            setWindowTitle(kept.title);
    }
}

// ---------------------------------------------------------------------------
// Appearance

void PlayerWindow::updateButtons(const QString &colorName)
{
    mainColor = palette.value(colorName);
    colorAsText = colorName;
    const QSize normal = Theme::size("normal");
    controls->setColor(mainColor);
    SvgIcon::setColoredIcon(
        favorite, Theme::icon("heart-plus"), Theme::color("pink"), Theme::size("small"));
    controls->setShuffle(player->shuffle());
    // The repaint has always spelt the track mode in lower case; the toggle does not.
    controls->setLoopMode(player->loopMode(), tr("Looping current track"));
    controls->setVolume(player->volume());
    const QList<int> kept = store->favorites().keys();
    for (const int slot : kept)
        paintFavorite(slot);
    controls->setPlaying(player->playbackState() == QMediaPlayer::PlayingState);
    searchDialog->setIcons(mainColor, normal);
    queueDialog->setIcons(mainColor, Theme::color("red"), normal);
    saveSettings();
}

void PlayerWindow::updateIconSizes(const QString &size)
{
    // An unknown stored size is kept as it is and stored back.
    const Theme::Sizes row = Theme::applySize(size);
    favoriteGrid->setButtonSize(row.grid, row.leftMargin);
    sizeFactor = size;
    updateButtons(colorAsText);
}

// ---------------------------------------------------------------------------
// Opening files

void PlayerWindow::openFiles(const FileResolver::Result &request)
{
    if (!request.problems.isEmpty()) {
        DesktopApp::printProblems(request.problems);
        statusLine->showProblems(request.problems);
    }
    if (request.files.isEmpty())
        return;
    player->open(request.files);
}
