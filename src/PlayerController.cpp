#include "PlayerController.h"

#include "Library.h"
#include "QueueController.h"

#include <QAudioOutput>
#include <QFileInfo>

#include <algorithm>
#include <utility>

PlayerController::PlayerController(
    Library *library, QueueController *queue, PlayOrder::RandomSource random, QObject *parent)
    : QObject(parent)
    , library(library)
    , queue(queue)
    , order(std::move(random))
    , player(new QMediaPlayer(this))
    , audioOutput(new QAudioOutput(this))
{
    player->setAudioOutput(audioOutput);
    audioOutput->setVolume(0);
    order.setLibrary(library->tracks()->knownFilePaths());

    // Connected before any view connects, so rows are found again before a
    // view redraws them.
    connect(library, &Library::installed, this, [this] { libraryInstalled(); });
    connect(
        player, &QMediaPlayer::playbackStateChanged, this, &PlayerController::playbackStateChanged);
    connect(player, &QMediaPlayer::sourceChanged, this, [this](const QUrl &source) {
        emit sourceChanged(source);
        emit trackChanged();
    });
    connect(player, &QMediaPlayer::durationChanged, this, [this](qint64 ms) {
        emit durationChanged(ms);
        emit trackChanged();
    });
    connect(player, &QMediaPlayer::positionChanged, this, &PlayerController::positionChanged);
    connect(
        player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
            if (status == QMediaPlayer::EndOfMedia)
                advance(PlayOrder::Reason::EndOfTrack);
        });
    connect(player, &QMediaPlayer::errorOccurred, this, [this] {
        const QString name = QFileInfo(player->source().toLocalFile()).fileName();
        const QString error = player->errorString();
        // The backend stays "playing" a file it cannot play; every view must
        // show that nothing plays.
        player->stop();
        emit playbackError(name, error);
    });
}

QMediaPlayer::PlaybackState PlayerController::playbackState() const
{
    return player->playbackState();
}

bool PlayerController::shuffle() const
{
    return order.shuffle();
}

PlayOrder::LoopMode PlayerController::loopMode() const
{
    return order.loopMode();
}

float PlayerController::volume() const
{
    return percent;
}

qint64 PlayerController::position() const
{
    return player->position();
}

qint64 PlayerController::duration() const
{
    return player->duration();
}

int PlayerController::currentRow() const
{
    return order.currentRow();
}

QString PlayerController::currentPath() const
{
    return order.currentPath();
}

bool PlayerController::resumePending() const
{
    return order.resumePending();
}

QList<int> PlayerController::history() const
{
    return order.history();
}

QUrl PlayerController::source() const
{
    return player->source();
}

Playlist::TrackInfo PlayerController::nowPlaying() const
{
    const QUrl url = player->source();
    if (url.isEmpty())
        return {};
    const Playlist *tracks = library->tracks();
    const int row = tracks->indexOf(url);
    if (row != -1)
        return tracks->getTracks().at(row);
    // Read as the library reads its files: the player's own tags still belong
    // to the previous source when the new one is announced.
    return Playlist::readTrack(url.toLocalFile());
}

void PlayerController::restore(int row, const QString &path)
{
    order.restore(row, path);
}

void PlayerController::libraryInstalled()
{
    order.setLibrary(library->tracks()->knownFilePaths());
}

void PlayerController::startRow(int row)
{
    // Emits sourceChanged at once, before the track plays.
    player->setSource(library->tracks()->at(row));
    player->play();
    emit rowStarted(row);
}

void PlayerController::startFile(const QUrl &url)
{
    order.playingOutside();
    player->setSource(url);
    player->play();
}

void PlayerController::playRow(int row)
{
    if (order.setCurrent(row))
        startRow(row);
}

void PlayerController::playUrl(const QUrl &url)
{
    const int row = library->tracks()->indexOf(url);
    if (row != -1)
        playRow(row);
    else if (!url.isEmpty())
        startFile(url);
}

void PlayerController::togglePlayPause()
{
    if (order.resumePending() && order.setCurrent(order.currentRow())) {
        startRow(order.currentRow());
        return;
    }
    if (player->playbackState() == QMediaPlayer::PlayingState)
        player->pause();
    else
        player->play(); // with no source nothing starts, and no view claims otherwise
}

void PlayerController::play()
{
    if (player->playbackState() != QMediaPlayer::PlayingState)
        togglePlayPause();
}

void PlayerController::pause()
{
    if (player->playbackState() == QMediaPlayer::PlayingState)
        player->pause();
}

void PlayerController::stop()
{
    player->stop();
}

bool PlayerController::startQueued()
{
    while (queue->isActive() && !queue->isEmpty()) {
        const int row = queue->takeNext();
        if (row == -1)
            return false; // a file that left the library: the normal order goes on
        if (order.setCurrent(row)) {
            startRow(row);
            return true;
        }
    }
    return false;
}

void PlayerController::advance(PlayOrder::Reason reason)
{
    if (startQueued())
        return;
    const int row = order.advance(reason);
    if (row >= 0)
        startRow(row);
    else if (reason == PlayOrder::Reason::EndOfTrack)
        emit finished();
}

void PlayerController::next()
{
    advance(PlayOrder::Reason::Next);
}

void PlayerController::previous()
{
    const int row = order.previous();
    if (row >= 0)
        startRow(row);
}

void PlayerController::seek(qint64 ms)
{
    player->setPosition(ms);
    emit seeked(ms);
}

void PlayerController::setShuffle(bool on)
{
    if (order.setShuffle(on))
        emit shuffleChanged(on);
}

void PlayerController::setLoopMode(PlayOrder::LoopMode mode)
{
    if (order.setLoopMode(mode))
        emit loopModeChanged(order.loopMode());
}

void PlayerController::cycleLoopMode()
{
    setLoopMode(PlayOrder::nextLoopMode(order.loopMode()));
}

void PlayerController::setVolume(float value)
{
    const float clamped = std::clamp(value, 0.0f, 100.0f);
    if (clamped == percent)
        return;
    percent = clamped;
    if (percent > 0)
        audible = percent;
    audioOutput->setVolume(percent / 100);
    emit volumeChanged(percent);
}

void PlayerController::toggleMute()
{
    if (percent <= 0)
        setVolume(audible > 0 ? audible : 50);
    else
        setVolume(0);
}
