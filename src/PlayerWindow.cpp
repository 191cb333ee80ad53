#include "PlayerWindow.h"

#include "AboutDialog.h"
#include "DesktopApp.h"
#include "PlayQueue.h"
#include "Playlist.h"
#include "ProgressBar.h"
#include "QueueDialog.h"
#include "SearchDialog.h"
#include "SvgIcon.h"

#include <QApplication>
#include <QAudioOutput>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMediaMetaData>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSpacerItem>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString cacheFileName = QStringLiteral("/playlist_cache.json");

/**
 * Seconds of a "m:ss" duration text, or 0 for anything else: the cache can be
 * damaged or edited by hand. The minutes are capped so that no sum of them
 * can come near the end of a 64-bit count.
 */
qint64 durationSeconds(const QString &text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    const QStringView minutes = QStringView(text).left(colon);
    const QStringView seconds = QStringView(text).mid(colon + 1);
    const auto allDigits = [](QStringView part) {
        return std::all_of(part.begin(), part.end(),
                           [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
    };
    if (colon < 1 || minutes.size() > 9 || seconds.size() != 2 || !allDigits(minutes) || !allDigits(seconds))
        return 0;
    const int s = seconds.toInt();
    if (s >= 60)
        return 0;
    return minutes.toLongLong() * 60 + s;
}

struct SizeRow {
    QSize small;
    QSize normal;
    QSize large;
    QSize grid;
    int leftMargin;
};

bool sizeRowFor(const QString &size, SizeRow *row)
{
    if (size == QLatin1String("small")) {
        *row = {QSize(8, 8), QSize(16, 16), QSize(24, 24), QSize(28, 28), 25};
    } else if (size == QLatin1String("normal")) {
        *row = {QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(56, 56), 50};
    } else if (size == QLatin1String("big")) {
        *row = {QSize(32, 32), QSize(64, 64), QSize(96, 96), QSize(112, 112), 100};
    } else {
        return false;
    }
    return true;
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
    , player(new QMediaPlayer(this))
    , audioOutput(new QAudioOutput(this))
    , mediaList(new Playlist(this))
    , fillPos(0)
    , queue(new PlayQueue)
    , menuBar(new QMenuBar(this))
    , settings(QStringLiteral("Tavrenin International"), QStringLiteral("Corvelia"))
    , queueDialog(new QueueDialog(this))
    , searchDialog(new SearchDialog(mediaList, queue, this))
    , aboutDialog(new AboutDialog(this))
    , followTimer(new QTimer(this))
    , currentIndex(-1)
    , playPause(new QPushButton(this))
    , previous(new QPushButton(this))
    , forward(new QPushButton(this))
    , stop(new QPushButton(this))
    , shuffle(new QPushButton(this))
    , looping(new QPushButton(this))
    , mute(new QPushButton(this))
    , volume(new QSlider(Qt::Horizontal, this))
    , favorite(new QPushButton(this))
    , selectingFavorite(false)
    , gridButtonSize(56, 56)
    , playlistWidget(new QListWidget)
    , slider(new ClickableSlider(Qt::Horizontal, this))
    , statusLabel(new QLabel)
    , timeLabel(new ClickableLabel(this))
    , showRemainingTime(false)
{
    setupUI();
    loadSettings();
    loadFolderIcons();
    setupConnections();
    setWindowTitle(tr("Corvel Media Player"));
    setWindowIcon(DesktopApp::icon());
}

PlayerWindow::~PlayerWindow()
{
    delete queue;
}

// ---------------------------------------------------------------------------
// Widget tree

void PlayerWindow::setupUI()
{
    auto *central = new QWidget(this);

    playlistWidget->installEventFilter(this);
    player->setAudioOutput(audioOutput);

    vol = settings.value(QStringLiteral("volume")).toFloat();
    audioOutput->setVolume(vol / 100);

    slider->setRange(0, 100);
    volume->setRange(0, 100);
    volume->setValue(static_cast<int>(vol));

    followTimer->setInterval(1000);
    followTimer->start();

    queueDialog->setQueue(queue->getList(), queueDisplayNames());

    playlistMenu = menuBar->addMenu(tr("Media"));
    openSearch = playlistMenu->addAction(tr("Search"));
    connect(openSearch, &QAction::triggered, this, &PlayerWindow::showSearchDialog);
    playlistMenu->addSeparator();
    setFolderAction = playlistMenu->addAction(tr("Set music folder..."));
    updateAction = playlistMenu->addAction(tr("Update playlist"));
    playlistMenu->addSeparator();
    quitAction = playlistMenu->addAction(tr("Quit"));
    // quit() closes the visible windows first, so closeEvent saves as well;
    // the save here does not depend on that.
    connect(quitAction, &QAction::triggered, this, [this] {
        saveSettings();
        QCoreApplication::quit();
    });

    queueMenu = menuBar->addMenu(tr("Queue"));
    showQueueAction = queueMenu->addAction(tr("Show Queue"));
    connect(showQueueAction, &QAction::triggered, this, &PlayerWindow::showQueueDialog);
    clearQueueAction = queueMenu->addAction(tr("Clear Queue"));

    stylesMenu = menuBar->addMenu(tr("Style"));
    colorMenu = stylesMenu->addMenu(tr("Color"));
    setOrange = colorMenu->addAction(tr("Orange"));
    setBlue = colorMenu->addAction(tr("Blue"));
    setGreen = colorMenu->addAction(tr("Green"));
    sizeMenu = stylesMenu->addMenu(tr("Size"));
    iconSmall = sizeMenu->addAction(tr("Small"));
    iconNormal = sizeMenu->addAction(tr("Normal"));
    iconBig = sizeMenu->addAction(tr("Big"));

    aboutMenu = menuBar->addMenu(tr("About"));
    showAboutAction = aboutMenu->addAction(tr("About Corvel Media Player"));
    connect(showAboutAction, &QAction::triggered, this, &PlayerWindow::showAboutDialog);

    setupShortcuts();

    playlistWidget->setContextMenuPolicy(Qt::CustomContextMenu);
    // Rows all have one height; this keeps filling and scrolling a large
    // library cheap.
    playlistWidget->setUniformItemSizes(true);

    auto *mainLayout = new QHBoxLayout(central);
    auto *leftSideLayout = new QVBoxLayout;
    playlistWidget->setAccessibleName(tr("Track list"));
    leftSideLayout->addWidget(playlistWidget);

    auto *favoritesLayout = new QHBoxLayout;
    favoritesLayout->addStretch(2);
    favorite->setCheckable(true);
    favorite->setAccessibleName(tr("Set favorite"));
    favorite->setAccessibleDescription(tr("Then choose a favorite button to keep the playing track on"));
    favoritesLayout->addWidget(favorite);
    leftSideLayout->addLayout(favoritesLayout);

    // The transport buttons show only icons; screen readers read these.
    previous->setAccessibleName(tr("Previous track"));
    previous->setAccessibleDescription(tr("Play the previous track"));
    shuffle->setAccessibleName(tr("Shuffle"));
    shuffle->setAccessibleDescription(tr("Switch shuffle on or off"));
    playPause->setAccessibleName(tr("Play"));
    playPause->setAccessibleDescription(tr("Play or pause the current track"));
    stop->setAccessibleName(tr("Stop"));
    stop->setAccessibleDescription(tr("Stop playback"));
    looping->setAccessibleName(tr("Loop"));
    looping->setAccessibleDescription(tr("Cycle the loop mode: off, whole list, current track"));
    forward->setAccessibleName(tr("Next track"));
    forward->setAccessibleDescription(tr("Play the next track"));

    auto *controlsLayout = new QHBoxLayout;
    controlsLayout->addWidget(previous);
    controlsLayout->addWidget(shuffle);
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

    buttonGrid = new QGridLayout;
    buttonGrid->setContentsMargins(50, 0, 10, 0);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            auto *button = new FavoriteButton(tr("Fav %1").arg(i * 4 + j + 1), nullptr);
            gridFont.setPointSize(10);
            button->setFont(gridFont);
            button->setToolTip(tr("No favorite set"));
            button->setFixedSize(gridButtonSize);
            buttonGrid->addWidget(button, i, j);
            buttons.append(button);
        }
    }
    mainLayout->addLayout(buttonGrid, 1);

    setMenuBar(menuBar);
    setCentralWidget(central);

    // Tab follows the reading order, not the order the widgets were made in.
    QList<QWidget *> tabOrder = {playlistWidget, favorite, previous, shuffle, playPause, stop,
                                 looping, forward, slider, volume, mute};
    for (FavoriteButton *button : std::as_const(buttons))
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
    createShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { forward->click(); });
    createShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left), [this] { previous->click(); });
}

// The order of these connections is part of the behaviour: handlers that share
// a signal run in this order, and nothing done while the window was built
// reaches any of them.
void PlayerWindow::setupConnections()
{
    connect(setFolderAction, &QAction::triggered, this, [this] { chooseMusicFolder(); });
    connect(updateAction, &QAction::triggered, this, [this] { updatePlaylist(); });
    connect(setOrange, &QAction::triggered, this, [this] { updateButtons(QStringLiteral("orange")); });
    connect(setBlue, &QAction::triggered, this, [this] { updateButtons(QStringLiteral("blue")); });
    connect(setGreen, &QAction::triggered, this, [this] { updateButtons(QStringLiteral("green")); });
    connect(iconSmall, &QAction::triggered, this, [this] { updateIconSizes(QStringLiteral("small")); });
    connect(iconNormal, &QAction::triggered, this, [this] { updateIconSizes(QStringLiteral("normal")); });
    connect(iconBig, &QAction::triggered, this, [this] { updateIconSizes(QStringLiteral("big")); });
    connect(playlistWidget, &QWidget::customContextMenuRequested, this,
            &PlayerWindow::showPlaylistContextMenu);
    connect(playPause, &QPushButton::clicked, this, [this] { togglePlayPause(); });
    connect(stop, &QPushButton::clicked, this, [this] { stopPlayback(); });
    connect(previous, &QPushButton::clicked, this, [this] { playPrevious(); });
    connect(forward, &QPushButton::clicked, this, [this] { playNext(); });
    connect(shuffle, &QPushButton::clicked, this, [this] { toggleShuffle(); });
    connect(looping, &QPushButton::clicked, this, [this] { toggleLoop(); });
    connect(favorite, &QPushButton::toggled, this, [this](bool checked) { selectingFavorite = checked; });
    for (int i = 0; i < buttons.size(); ++i) {
        FavoriteButton *button = buttons.at(i);
        connect(button, &FavoriteButton::clicked, this, [this, i, button] { favoriteClicked(i, button); });
        connect(button, &FavoriteButton::rightClicked, this,
                [this, i, button] { favoriteCleared(i, button); });
    }
    connect(player, &QMediaPlayer::mediaStatusChanged, this, &PlayerWindow::handleMediaStatus);
    connect(slider, &QSlider::sliderMoved, this, [this](int position) { seek(position); });
    connect(volume, &QSlider::valueChanged, this, &PlayerWindow::handleVolume);
    previousVolume = volume->value();
    connect(mute, &QPushButton::clicked, this, [this] { handleMute(); });
    connect(timeLabel, &ClickableLabel::clicked, this, [this] { showRemainingTime = !showRemainingTime; });
    connect(player, &QMediaPlayer::positionChanged, this, &PlayerWindow::handlePosition);
    connect(player, &QMediaPlayer::durationChanged, this, &PlayerWindow::handleDuration);
    connect(playlistWidget, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        lastScrollTime = QDateTime::currentDateTime();
        playTrack(playlistWidget->row(item));
    });
    connect(playlistWidget->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { lastScrollTime = QDateTime::currentDateTime(); });
    // A row the user picks is theirs for a minute, like a scrolled list.
    connect(playlistWidget, &QAbstractItemView::pressed, this,
            [this] { lastScrollTime = QDateTime::currentDateTime(); });

    connect(queueDialog, &QueueDialog::moveUpRequested, this, [this](const QString &path) {
        queue->moveUp(path);
        updateQueueIndicators();
    });
    connect(queueDialog, &QueueDialog::moveDownRequested, this, [this](const QString &path) {
        queue->moveDown(path);
        updateQueueIndicators();
    });
    connect(queueDialog, &QueueDialog::jumpQueueRequested, this, [this](const QString &path) {
        queue->moveToFront(path);
        updateQueueIndicators();
        updateStatusLabel(tr("Moved to front of queue"), 5);
    });
    connect(queueDialog, &QueueDialog::removeRequested, this, [this](const QString &path) {
        queue->remove(path);
        updateQueueIndicators();
        updateStatusLabel(QString(), 0);
    });
    connect(clearQueueAction, &QAction::triggered, this, [this] {
        queue->clear();
        updateQueueIndicators();
        queue->setActive(false);
        updateStatusLabel(tr("Queue cleared."), 5);
    });
    connect(queueDialog, &QueueDialog::clearRequested, this, [this] {
        queue->clear();
        queue->setActive(false);
        updateQueueIndicators();
        updateStatusLabel(QString(), 0);
    });
    connect(queueDialog, &QueueDialog::reordered, this, [this](const QStringList &newOrder) {
        queue->clear();
        for (const QString &path : newOrder)
            queue->add(path);
        refillQueueDialog();
        updateQueueIndicators();
        updateStatusLabel(tr("Queue updated."), 5);
    });
    connect(searchDialog, &SearchDialog::playRequested, this, [this](const int &index) { playTrack(index); });
    connect(searchDialog, &SearchDialog::queueRequested, this,
            [this](const int &index) { addToQueue(mediaList->at(index).toLocalFile()); });
    connect(searchDialog, &SearchDialog::jumpRequested, this,
            [this](const int &index) {
                lastScrollTime = QDateTime::currentDateTime();
                playlistWidget->setCurrentRow(index);
            });
    connect(followTimer, &QTimer::timeout, this, [this] { followPlayingRow(); });
    connect(player, &QMediaPlayer::sourceChanged, this, &PlayerWindow::handleSourceChanged);
    // A file that cannot be played must not leave a silent player that looks busy.
    connect(player, &QMediaPlayer::errorOccurred, this, [this] { reportPlaybackError(); });
    // For remote views of the player; the window itself does not use it.
    connect(player, &QMediaPlayer::playbackStateChanged, this, &PlayerWindow::playbackStateChanged);
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

// ---------------------------------------------------------------------------
// Playback

void PlayerWindow::playTrack(int index)
{
    justStarted = false;
    const int count = mediaList->count();
    if (index < 0 || index >= count)
        return;

    currentIndex = index;
    currentPath = mediaList->at(index).toLocalFile();
    // Emits sourceChanged at once: its handler titles the window and saves.
    player->setSource(mediaList->at(index));
    player->play();
    setPlayPauseIcon(true);
    setWindowTitle(mediaList->textAt(index));

    if (followDue()) {
        playlistWidget->setCurrentRow(currentIndex);
        if (QListWidgetItem *item = playlistWidget->currentItem())
            playlistWidget->scrollToItem(item, QAbstractItemView::EnsureVisible);
    }
}

void PlayerWindow::togglePlayPause()
{
    if (justStarted && !mediaNames.isEmpty()) {
        // Resume the row of the last run without moving the list away from it.
        lastScrollTime = QDateTime::currentDateTime();
        playTrack(currentIndex);
    } else if (player->playbackState() == QMediaPlayer::PlayingState) {
        player->pause();
        setPlayPauseIcon(false);
    } else {
        // With no source (empty library, restored row past the end) nothing
        // starts, and the button must not claim otherwise.
        player->play();
        setPlayPauseIcon(player->playbackState() == QMediaPlayer::PlayingState);
    }
}

void PlayerWindow::stopPlayback()
{
    player->stop();
    setPlayPauseIcon(false);
}

void PlayerWindow::playPrevious()
{
    if (shuffleEnabled && !playHistory.isEmpty()) {
        currentIndex = playHistory.pop();
        playTrack(currentIndex);
    } else if (!shuffleEnabled && currentIndex > 0) {
        --currentIndex;
        playTrack(currentIndex);
    }
}

int PlayerWindow::randomPick() const
{
    const int count = mediaList->count();
    if (count <= 0)
        return -1;
    int pick = static_cast<int>(QRandomGenerator::global()->bounded(count));
    while (pick == currentIndex && count > 1)
        pick = static_cast<int>(QRandomGenerator::global()->bounded(count));
    return pick;
}

void PlayerWindow::advanceShuffled()
{
    playHistory.push(currentIndex);
    shuffle->setToolTip(tr("Shuffle: On"));
    // An empty library has nothing to pick: the press changes nothing else.
    const int pick = randomPick();
    if (pick < 0)
        return;
    currentIndex = pick;
    playTrack(currentIndex);
}

bool PlayerWindow::playFromQueue(bool refreshBeforePlay)
{
    if (!queue->isActive() || queue->isEmpty())
        return false;
    const QString path = queue->next();
    const int row = mediaList->indexOf(QUrl::fromLocalFile(path));
    if (row == -1) {
        // Gone from the library: dropped, and the normal rule goes on.
        updateStatusLabel(QString(), 0);
        updateQueueIndicators();
        return false;
    }
    if (refreshBeforePlay) {
        updateQueueIndicators();
        updateStatusLabel(QString(), 0);
        playTrack(row);
    } else {
        playTrack(row);
        updateStatusLabel(QString(), 0);
        updateQueueIndicators();
    }
    return true;
}

void PlayerWindow::playNext()
{
    if (playFromQueue(false))
        return;
    if (shuffleEnabled) {
        advanceShuffled();
        return;
    }
    const int count = mediaList->count();
    if (currentIndex < count - 1) {
        playHistory.push(currentIndex);
        ++currentIndex;
        shuffle->setToolTip(tr("Shuffle: Off"));
        playTrack(currentIndex);
    }
}

void PlayerWindow::handleMediaStatus(QMediaPlayer::MediaStatus status)
{
    if (status != QMediaPlayer::EndOfMedia)
        return;
    if (playFromQueue(true))
        return;
    if (loopMode == Track) {
        playTrack(currentIndex);
        return;
    }
    if (shuffleEnabled) {
        advanceShuffled();
        return;
    }
    const int count = mediaList->count();
    if (currentIndex < count - 1) {
        playHistory.push(currentIndex);
        ++currentIndex;
        playTrack(currentIndex);
        shuffle->setToolTip(tr("Shuffle: Off"));
    } else if (loopMode == List) {
        currentIndex = 0;
        playTrack(0);
    } else {
        setPlayPauseIcon(false);
        setWindowTitle(tr("Playing finished."));
    }
}

void PlayerWindow::handleSourceChanged(const QUrl &source)
{
    setWindowTitle(tr("Now Playing: ") + QFileInfo(source.toLocalFile()).fileName());
    saveSettings();
    emit trackChanged();
}

void PlayerWindow::reportPlaybackError()
{
    const QString name = QFileInfo(player->source().toLocalFile()).fileName();
    setPlayPauseIcon(false);
    updateStatusLabel(tr("Cannot play %1: %2").arg(name, player->errorString()), 10);
}

void PlayerWindow::toggleShuffle()
{
    shuffleEnabled = !shuffleEnabled;
    paintShuffle(mainColor);
}

void PlayerWindow::toggleLoop()
{
    loopMode = static_cast<LoopMode>((loopMode + 1) % 3);
    paintLoop(mainColor, tr("Looping Current Track"));
}

void PlayerWindow::setPlayPauseIcon(bool playing)
{
    SvgIcon::setColoredIcon(playPause, playing ? QStringLiteral(":/icons/pause.svg") : QStringLiteral(":/icons/play.svg"),
                            mainColor, iconSize.value(QStringLiteral("large")));
    playPause->setAccessibleName(playing ? tr("Pause") : tr("Play"));
}

void PlayerWindow::paintShuffle(const QColor &theme)
{
    SvgIcon::setColoredIcon(shuffle, QStringLiteral(":/icons/shuffle.svg"),
                            shuffleEnabled ? theme : palette.value(QStringLiteral("gray")),
                            iconSize.value(QStringLiteral("normal")));
    emit shuffleChanged(shuffleEnabled);
}

void PlayerWindow::paintLoop(const QColor &theme, const QString &trackToolTip)
{
    const QSize size = iconSize.value(QStringLiteral("normal"));
    switch (loopMode) {
    case Off:
        SvgIcon::setColoredIcon(looping, QStringLiteral(":/icons/repeat.svg"), palette.value(QStringLiteral("gray")), size);
        looping->setToolTip(tr("Looping Off"));
        break;
    case List:
        SvgIcon::setColoredIcon(looping, QStringLiteral(":/icons/repeat.svg"), theme, size);
        looping->setToolTip(tr("Looping Playlist"));
        break;
    case Track:
        SvgIcon::setColoredIcon(looping, QStringLiteral(":/icons/repeat-1.svg"), theme, size);
        looping->setToolTip(trackToolTip);
        break;
    }
    emit loopModeChanged(loopMode);
}

// ---------------------------------------------------------------------------
// Position, time and volume

QString PlayerWindow::formatTime(qint64 ms)
{
    const qint64 totalSeconds = std::max<qint64>(ms, 0) / 1000;
    return QStringLiteral("%1:%2")
        .arg(totalSeconds / 60, 2, 10, QLatin1Char('0'))
        .arg(totalSeconds % 60, 2, 10, QLatin1Char('0'));
}

void PlayerWindow::handleDuration(qint64 duration)
{
    slider->setRange(0, static_cast<int>(duration));
    emit trackChanged();
}

void PlayerWindow::handlePosition(qint64 pos)
{
    // A held slider is the user's: setting it would emit sliderMoved on
    // Qt 6.4 and seek back to where playback already is.
    if (!slider->isSliderDown())
        slider->setValue(static_cast<int>(pos));
    const qint64 duration = player->duration();
    const QString total = formatTime(duration);
    const QString left = showRemainingTime ? QStringLiteral("-") + formatTime(duration - pos) : formatTime(pos);
    timeLabel->setText(left + QStringLiteral(" / ") + total);
}

void PlayerWindow::handleVolume(int value)
{
    audioOutput->setVolume(static_cast<float>(value / 100.0));
    vol = value;
    volume->setToolTip(QString::number(vol, 'g', 6) + QStringLiteral("%"));
    paintMute(vol, palette.value(colorAsText));
    emit volumeChanged(value);
}

void PlayerWindow::paintMute(float value, const QColor &theme)
{
    const QSize size = iconSize.value(QStringLiteral("small"));
    mute->setAccessibleName(value <= 0 ? tr("Unmute") : tr("Mute"));
    if (value <= 0)
        SvgIcon::setColoredIcon(mute, QStringLiteral(":/icons/volume-x.svg"), palette.value(QStringLiteral("gray")), size);
    else if (value < 33)
        SvgIcon::setColoredIcon(mute, QStringLiteral(":/icons/volume.svg"), theme, size);
    else if (value < 66)
        SvgIcon::setColoredIcon(mute, QStringLiteral(":/icons/volume-1.svg"), theme, size);
    else
        SvgIcon::setColoredIcon(mute, QStringLiteral(":/icons/volume-2.svg"), theme, size);
}

void PlayerWindow::handleMute()
{
    if (volume->value() == 0) {
        // Nothing to return to (muted at the last quit, or dragged to 0
        // before any mute): the first-start volume.
        volume->setValue(previousVolume > 0 ? previousVolume : 50);
    } else {
        previousVolume = volume->value();
        volume->setValue(0);
    }
}

// ---------------------------------------------------------------------------
// Remote control

void PlayerWindow::play()
{
    if (player->playbackState() != QMediaPlayer::PlayingState)
        togglePlayPause();
}

void PlayerWindow::pause()
{
    if (player->playbackState() == QMediaPlayer::PlayingState)
        togglePlayPause();
}

void PlayerWindow::seek(qint64 ms)
{
    player->setPosition(ms);
    emit seeked(ms);
}

void PlayerWindow::setVolumePercent(int percent)
{
    volume->setValue(percent);
}

void PlayerWindow::setShuffle(bool on)
{
    if (shuffleEnabled != on)
        toggleShuffle();
}

void PlayerWindow::setLoopMode(LoopMode mode)
{
    // Three steps reach any mode, also from an unknown stored one.
    for (int step = 0; step < 3 && loopMode != mode; ++step)
        toggleLoop();
}

void PlayerWindow::openUrl(const QUrl &url)
{
    const int row = mediaList->indexOf(url);
    if (row != -1) {
        playTrack(row);
        return;
    }
    playAddress(url);
}

void PlayerWindow::playAddress(const QUrl &url)
{
    player->setSource(url);
    player->play();
    // Playing started here: play/pause now pauses it, not last session's row.
    justStarted = false;
    setPlayPauseIcon(player->playbackState() == QMediaPlayer::PlayingState);
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

QMediaPlayer::PlaybackState PlayerWindow::playbackState() const
{
    return player->playbackState();
}

bool PlayerWindow::isShuffleEnabled() const
{
    return shuffleEnabled;
}

PlayerWindow::LoopMode PlayerWindow::currentLoopMode() const
{
    return loopMode;
}

int PlayerWindow::volumePercent() const
{
    return volume->value();
}

qint64 PlayerWindow::playbackPosition() const
{
    return player->position();
}

qint64 PlayerWindow::trackDuration() const
{
    return player->duration();
}

Playlist::TrackInfo PlayerWindow::nowPlaying() const
{
    const QUrl source = player->source();
    if (source.isEmpty())
        return {};
    const int row = mediaList->indexOf(source);
    if (row != -1)
        return mediaList->getTracks().at(row);
    // Read as the library reads its files: the player's own tags still belong
    // to the previous source when the new one is announced.
    return Playlist::readTrack(source.toLocalFile());
}

// ---------------------------------------------------------------------------
// Keyboard and list follow

bool PlayerWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != playlistWidget || event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);

    const int key = static_cast<QKeyEvent *>(event)->key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (QListWidgetItem *item = playlistWidget->currentItem())
            playTrack(playlistWidget->row(item));
        return true;
    case Qt::Key_Q:
        if (QListWidgetItem *item = playlistWidget->currentItem())
            addToQueue(mediaList->at(playlistWidget->row(item)).toLocalFile());
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        // The user is choosing a row, even one that needs no scrolling.
        lastScrollTime = QDateTime::currentDateTime();
        return false;
    case Qt::Key_MediaNext:
        forward->click();
        return true;
    case Qt::Key_MediaPrevious:
        previous->click();
        return true;
    case Qt::Key_MediaTogglePlayPause:
    case Qt::Key_P:
        playPause->click();
        return true;
    case Qt::Key_MediaStop:
        stop->click();
        return true;
    default:
        return QMainWindow::eventFilter(watched, event);
    }
}

bool PlayerWindow::followDue() const
{
    // No follow until the clock has been set once.
    if (lastScrollTime.isNull())
        return false;
    return lastScrollTime.secsTo(QDateTime::currentDateTime()) > 60;
}

void PlayerWindow::followPlayingRow()
{
    if (!followDue())
        return;
    playlistWidget->setCurrentRow(currentIndex);
    if (QListWidgetItem *item = playlistWidget->currentItem())
        playlistWidget->scrollToItem(item, QAbstractItemView::EnsureVisible);
}

// ---------------------------------------------------------------------------
// Library

void PlayerWindow::chooseMusicFolder()
{
    const QString chosen = QFileDialog::getExistingDirectory(this, tr("Select Music Folder"), folderPath,
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return;
    setMusicFolder(chosen);
}

void PlayerWindow::setMusicFolder(const QString &path)
{
    folderPath = path;
    settings.setValue(QStringLiteral("musicFolder"), folderPath);
    refreshMusicFolder();
}

void PlayerWindow::refreshMusicFolder()
{
    // With no folder chosen there is nothing to scan, and the cache would
    // land in the file-system root.
    if (folderPath.isEmpty())
        return;

    playlistWidget->clear();
    statusLabel->setText(tr("Refreshing playlist..."));
    const QString cachePath = folderPath + cacheFileName;

    // Progress calls are posted to the application object; the window may be
    // gone by the time one arrives.
    const QPointer<PlayerWindow> window(this);
    mediaList->loadFromFolder(
        folderPath,
        [window](int found) {
            if (window)
                window->statusLabel->setText(tr("%1 tracks found...").arg(found));
        },
        [this, cachePath] {
            saveCache(cachePath);
            mediaNames = mediaList->getList();
            libraryInstalled();
            QMetaObject::invokeMethod(
                this,
                [this] {
                    setWindowTitle(tr("Corvel Media Player"));
                    startFillPlaylist(mediaNames);
                },
                Qt::QueuedConnection);
        });
    settings.setValue(QStringLiteral("musicFolder"), folderPath);
}

void PlayerWindow::startFillPlaylist(QStringList names)
{
    pendingNames = std::move(names);
    fillPos = 0;
    playlistWidget->clear();
    playlistWidget->setUpdatesEnabled(false);
    fillTimer.setSingleShot(false);
    fillTimer.setInterval(0);
    fillTimer.stop();
    // Drops the tick of a fill that is still running: the new one replaces it.
    disconnect(&fillTimer, nullptr, this, nullptr);
    connect(&fillTimer, &QTimer::timeout, this, [this] { fillTick(); });
    fillTimer.start();
}

void PlayerWindow::fillTick()
{
    const int total = pendingNames.size();
    const int end = std::min(fillPos + 100, total);
    if (end > fillPos)
        playlistWidget->addItems(pendingNames.mid(fillPos, end - fillPos));
    fillPos = end;
    statusLabel->setText(tr("%1 / %2 tracks loaded...").arg(fillPos).arg(total));
    if (fillPos >= total) {
        fillTimer.stop();
        playlistWidget->setUpdatesEnabled(true);
        // Rows are written unmarked; the queue's marks go on once all are there.
        updateQueueIndicators();
        selectCurrentRow();
        showLibraryReady(tr("Playlist refreshed."));
    }
}

void PlayerWindow::updatePlaylist()
{
    if (folderPath.isEmpty())
        return;

    const QString cachePath = folderPath + cacheFileName;
    if (!mediaList->loadFromCache(cachePath)) {
        refreshMusicFolder();
        return;
    }
    mediaNames = mediaList->getList();
    playlistWidget->clear();
    playlistWidget->addItems(mediaNames);
    libraryInstalled();
    updateStatusLabel(tr("Checking for new tracks..."), 5);

    mediaList->updateFromFolder(folderPath, mediaList->knownFilePaths(), [this, cachePath] {
        saveCache(cachePath);
        mediaNames = mediaList->getList();
        QMetaObject::invokeMethod(
            this,
            [this] {
                playlistWidget->clear();
                playlistWidget->addItems(mediaNames);
                // The search index of the new records exists only now.
                libraryInstalled();
                showLibraryReady(tr("Playlist updated."));
            },
            Qt::QueuedConnection);
    });
}

// Rows are positions in the library as it was before: after every install the
// current track and the shuffle history are found again by their file, and
// every view that shows rows is redrawn from the new library.
void PlayerWindow::libraryInstalled()
{
    QHash<QUrl, int> rowOfUrl; // built on first need: most installs move no row
    const auto rowNow = [this, &rowOfUrl](const QUrl &url, int oldRow) {
        if (url.isEmpty())
            return -1;
        if (mediaList->at(oldRow) == url)
            return oldRow;
        if (rowOfUrl.isEmpty()) {
            const QList<Playlist::TrackInfo> tracks = mediaList->getTracks();
            rowOfUrl.reserve(tracks.size());
            // From the back, so that the first record of a file wins, as in indexOf.
            for (qsizetype i = tracks.size() - 1; i >= 0; --i)
                rowOfUrl.insert(tracks.at(i).url, int(i));
        }
        return rowOfUrl.value(url, -1);
    };

    if (currentPath.isEmpty()) {
        // Only a row was known (an older settings store, no cache): pin it now.
        currentPath = mediaList->at(currentIndex).toLocalFile();
    } else if (const int row = rowNow(QUrl::fromLocalFile(currentPath), currentIndex); row != -1) {
        currentIndex = row;
    }
    // A current track that left the library keeps its row: play goes on from
    // that place in the list.

    // Tracks that left the library drop out of the history.
    QStack<int> history;
    for (const int row : std::as_const(playHistory)) {
        const int now = rowNow(installedTracks.value(row).url, row);
        if (now != -1)
            history.push(now);
    }
    playHistory = history;
    installedTracks = mediaList->getTracks();

    searchDialog->refreshResults();
    updateQueueIndicators();
    selectCurrentRow();
}

void PlayerWindow::selectCurrentRow()
{
    // A refilled list has no current row; it goes back to the current track.
    if (playlistWidget->currentRow() == -1 && currentIndex < playlistWidget->count())
        playlistWidget->setCurrentRow(currentIndex);
}

void PlayerWindow::saveCache(const QString &cachePath)
{
    cacheSaveFailed = !mediaList->saveToCache(cachePath);
    if (cacheSaveFailed)
        updateStatusLabel(tr("Failed to save playlist cache."), 10);
}

void PlayerWindow::showLibraryReady(const QString &message)
{
    // The list is shown after the cache was written; its message would hide
    // a failed write at once, and the failure is what the user must see.
    if (cacheSaveFailed)
        updateStatusLabel(tr("Failed to save playlist cache."), 10);
    else
        updateStatusLabel(message, 5);
}

void PlayerWindow::updateStatusLabel(const QString &message, int timeout)
{
    if (!message.isEmpty()) {
        statusLabel->setText(message);
        if (timeout > 0)
            QTimer::singleShot(timeout * 1000, this, [this] { updateStatusLabel(QString(), 0); });
        return;
    }

    QString summary = tr("%1 tracks").arg(mediaList->count());
    if (queue->isActive() && !queue->isEmpty())
        summary += tr(", %1 in queue (%2)").arg(queue->getList().size()).arg(getQueueDuration());
    statusLabel->setText(summary);
}

// ---------------------------------------------------------------------------
// Queue

void PlayerWindow::addToQueue(QString filePath)
{
    if (filePath.isEmpty())
        return;
    if (!queue->contains(filePath)) {
        queue->add(filePath);
        queue->setActive(true);
    } else {
        queue->remove(filePath);
    }
    updateStatusLabel(QString(), 0);
    updateQueueIndicators();
}

void PlayerWindow::updateQueueIndicators()
{
    const int rows = playlistWidget->count();
    QHash<int, int> markOfRow;
    const QStringList queuedPaths = queue->getList();
    for (int i = 0; i < queuedPaths.size(); ++i) {
        const int row = mediaList->indexOf(QUrl::fromLocalFile(queuedPaths.at(i)));
        if (row != -1 && row < rows)
            markOfRow.insert(row, i + 1);
    }

    // The unmarked text is the record's, never what is left after taking a
    // mark off the row: a file name may itself begin with "[01]".
    const int known = std::min(rows, int(mediaNames.size()));
    for (int row = 0; row < known; ++row) {
        QString text = mediaNames.at(row);
        const auto mark = markOfRow.constFind(row);
        if (mark != markOfRow.constEnd())
            text = QStringLiteral("[%1] %2").arg(QString::number(mark.value()), text);
        QListWidgetItem *item = playlistWidget->item(row);
        if (item->text() != text)
            item->setText(text);
    }

    searchDialog->updateQueueIndicators();
    refillQueueDialog();
}

QStringList PlayerWindow::queueDisplayNames() const
{
    QStringList displayNames;
    const QStringList queuedPaths = queue->getList();
    for (const QString &path : queuedPaths) {
        const int index = mediaList->indexOf(QUrl::fromLocalFile(path));
        if (index != -1)
            displayNames.append(mediaList->textAt(index));
    }
    return displayNames;
}

QString PlayerWindow::getQueueDuration() const
{
    QHash<QString, QString> durationMap;
    const QList<Playlist::TrackInfo> tracks = mediaList->getTracks();
    for (const Playlist::TrackInfo &track : tracks)
        durationMap.insert(track.url.toLocalFile(), track.duration);

    qint64 totalSeconds = 0;
    const QStringList queuedPaths = queue->getList();
    for (const QString &path : queuedPaths) {
        const auto found = durationMap.constFind(path);
        if (found != durationMap.constEnd())
            totalSeconds += durationSeconds(found.value());
    }

    const qint64 h = totalSeconds / 3600;
    const qint64 m = (totalSeconds % 3600) / 60;
    const qint64 s = totalSeconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QMenu *PlayerWindow::createPlaylistContextMenu(const QPoint &pos)
{
    QListWidgetItem *selectedItem = playlistWidget->itemAt(pos);
    if (!selectedItem)
        return nullptr;
    const int index = playlistWidget->row(selectedItem);
    if (index < 0 || index >= mediaList->count())
        return nullptr;

    const QString filePath = mediaList->at(index).toLocalFile();
    const bool isInQueue = queue->contains(filePath);
    auto *contextMenu = new QMenu(this);
    QAction *toggleQueueAction =
        contextMenu->addAction(isInQueue ? tr("Remove from Queue") : tr("Add to Queue"));
    connect(toggleQueueAction, &QAction::triggered, this, [this, filePath] { addToQueue(filePath); });
    return contextMenu;
}

void PlayerWindow::showPlaylistContextMenu(const QPoint &pos)
{
    QMenu *contextMenu = createPlaylistContextMenu(pos);
    if (!contextMenu)
        return;
    contextMenu->exec(playlistWidget->viewport()->mapToGlobal(pos));
    delete contextMenu;
}

void PlayerWindow::refillQueueDialog()
{
    // One name per queued path: queueDisplayNames() leaves out files that left
    // the library, and the dialog pairs names with paths by position, so every
    // row after such a file would show its neighbour's name. Those files show
    // their file name instead.
    const QStringList queuedPaths = queue->getList();
    QStringList names;
    names.reserve(queuedPaths.size());
    for (const QString &path : queuedPaths) {
        const int index = mediaList->indexOf(QUrl::fromLocalFile(path));
        names.append(index != -1 ? mediaList->textAt(index) : QFileInfo(path).fileName());
    }
    queueDialog->setQueue(queuedPaths, names);
}

void PlayerWindow::showQueueDialog()
{
    refillQueueDialog();
    // Connected once, however often the dialog is opened.
    connect(queueDialog, &QDialog::finished, this, &PlayerWindow::onQueueDialogFinished,
            Qt::UniqueConnection);
    queueDialog->show();
}

void PlayerWindow::onQueueDialogFinished()
{
    updateQueueIndicators();
    updateStatusLabel(QString(), 0);
}

// ---------------------------------------------------------------------------
// Settings

void PlayerWindow::saveSettings()
{
    settings.setValue(QStringLiteral("musicFolder"), folderPath);
    settings.setValue(QStringLiteral("shuffling"), shuffleEnabled);
    settings.setValue(QStringLiteral("loopMode"), static_cast<int>(loopMode));
    settings.setValue(QStringLiteral("volume"), vol);
    settings.setValue(QStringLiteral("mainColor"), colorAsText);
    settings.setValue(QStringLiteral("iconSize"), sizeFactor);
    settings.setValue(QStringLiteral("lastIndex"), currentIndex);
    settings.setValue(QStringLiteral("lastPath"), currentPath);
    saveFavorites();
}

void PlayerWindow::loadSettings()
{
    QString colorName;
    if (settings.contains(QStringLiteral("mainColor"))) {
        colorName = settings.value(QStringLiteral("mainColor")).toString();
        mainColor = palette.value(colorName);
    } else {
        mainColor = palette.value(QStringLiteral("orange"));
        settings.setValue(QStringLiteral("mainColor"), QStringLiteral("orange"));
        colorName = QStringLiteral("orange");
    }

    QString sizeName;
    if (settings.contains(QStringLiteral("iconSize"))) {
        sizeName = settings.value(QStringLiteral("iconSize")).toString();
    } else {
        sizeName = QStringLiteral("normal");
        iconSize.insert(QStringLiteral("small"), QSize(16, 16));
        iconSize.insert(QStringLiteral("normal"), QSize(32, 32));
        iconSize.insert(QStringLiteral("large"), QSize(48, 48));
    }
    sizeFactor = sizeName;

    if (settings.contains(QStringLiteral("musicFolder"))) {
        folderPath = settings.value(QStringLiteral("musicFolder")).toString();
        updatePlaylist();
    }

    if (settings.contains(QStringLiteral("shuffling"))) {
        shuffleEnabled = settings.value(QStringLiteral("shuffling")).toBool();
    } else {
        shuffleEnabled = false;
        settings.setValue(QStringLiteral("shuffling"), false);
    }

    if (settings.contains(QStringLiteral("loopMode"))) {
        const int stored = settings.value(QStringLiteral("loopMode")).toInt();
        // A mode this program does not know would leave the button blank.
        loopMode = stored >= Off && stored <= Track ? static_cast<LoopMode>(stored) : Off;
    } else {
        loopMode = Off;
        settings.setValue(QStringLiteral("loopMode"), 0);
    }

    if (settings.contains(QStringLiteral("volume"))) {
        vol = settings.value(QStringLiteral("volume")).toFloat();
    } else {
        vol = 50;
        audioOutput->setVolume(vol / 100);
        // The slider shows the volume that plays, so slider, icon and mute agree.
        volume->setValue(50);
        settings.setValue(QStringLiteral("volume"), 50.0f);
    }
    volume->setToolTip(QString::number(vol, 'g', 6) + QStringLiteral("%"));

    if (settings.contains(QStringLiteral("lastIndex"))) {
        currentIndex = settings.value(QStringLiteral("lastIndex")).toInt();
        // The stored row is only where the track was when it was saved: a file
        // that vanished since or a rescan moves it. An older store has no path.
        currentPath = settings.value(QStringLiteral("lastPath")).toString();
        const int row = currentPath.isEmpty() ? -1 : mediaList->indexOf(QUrl::fromLocalFile(currentPath));
        if (row != -1)
            currentIndex = row;
        else if (currentPath.isEmpty())
            currentPath = mediaList->at(currentIndex).toLocalFile();
        playlistWidget->setCurrentRow(currentIndex);
        if (QListWidgetItem *item = playlistWidget->item(currentIndex))
            playlistWidget->scrollToItem(item, QAbstractItemView::EnsureVisible);
        lastScrollTime = QDateTime::currentDateTime();
    } else {
        currentIndex = 0;
        settings.setValue(QStringLiteral("lastIndex"), 0);
    }

    justStarted = true;

    // Before the first save: saving starts by emptying the favourites group.
    loadFavorites();
    updateIconSizes(sizeFactor);
    updateButtons(colorName);
}

void PlayerWindow::saveFavorites()
{
    settings.beginGroup(QStringLiteral("favorites"));
    settings.remove(QString());
    for (auto it = favorites.constBegin(); it != favorites.constEnd(); ++it) {
        const QString group = QStringLiteral("fav%1").arg(it.key());
        settings.setValue(group + QStringLiteral("/url"), it.value().url.toString());
        settings.setValue(group + QStringLiteral("/artist"), it.value().artist);
        settings.setValue(group + QStringLiteral("/title"), it.value().title);
    }
    settings.endGroup();
}

void PlayerWindow::loadFavorites()
{
    settings.beginGroup(QStringLiteral("favorites"));
    for (int i = 0; i < buttons.size(); ++i) {
        const QString group = QStringLiteral("fav%1").arg(i);
        const QString url = settings.value(group + QStringLiteral("/url")).toString();
        if (url.isEmpty())
            continue;
        const QString artist = settings.value(group + QStringLiteral("/artist")).toString();
        const QString title = settings.value(group + QStringLiteral("/title")).toString();
        favorites.insert(i, TrackInfo{QUrl(url, QUrl::TolerantMode), artist, title});
        buttons.at(i)->setText(QString());
        buttons.at(i)->setToolTip(artist + QStringLiteral(" - ") + title);
    }
    settings.endGroup();
}

// ---------------------------------------------------------------------------
// Favourites

void PlayerWindow::paintFavorite(FavoriteButton *button)
{
    button->setText(QString());
    SvgIcon::setColoredIcon(button, QStringLiteral(":/icons/heart.svg"), palette.value(QStringLiteral("pink")),
                            iconSize.value(QStringLiteral("normal")));
}

void PlayerWindow::favoriteClicked(int index, FavoriteButton *button)
{
    if (selectingFavorite) {
        // With nothing loaded there is nothing to keep: the slot stays as it
        // was, and the click still disarms the heart.
        if (!player->source().isEmpty()) {
            const QMediaMetaData metaData = player->metaData();
            const TrackInfo track{player->source(), metaData.stringValue(QMediaMetaData::AlbumArtist),
                                  metaData.stringValue(QMediaMetaData::Title)};
            favorites.insert(index, track);
            paintFavorite(button);
            button->setToolTip(track.artist + QStringLiteral(" - ") + track.title);
        }
        favorite->setChecked(false);
        selectingFavorite = false;
        return;
    }

    const auto found = favorites.constFind(index);
    if (found == favorites.constEnd())
        return;
    const TrackInfo track = found.value();
    const int row = mediaList->indexOf(track.url);
    if (row != -1) {
        playTrack(row);
        return;
    }
    // Not in this library: play the stored address directly.
    playAddress(track.url);
    setWindowTitle(track.title);
}

void PlayerWindow::favoriteCleared(int index, FavoriteButton *button)
{
    if (!favorites.contains(index))
        return;
    favorites.remove(index);
    gridFont.setPointSize(10);
    button->setFont(gridFont);
    button->setIcon(QIcon(QString()));
    button->setText(tr("Fav %1").arg(index + 1));
    button->setToolTip(tr("No favorite set"));
}

// ---------------------------------------------------------------------------
// Appearance

void PlayerWindow::updateButtons(QString colorName)
{
    const QColor theme = palette.value(colorName);
    const QSize small = iconSize.value(QStringLiteral("small"));
    const QSize normal = iconSize.value(QStringLiteral("normal"));
    const QColor pink = palette.value(QStringLiteral("pink"));

    SvgIcon::setColoredIcon(stop, QStringLiteral(":/icons/stop.svg"), theme, small);
    SvgIcon::setColoredIcon(previous, QStringLiteral(":/icons/rewind.svg"), theme, normal);
    SvgIcon::setColoredIcon(forward, QStringLiteral(":/icons/fast-forward.svg"), theme, normal);
    SvgIcon::setColoredIcon(favorite, QStringLiteral(":/icons/heart-plus.svg"), pink, small);
    paintShuffle(theme);

    // The repaint has always spelt the track mode in lower case; the toggle
    // does not.
    paintLoop(theme, tr("Looping current track"));

    paintMute(vol, theme);

    for (int i = 0; i < buttons.size(); ++i) {
        buttons.at(i)->setFixedSize(gridButtonSize);
        if (favorites.contains(i))
            paintFavorite(buttons.at(i));
    }

    mainColor = theme;
    colorAsText = colorName;
    setPlayPauseIcon(player->playbackState() == QMediaPlayer::PlayingState);
    searchDialog->setIcons(mainColor, normal);
    queueDialog->setIcons(mainColor, palette.value(QStringLiteral("red")), normal);
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
    gridButtonSize = row.grid;
    buttonGrid->setContentsMargins(row.leftMargin, 0, 10, 0);

    sizeFactor = size;
    updateButtons(colorAsText);
    saveSettings();
}

void PlayerWindow::loadFolderIcons()
{
    const QSize small = iconSize.value(QStringLiteral("small"));
    const QColor black = palette.value(QStringLiteral("black"));
    const QColor red = palette.value(QStringLiteral("red"));
    setFolderAction->setIcon(SvgIcon::coloredIcon(QStringLiteral(":/icons/folder.svg"), black, small));
    updateAction->setIcon(SvgIcon::coloredIcon(QStringLiteral(":/icons/rotate-ccw.svg"), black, small));
    quitAction->setIcon(SvgIcon::coloredIcon(QStringLiteral(":/icons/log-out.svg"), red, small));
    showQueueAction->setIcon(SvgIcon::coloredIcon(QStringLiteral(":/icons/list-music.svg"), black, small));
    clearQueueAction->setIcon(SvgIcon::coloredIcon(QStringLiteral(":/icons/trash-2.svg"), red, small));
    openSearch->setIcon(SvgIcon::coloredIcon(QStringLiteral(":/icons/search.svg"), black, small));
    colorMenu->setIcon(SvgIcon::coloredIcon(QStringLiteral(":/icons/palette.svg"), black, small));
    sizeMenu->setIcon(SvgIcon::coloredIcon(QStringLiteral(":/icons/scaling.svg"), black, small));
    setOrange->setIcon(SvgIcon::coloredIcon(QStringLiteral(":/icons/filled-circle.svg"),
                                            palette.value(QStringLiteral("orange")), small));
    setBlue->setIcon(SvgIcon::coloredIcon(QStringLiteral(":/icons/filled-circle.svg"),
                                          palette.value(QStringLiteral("blue")), small));
    setGreen->setIcon(SvgIcon::coloredIcon(QStringLiteral(":/icons/filled-circle.svg"),
                                           palette.value(QStringLiteral("green")), small));
}
